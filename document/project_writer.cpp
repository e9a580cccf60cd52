// The movie data file: the project, as File > "Save as.." writes it and
// File > "Open.." and the command line read it back (project.cpp).
//
// A plain UTF-8 text file, one value per line ("\n" between lines):
//   1      object kind
//   2-8    the seven text and picture slots (text, font, bold, italic,
//          underline, object picture path, background picture path)
//   9-14   red, green and blue of the object colour, then of the background
//          colour, each number followed by its label
//   15-22  the texts of the eight number fields
//   23     motion kind
//   24     drawing mode (index of the selected button)
//   25     point count n of the path table
//   26...  rows 1 to n + 2 of the path table, two lines (x, y) per row
// so 29 + 2n lines in all.
//
// Saving writes to a temporary file beside the target and renames it into
// place only once everything is on disk, so a failed save never destroys an
// existing project. Loading reads every number as Val does (leading blanks
// skipped, 0 where a line holds none) and keeps every value inside the range
// the window knows. A path table cut short keeps its point count, the missing
// cells reading as 0. Before anything changes, loading refuses what is plainly
// not a project: a file far too large, a file whose first line or whose
// number lines hold text that is no number (binary data, notes), and a point
// count too large to hold.
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "document/project.h"
#include "framework/system.h"
#include "framework/text.h"

namespace {

const QString kRedLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo RED");
const QString kGreenLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo GREEN");
const QString kBlueLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo BLUE");

// Every value stands alone on its line: a line break inside a text (the text
// composer can append characters 10 and 13) would shift every later line, so
// it is written as a space, which keeps the text's length.
QString OneLine(QString text) {
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  return text;
}

// The text file behind a save: written to a temporary file in the same folder
// and renamed over the target by Close, which reports whether all went well.
// The lines are gathered and written by Close, unbuffered and until every
// byte is out: a full disk takes what fits and refuses only the next write,
// which a buffered file would pass over and rename a cut file into place.
class SafeTextFile {
 public:
  explicit SafeTextFile(const QString& path) : file_(path) {
    // A writable file in a folder where no temporary file can be made is
    // still saved, in place.
    file_.setDirectWriteFallback(true);
  }
  bool Open() { return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
  QString ErrorString() const { return file_.errorString(); }
  // Without Close the temporary file is dropped and the target left as it was.

  void WriteLine(const QString& line) { text_ += line.toUtf8() + '\n'; }

  bool Close() {
    if (!file_.isOpen()) return !failed_;
    for (qint64 done = 0; done < text_.size() && !failed_;) {
      const qint64 n = file_.write(text_.constData() + done, text_.size() - done);
      if (n <= 0) failed_ = true;
      done += n;
    }
    text_.clear();
    if (failed_) {
      const QString reason = file_.errorString();
      file_.cancelWriting();
      file_.commit();  // drops the temporary file
      error_ = reason;
      return false;
    }
    if (!file_.commit()) failed_ = true;
    return !failed_;
  }
  QString CloseError() const { return error_.isEmpty() ? file_.errorString() : error_; }

 private:
  QSaveFile file_;
  QByteArray text_;
  QString error_;
  bool failed_ = false;
};

}  // namespace

QStringList ProjectFileLines(const AnimationState& a) {
  QStringList lines;
  lines << Str(a.oggetto);
  for (const QString& slot : a.asciino) {
    lines << OneLine(slot);
    YieldToFramework();
  }
  for (const Color c : {a.objectColor, a.backgroundColor}) {
    lines << Str(static_cast<int>((c >> 16) & 255)) + kRedLabel;
    lines << Str(static_cast<int>((c >> 8) & 255)) + kGreenLabel;
    lines << Str(static_cast<int>(c & 255)) + kBlueLabel;
    YieldToFramework();
  }
  for (const QString& field : a.fields) {
    lines << OneLine(field);
    YieldToFramework();
  }
  lines << Str(a.movimento);
  lines << Str(ModeIndex(a.mode));

  // The point count decides how many rows follow. It is a whole number no
  // larger than the table in every state the program makes; anything else
  // is brought into line so that the file keeps its 29 + 2n lines.
  double n = a.percorso.Get(0, 0);
  if (!std::isfinite(n) || n < 0) n = 0;
  n = std::min(std::trunc(n), static_cast<double>(a.percorso.RowUpper()));
  lines << Str(n);
  const int lastRow = static_cast<int>(n) + 2;
  for (int i = 1; i <= lastRow; ++i) {
    // Rows the table does not hold (an unfinished path) read as 0.
    lines << Str(a.percorso.Get(i, 0)) << Str(a.percorso.Get(i, 1));
    YieldToFramework();
  }
  return lines;
}

std::optional<QString> WriteProject(const QString& path, const AnimationState& state) {
  const QStringList lines = ProjectFileLines(state);
  if (QFileInfo(path).isDir()) return QStringLiteral("A folder of that name is in the way.");
  SafeTextFile out(path);
  if (!out.Open()) return out.ErrorString();
  for (const QString& line : lines) out.WriteLine(line);
  if (!out.Close())
    return out.CloseError().isEmpty() ? QStringLiteral("The file could not be written.") : out.CloseError();
  return std::nullopt;
}

// The movie data file: the project, saved and loaded from the File menu.
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
// existing project. Loading (the reading itself is in project.cpp, which the
// command line shares) reads every number as Val does (leading blanks
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

#include "app/application.h"
#include "app/project.h"
#include "framework/dialogs.h"
#include "framework/folderitem.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

const QString kRedLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo RED");
const QString kGreenLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo GREEN");
const QString kBlueLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo BLUE");

constexpr int kModes = 3;   // drawing modes 0..2

// Set while either command runs: the loops yield to the interface, and a
// second Open or Save chosen meanwhile must not interleave with the first.
bool g_fileCommandRunning = false;

struct CommandGuard {
  CommandGuard() { g_fileCommandRunning = true; }
  ~CommandGuard() { g_fileCommandRunning = false; }
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;
};

// Clears the project-loading flag however the load ends.
struct LoadingFlag {
  explicit LoadingFlag(Window1* w) : w_(w) { w_->auto_ = true; }
  ~LoadingFlag() {
    if (Window1* w = Window1::InstanceIfOpen(); w == w_) w->auto_ = false;
  }
  LoadingFlag(const LoadingFlag&) = delete;
  LoadingFlag& operator=(const LoadingFlag&) = delete;
  Window1* w_;
};

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
class SafeTextFile : public TextOutputStream {
 public:
  explicit SafeTextFile(const QString& path) : file_(path) {
    // A writable file in a folder where no temporary file can be made is
    // still saved, in place.
    file_.setDirectWriteFallback(true);
  }
  bool Open() { return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
  QString ErrorString() const { return file_.errorString(); }
  // Without Close the temporary file is dropped and the target left as it was.

  void WriteLine(const QString& line) override { text_ += line.toUtf8() + '\n'; }

  bool Close() override {
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

// What the window holds, as the lines of the file.
QStringList ProjectLines(Window1* w) {
  QStringList lines;
  lines << Str(w->oggetto);
  for (const QString& slot : w->asciino) {
    lines << OneLine(slot);
    YieldToFramework();
  }
  for (Rectangle* swatch : w->Rectcolore) {
    const Color c = swatch->FillColor();
    lines << Str(static_cast<int>((c >> 16) & 255)) + kRedLabel;
    lines << Str(static_cast<int>((c >> 8) & 255)) + kGreenLabel;
    lines << Str(static_cast<int>(c & 255)) + kBlueLabel;
    YieldToFramework();
  }
  for (EditField* field : w->EditXY) {
    lines << OneLine(field->Text());
    YieldToFramework();
  }
  lines << Str(w->movimento);
  int mode = 0;
  for (int i = 0; i < kModes; ++i) {
    if (w->RadioBu[i]->Value()) mode = i;
    YieldToFramework();
  }
  lines << Str(mode);

  // The point count decides how many rows follow. It is a whole number no
  // larger than the table in every state the program makes; anything else
  // is brought into line so that the file keeps its 29 + 2n lines.
  double n = w->percorso.Get(0, 0);
  if (!std::isfinite(n) || n < 0) n = 0;
  n = std::min(std::trunc(n), static_cast<double>(w->percorso.RowUpper()));
  lines << Str(n);
  const int lastRow = static_cast<int>(n) + 2;
  for (int i = 1; i <= lastRow; ++i) {
    // Rows the table does not hold (an unfinished path) read as 0.
    lines << Str(w->percorso.Get(i, 0)) << Str(w->percorso.Get(i, 1));
    YieldToFramework();
  }
  return lines;
}

}  // namespace

bool App::_FileSaveas_Action() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  CommandGuard guard;
  FolderItemPtr file = GetSaveFolderItem("text", "movie_data.txt");
  if (!file) return false;

  Window1* w = Window1::Instance();
  const QStringList lines = ProjectLines(w);

  const QString path = file->AbsolutePath();
  auto fail = [&](const QString& reason) {
    MsgBox(QStringLiteral("The project could not be saved as \"%1\".\n%2").arg(path, reason));
  };
  if (QFileInfo(path).isDir()) {
    fail(QStringLiteral("A folder of that name is in the way."));
    return false;
  }
  SafeTextFile out(path);
  if (!out.Open()) {
    fail(out.ErrorString());
    return false;
  }
  for (const QString& line : lines) out.WriteLine(line);
  if (!out.Close()) fail(out.CloseError().isEmpty() ? QStringLiteral("The file could not be written.")
                                                    : out.CloseError());
  return false;
}

bool App::_FileOpen_Action() {
  if (g_fileCommandRunning) {
    Beep();
    return false;
  }
  CommandGuard guard;
  FolderItemPtr file = GetOpenFolderItem("text");
  if (!file) return false;
  LoadProject(file);
  return false;
}

void App::LoadProject(const FolderItemPtr& file) {
  // The whole file is read and checked before anything in the window changes.
  const ProjectRead read = ReadProject(file);
  if (!read.project) {
    Window1::Instance()->Log(read.error);
    return;
  }
  const Project& project = *read.project;
  Window1* w = Window1::Instance();

  LoadingFlag loading(w);
  w->sfondo = nullptr;
  w->immagine = nullptr;

  w->oggetto = project.oggetto;
  for (size_t i = 0; i < w->asciino.size(); ++i) {
    w->asciino[i] = project.asciino[i];
    YieldToFramework();
  }
  w->Rectcolore[0]->SetFillColor(project.objectColor);
  YieldToFramework();
  w->Rectcolore[1]->SetFillColor(project.backgroundColor);
  YieldToFramework();
  for (int k = 0; k < kNumberFields; ++k) {
    w->EditXY[k]->SetText(project.fields[k]);
    YieldToFramework();
  }

  if (!w->asciino[6].isEmpty()) {
    w->sfondo = nullptr;
    if (FolderItemPtr picture = GetFolderItem(w->asciino[6])) w->sfondo = picture->OpenAsPicture();
    if (w->sfondo) {
      w->EditXY[3]->SetText(Str(w->sfondo->Width()));
      w->EditXY[4]->SetText(Str(w->sfondo->Height()));
    }
    w->EditXY[3]->setEnabled(!w->sfondo);
    w->EditXY[4]->setEnabled(!w->sfondo);
  }

  w->scelta_oggetto(w->oggetto);

  w->movimento = project.movimento;
  w->RadioBu[project.mode]->SetValue(true);

  // The path table as loaded, row by row.
  const PathTable& path = project.percorso;
  w->percorso.Set(0, 0, path.Get(0, 0));
  w->percorso.Redim(path.RowUpper(), 1);
  for (int i = 1; i <= path.RowUpper(); ++i) {
    w->percorso.Set(i, 0, path.Get(i, 0));
    w->percorso.Set(i, 1, path.Get(i, 1));
    YieldToFramework();
  }

  w->scelta_movimento(project.chosenMotion);

  if (const QString end = project.EndMessage(); !end.isEmpty()) w->Log(end);
}

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

#include "app/application.h"
#include "framework/dialogs.h"
#include "framework/folderitem.h"
#include "framework/system.h"
#include "framework/text.h"
#include "main_window/window1.h"

namespace {

const QString kRedLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo RED");
const QString kGreenLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo GREEN");
const QString kBlueLabel = QStringLiteral("colori componenti rgb di oggetto e sfondo BLUE");

// Lines before the path rows: 25 fixed lines.
constexpr int kFixedLines = 25;
// A project with a path of a million points stays far below this; anything
// larger is not one of ours and is not read into memory.
constexpr qint64 kMaxProjectBytes = 16 * 1024 * 1024;
// Every path row takes two lines of at least two bytes, so no file within
// that size holds more points than this; a larger count is refused rather
// than reserved.
constexpr double kMaxPathPoints = double(kMaxProjectBytes / 4);
constexpr int kPointCountLine = 25;
constexpr int kKinds = 10;  // object and motion kinds 0..9
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

// Whether Val finds a number at the start of the line: after blanks, a sign,
// then a digit or a point and a digit.
bool BeginsWithNumber(const QString& line) {
  int i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
  if (i < line.size() && line[i] == '.') ++i;
  return i < line.size() && line[i].isDigit() && line[i].unicode() < 128;
}

// The lines of a project file, read in full with a cursor; past the end
// every line reads as empty.
class ProjectReader {
 public:
  explicit ProjectReader(QStringList lines) : lines_(std::move(lines)) {}
  int Count() const { return static_cast<int>(lines_.size()); }
  QString Line(int number) const {  // 1-based
    return number >= 1 && number <= Count() ? lines_[number - 1] : QString();
  }
  QString Next() { return Line(++position_); }
  double NextNumber() { return Val(Next()); }

  // Whether the lines have the shape of a project: the first line and every
  // other line that must hold a number (where present and not empty) begin
  // with one. A file that ends early still counts.
  bool LooksLikeProject() const {
    if (!BeginsWithNumber(Line(1))) return false;
    for (int number : {9, 10, 11, 12, 13, 14, 23, 24, kPointCountLine}) {
      const QString line = Line(number);
      if (!line.isEmpty() && !BeginsWithNumber(line)) return false;
    }
    return true;
  }

 private:
  QStringList lines_;
  int position_ = 0;
};

// A kind read from the file; values outside 0..count-1 become 0.
int KindFrom(double value, int count, bool& repaired) {
  const int k = ToInteger(value);
  if (k >= 0 && k < count) return k;
  repaired = true;
  return 0;
}

int ComponentFrom(double value, bool& repaired) {
  const int c = ToInteger(value);
  if (c >= 0 && c <= 255) return c;
  repaired = true;
  return std::clamp(c, 0, 255);
}

double CellFrom(double value, bool& repaired) {
  if (std::isfinite(value)) return value;
  repaired = true;
  return 0;
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
  // Read and check the whole file before anything in the window changes.
  const QString path = file->AbsolutePath();
  const QString name = file->Name();
  if (QFileInfo(path).size() > kMaxProjectBytes) {
    Window1::Instance()->Log(QStringLiteral("\"%1\" is not a Velostrip project (far too large); nothing was loaded.").arg(name));
    return;
  }
  std::shared_ptr<TextInputStream> in = QFileInfo(path).isDir() ? nullptr : file->OpenAsTextFile();
  if (!in) {
    // Told in the log field, like every other project that cannot be loaded:
    // a project named on the command line may be missing.
    const QString reason = QFileInfo(path).isDir()     ? QStringLiteral("it is a folder")
                           : !QFileInfo::exists(path) ? QStringLiteral("no such file")
                                                      : QStringLiteral("it cannot be read");
    Window1::Instance()->Log(
        QStringLiteral("\"%1\" could not be opened (%2); nothing was loaded.").arg(name, reason));
    return;
  }
  QStringList raw;
  // Lines may also end in a lone carriage return, as classic Mac editors
  // write them; the writer never leaves one inside a value.
  while (!in->EOF_()) raw << in->ReadLine().split(QLatin1Char('\r'));
  in->Close();
  // A byte-order mark that an editor put in front is not part of line 1.
  if (!raw.isEmpty() && raw.first().startsWith(QChar(0xFEFF))) raw.first().remove(0, 1);
  ProjectReader reader(std::move(raw));
  Window1* w = Window1::Instance();
  if (!reader.LooksLikeProject()) {
    w->Log(QStringLiteral("\"%1\" is not a Velostrip project; nothing was loaded.").arg(name));
    return;
  }
  if (const double count = Val(reader.Line(kPointCountLine)); count > kMaxPathPoints) {
    w->Log(QStringLiteral("\"%1\" is not a Velostrip project (a path of %2 points is far too large); "
                          "nothing was loaded.")
               .arg(name, Str(count)));
    return;
  }

  bool repaired = false;
  LoadingFlag loading(w);
  w->sfondo = nullptr;
  w->immagine = nullptr;

  w->oggetto = KindFrom(reader.NextNumber(), kKinds, repaired);
  for (size_t i = 0; i < w->asciino.size(); ++i) {
    w->asciino[i] = reader.Next();
    YieldToFramework();
  }
  for (Rectangle* swatch : w->Rectcolore) {
    const int r = ComponentFrom(reader.NextNumber(), repaired);
    const int g = ComponentFrom(reader.NextNumber(), repaired);
    const int b = ComponentFrom(reader.NextNumber(), repaired);
    swatch->SetFillColor(RGB(r, g, b));
    YieldToFramework();
  }
  for (EditField* field : w->EditXY) {
    field->SetText(reader.Next());
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

  int motion = KindFrom(reader.NextNumber(), kKinds, repaired);
  const int mode = KindFrom(reader.NextNumber(), kModes, repaired);
  w->movimento = motion;
  w->RadioBu[mode]->SetValue(true);

  // The point count: a whole number, at most kMaxPathPoints (checked above).
  // Rows that the file does not hold read as 0, the count stays.
  double n = reader.NextNumber();
  if (!std::isfinite(n) || n < 0 || n != std::trunc(n)) {
    repaired = true;
    n = std::isfinite(n) && n > 0 ? std::trunc(n) : 0;
  }
  const bool endsEarly = reader.Count() < kFixedLines + 2 * (n + 2);
  w->percorso.Set(0, 0, n);
  const int lastRow = static_cast<int>(n) + 2;
  w->percorso.Redim(lastRow, 1);
  for (int i = 1; i <= lastRow; ++i) {
    w->percorso.Set(i, 0, CellFrom(reader.NextNumber(), repaired));
    w->percorso.Set(i, 1, CellFrom(reader.NextNumber(), repaired));
    YieldToFramework();
  }
  // The drawn path needs three points to walk; the path editor never leaves
  // fewer behind, so a file with fewer falls back as the editor would.
  if (motion == 8 && n < 3) {
    motion = 0;
    repaired = true;
  }

  w->scelta_movimento(motion);

  if (endsEarly)
    w->Log(QStringLiteral("\"%1\" ends early: the missing values were taken as empty.").arg(name));
  else if (repaired)
    w->Log(QStringLiteral("\"%1\" held values out of range: they were replaced by defaults.").arg(name));
}

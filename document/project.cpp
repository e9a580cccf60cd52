// Reading a movie data file (the layout is described in project_writer.cpp),
// and a project applied as the main window applies it, without one.
#include "document/project.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "framework/system.h"
#include "framework/text.h"

namespace {

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
class ProjectLines {
 public:
  explicit ProjectLines(QStringList lines) : lines_(std::move(lines)) {}
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

QString Project::EndMessage() const {
  if (endsEarly) return QStringLiteral("\"%1\" ends early: the missing values were taken as empty.").arg(name);
  if (repaired) return QStringLiteral("\"%1\" held values out of range: they were replaced by defaults.").arg(name);
  return QString();
}

ProjectRead ReadProject(const FolderItemPtr& file) {
  ProjectRead read;
  const QString name = file->Name();
  int error = 0;
  std::shared_ptr<TextInputStream> in = file->OpenAsTextFile(kMaxProjectBytes, &error);
  if (error == EFBIG) {
    read.error = QStringLiteral("\"%1\" is not a Velostrip project (far too large); nothing was loaded.").arg(name);
    return read;
  }
  if (!in) {
    const QString reason = error == EISDIR   ? QStringLiteral("it is a folder")
                           : error == ENOENT ? QStringLiteral("no such file")
                                             : QStringLiteral("it cannot be read");
    read.error = QStringLiteral("\"%1\" could not be opened (%2); nothing was loaded.").arg(name, reason);
    return read;
  }
  QStringList raw;
  // Lines may also end in a lone carriage return, as classic Mac editors
  // write them; the writer never leaves one inside a value.
  while (!in->EOF_()) raw << in->ReadLine().split(QLatin1Char('\r'));
  in->Close();
  // A byte-order mark that an editor put in front is not part of line 1.
  if (!raw.isEmpty() && raw.first().startsWith(QChar(0xFEFF))) raw.first().remove(0, 1);
  ProjectLines lines(std::move(raw));
  if (!lines.LooksLikeProject()) {
    read.error = QStringLiteral("\"%1\" is not a Velostrip project; nothing was loaded.").arg(name);
    return read;
  }
  if (const double count = Val(lines.Line(kPointCountLine)); count > kMaxPathPoints) {
    read.error = QStringLiteral("\"%1\" is not a Velostrip project (a path of %2 points is far too large); "
                                "nothing was loaded.")
                     .arg(name, Str(count));
    return read;
  }

  Project p;
  p.name = name;
  bool repaired = false;
  p.oggetto = KindFrom(lines.NextNumber(), kKinds, repaired);
  for (QString& slot : p.asciino) slot = lines.Next();
  for (Color* colour : {&p.objectColor, &p.backgroundColor}) {
    const int r = ComponentFrom(lines.NextNumber(), repaired);
    const int g = ComponentFrom(lines.NextNumber(), repaired);
    const int b = ComponentFrom(lines.NextNumber(), repaired);
    *colour = RGB(r, g, b);
  }
  for (QString& field : p.fields) field = lines.Next();
  p.movimento = KindFrom(lines.NextNumber(), kKinds, repaired);
  p.mode = KindFrom(lines.NextNumber(), kModes, repaired);

  // The point count: a whole number, at most kMaxPathPoints (checked above).
  // Rows that the file does not hold read as 0, the count stays.
  double n = lines.NextNumber();
  if (!std::isfinite(n) || n < 0 || n != std::trunc(n)) {
    repaired = true;
    n = std::isfinite(n) && n > 0 ? std::trunc(n) : 0;
  }
  p.endsEarly = lines.Count() < kFixedLines + 2 * (n + 2);
  const int lastRow = static_cast<int>(n) + 2;
  p.percorso.Redim(lastRow, 1);
  p.percorso.Set(0, 0, n);
  for (int i = 1; i <= lastRow; ++i) {
    p.percorso.Set(i, 0, CellFrom(lines.NextNumber(), repaired));
    p.percorso.Set(i, 1, CellFrom(lines.NextNumber(), repaired));
  }
  // The drawn path needs three points to walk; the path editor never leaves
  // fewer behind, so a file with fewer falls back as the editor would.
  p.chosenMotion = p.movimento;
  if (p.movimento == kAlongPath && n < 3) {
    p.chosenMotion = kLinearRight;
    repaired = true;
  }
  p.repaired = repaired;
  read.project = std::move(p);
  return read;
}

AnimationState LoadedState(const Project& p, const std::function<void(const QString&)>& log) {
  // A freshly opened window: the filled oval moving left to right, every
  // field at its default, the width field on.
  AnimationState a;
  PlainNumberFields fields;
  fields.texts = a.fields;
  fields.motion = a.movimento;
  fields.widthFollowsHeight = false;
  fields.log = log;

  // The load writes the values in the file's order; each field's text passes
  // the filter as it is written, judged by the motion before the load.
  a.oggetto = p.oggetto;
  a.asciino = p.asciino;
  a.objectColor = p.objectColor;
  a.backgroundColor = p.backgroundColor;
  for (int k = 0; k < kNumberFields; ++k) fields.SetText(k, p.fields[k]);

  // A background picture sets the movie's size.
  if (const QString& path = a.asciino[kBackgroundPictureSlot]; !path.isEmpty()) {
    if (FolderItemPtr picture = GetFolderItem(path)) a.sfondo = picture->OpenAsPicture();
    if (a.sfondo) {
      fields.SetText(kMovieWidth, Str(a.sfondo->Width()));
      fields.SetText(kMovieHeight, Str(a.sfondo->Height()));
    }
  }

  // The object choice: the text object's width follows its height; a
  // picture object takes its picture's size, or falls back to the oval.
  int k = a.oggetto;
  fields.widthFollowsHeight = k == kTextObject;
  if (k == kPictureOpaque || k == kPictureTransparent) {
    const QString& path = a.asciino[kObjectPictureSlot];
    FolderItemPtr file = GetFolderItem(path);
    PicturePtr picture = file && !path.isEmpty() ? file->OpenAsPicture() : nullptr;
    if (!picture) {
      a.asciino[kObjectPictureSlot] = "";
      a.immagine = NewPicture(64, 64, 32);
      k = kFilledOval;
    } else {
      a.immagine = picture;
      a.asciino[kObjectPictureSlot] = file->AbsolutePath();
      fields.SetText(kObjectWidth, Str(picture->Width()));
      fields.SetText(kObjectHeight, Str(picture->Height()));
      a.immagine->Transparent = k - kPictureOpaque;
    }
  }
  a.oggetto = k;

  a.movimento = p.movimento;
  fields.motion = p.movimento;
  a.mode = ModeOfIndex(p.mode);
  a.percorso = p.percorso;

  // The motion choice: the random motion allows no "Copy Clear"; every
  // field passes the filter again, the angle judged by the loaded motion.
  const int m = p.chosenMotion;
  if (m == kRandom && a.mode == DrawingMode::CopyClear) a.mode = DrawingMode::Copy;
  for (int j = 0; j < kNumberFields; ++j) fields.SetText(j, fields.Text(j));
  a.movimento = m;

  a.fields = fields.texts;
  if (const QString end = p.EndMessage(); !end.isEmpty() && log) log(end);
  return a;
}

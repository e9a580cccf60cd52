#include "framework/folderitem.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/native_path.h"
#include "framework/pict.h"

#include <sys/stat.h>

namespace {

QString& ApplicationFolderOverride() {
  static QString folder;
  return folder;
}

QString Clean(const QString& path) { return QDir::cleanPath(path); }

QString JoinPath(const QString& folder, const QString& name) {
  return Clean(folder + QLatin1Char('/') + name);
}

// $XDG_DATA_HOME/Trash, with the default of ~/.local/share when the variable
// is unset, empty or not absolute.
QString TrashRoot() {
  QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
    dataHome = QDir::homePath() + QStringLiteral("/.local/share");
  return Clean(dataHome + QStringLiteral("/Trash"));
}

bool MakeTrashFolders(const QString& root) {
  QDir dir;
  for (const char* sub : {"files", "info"}) {
    const QString path = root + QLatin1Char('/') + QLatin1String(sub);
    if (!dir.mkpath(path)) return false;
  }
  QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return true;
}

// Copies a file, a symbolic link or a whole folder tree to `to`, which must
// not exist yet.
bool CopyRecursively(const QString& from, const QString& to) {
  const QFileInfo info(from);
  if (info.isSymLink()) return QFile::link(info.symLinkTarget(), to);
  if (!info.isDir()) return QFile::copy(from, to);
  if (!QDir().mkdir(to)) return false;
  const QDir dir(from);
  const QStringList entries =
      dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  for (const QString& name : entries) {
    if (!CopyRecursively(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name)) return false;
  }
  return true;
}

bool RemoveRecursively(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

// After a copy whose original could not be removed in full: takes back from
// the copy `to` everything whose original is still at `from`, keeping only
// what was removed there, so that nothing is lost and nothing is doubled.
// True when the copy is gone entirely.
bool TakeBackCopy(const QString& from, const QString& to) {
  const QFileInfo original(from);
  if (!original.exists() && !original.isSymLink()) return false;  // moved: keep it
  const QFileInfo copy(to);
  if (!copy.isDir() || copy.isSymLink() || original.isSymLink() || !original.isDir())
    return QFile::remove(to);
  const QStringList entries =
      QDir(to).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  for (const QString& name : entries)
    TakeBackCopy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
  return QDir().rmdir(to);
}

enum class MoveResult { Moved, Failed, MovedInPart };

// Renames, or copies and deletes when the destination is on another device.
MoveResult MovePath(const QString& from, const QString& to, QString& error) {
  const QByteArray src = QFile::encodeName(from), dst = QFile::encodeName(to);
  if (std::rename(src.constData(), dst.constData()) == 0) return MoveResult::Moved;
  const int err = errno;
  if (err != EXDEV) {
    error = QString::fromLocal8Bit(std::strerror(err));
    return MoveResult::Failed;
  }
  if (!CopyRecursively(from, to)) {
    RemoveRecursively(to);
    error = QStringLiteral("could not copy to %1").arg(to);
    return MoveResult::Failed;
  }
  if (!RemoveRecursively(from)) {
    // A folder may have lost some of its files before the removal stopped;
    // those stay in the copy, the rest of the copy goes.
    const bool copyGone = TakeBackCopy(from, to);
    error = QStringLiteral("could not remove %1").arg(from);
    return copyGone ? MoveResult::Failed : MoveResult::MovedInPart;
  }
  return MoveResult::Moved;
}

// Puts `path` into the Trash following the freedesktop.org layout: the item
// goes to Trash/files under a free name, and Trash/info/<name>.trashinfo
// records where it came from and when. The info file is created first, with
// exclusive creation, so it also reserves the name.
bool MoveToTrash(const QString& path, QString& error) {
  const QString root = TrashRoot();
  if (!MakeTrashFolders(root)) {
    error = QStringLiteral("cannot create the Trash in %1").arg(root);
    return false;
  }
  const QString baseName = QFileInfo(path).fileName();
  for (int n = 1; n < 100000; ++n) {
    const QString name = n == 1 ? baseName : baseName + QLatin1Char('.') + QString::number(n);
    const QString target = root + QStringLiteral("/files/") + name;
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
    QFile info(root + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
    if (!info.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (info.exists()) continue;  // taken by an earlier deletion
      error = info.errorString();
      return false;
    }
    const QByteArray text =
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss")).toLatin1() +
        "\n";
    const bool written = info.write(text) == text.size();
    info.close();
    if (!written || info.error() != QFileDevice::NoError) {
      error = info.errorString();
      info.remove();
      return false;
    }
    switch (MovePath(path, target, error)) {
      case MoveResult::Moved: return true;
      case MoveResult::Failed: info.remove(); return false;
      // What did reach the Trash keeps its info file, so it can be put back.
      case MoveResult::MovedInPart: return false;
    }
    return false;
  }
  error = QStringLiteral("no free name in the Trash for %1").arg(baseName);
  return false;
}

// Pictures larger than these are refused before any pixel is decoded.
constexpr int kMaxPictureSide = 16384;
constexpr qint64 kMaxPicturePixels = qint64(256) * 1024 * 1024;

bool LooksLikePict(const QByteArray& head) {
  static const char kVersion2[] = {0x00, 0x11, 0x02, char(0xFF)};
  for (qsizetype base : {qsizetype(512), qsizetype(0)}) {
    if (head.size() >= base + 14 && std::memcmp(head.constData() + base + 10, kVersion2, 4) == 0)
      return true;
  }
  return false;
}

// The largest PICT the decoder can make sense of: 16384 rows of at most
// 32767 bytes, plus the opcodes around them. A bigger file is not read into
// memory at all.
constexpr qint64 kMaxPictFileBytes = qint64(32768) * 16384 + (qint64(1) << 20);

// The file as QImageReader reads it, noting whether the decoder wanted bytes
// the file does not have. Qt's JPEG, GIF and XBM readers hand back what they
// decoded from a file cut short (the missing part grey or black) without
// an error, asking for more at the end of the file first; its BMP reader
// stops, just as silently, at the first row it cannot read in full.
class WatchedFile : public QIODevice {
 public:
  explicit WatchedFile(const QString& path) : file_(path) {}
  bool Open() {
    return file_.open(QIODevice::ReadOnly) && QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return false; }
  qint64 size() const override { return file_.size(); }
  bool seek(qint64 pos) override { return file_.seek(pos) && QIODevice::seek(pos); }
  void ResetWatch() { shortRead_ = readAtEnd_ = false; }
  // Whether the data ran out while the decoder was reading the format's pixels.
  bool CutShort(const QByteArray& format) const {
    if (format == "bmp") return shortRead_;
    if (format == "jpeg" || format == "gif" || format == "xbm") return readAtEnd_;
    return false;  // the other readers fail by themselves on a file cut short
  }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const qint64 n = file_.read(data, maxSize);
    if (n >= 0 && n < maxSize) {
      shortRead_ = true;
      if (n == 0) readAtEnd_ = true;
    }
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QFile file_;
  bool shortRead_ = false, readAtEnd_ = false;
};

// Alpha is laid over white: a picture here has no transparency of its own.
QImage FlattenToRgb32(const QImage& image) {
  if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return {};
  for (int y = 0; y < argb.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb c = line[x];
      const int a = qAlpha(c);
      auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
      line[x] = qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
    }
  }
  return argb.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

// ---------------------------------------------------------------------------

QString ApplicationFolder() {
  if (!ApplicationFolderOverride().isEmpty()) return ApplicationFolderOverride();
  if (QCoreApplication::instance()) return Clean(QCoreApplication::applicationDirPath());
  return Clean(QDir::currentPath());
}

void SetApplicationFolder(const QString& folder) {
  ApplicationFolderOverride() = folder.isEmpty() ? QString() : Clean(QDir(folder).absolutePath());
}

FolderItemPtr GetFolderItem(const QString& nameOrPath) {
  if (QDir::isAbsolutePath(nameOrPath)) return std::make_shared<FolderItem>(nameOrPath);
  return std::make_shared<FolderItem>(JoinPath(ApplicationFolder(), nameOrPath));
}

FolderItemPtr TrashFolder() {
  const QString root = TrashRoot();
  MakeTrashFolders(root);
  return std::make_shared<FolderItem>(root + QStringLiteral("/files"));
}

FolderItem::FolderItem(QString absolutePath) : path_(Clean(std::move(absolutePath))) {}

bool FolderItem::Exists() const {
  const QFileInfo info(path_);
  return info.exists() || info.isSymLink();
}

bool FolderItem::Directory() const { return QFileInfo(path_).isDir(); }

namespace {
std::atomic<int> g_listings{0};
}  // namespace

int FolderListingCount() { return g_listings.load(); }

static QStringList SortedEntries(const QString& path) {
  if (!QFileInfo(path).isDir()) return {};
  ++g_listings;
  return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                              QDir::Name);
}

int FolderItem::Count() const { return int(SortedEntries(path_).size()); }

FolderItemPtr FolderItem::Item(int index) const {
  const QStringList entries = SortedEntries(path_);
  if (index < 1 || index > entries.size()) return nullptr;
  return std::make_shared<FolderItem>(JoinPath(path_, entries[index - 1]));
}

std::vector<FolderItemPtr> FolderItem::Entries() const {
  const QStringList names = SortedEntries(path_);
  std::vector<FolderItemPtr> entries;
  entries.reserve(size_t(names.size()));
  for (const QString& name : names) entries.push_back(std::make_shared<FolderItem>(JoinPath(path_, name)));
  return entries;
}

FolderItemPtr FolderItem::Child(const QString& name) const {
  return std::make_shared<FolderItem>(JoinPath(path_, name));
}

FolderItemPtr FolderItem::Parent() const {
  if (path_ == QLatin1String("/")) return nullptr;
  return std::make_shared<FolderItem>(QFileInfo(path_).absolutePath());
}

QString FolderItem::Name() const { return QFileInfo(path_).fileName(); }

QString FolderItem::AbsolutePath() const { return path_; }

bool FolderItem::Delete() {
  lastError_.clear();
  const QFileInfo info(path_);
  if (!info.exists() && !info.isSymLink()) {
    lastError_ = QStringLiteral("%1 does not exist").arg(path_);
    return false;
  }
  if (info.isDir() && !info.isSymLink()) {
    if (QDir().rmdir(path_)) return true;
    lastError_ = SortedEntries(path_).isEmpty()
                     ? QStringLiteral("cannot remove the folder %1").arg(path_)
                     : QStringLiteral("the folder %1 is not empty").arg(path_);
    return false;
  }
  QFile file(path_);
  if (file.remove()) return true;
  lastError_ = file.errorString();
  return false;
}

bool FolderItem::CreateAsFolder() {
  lastError_.clear();
  const QFileInfo info(path_);
  if (info.isDir()) return true;
  if (info.exists()) {
    lastError_ = QStringLiteral("%1 exists and is not a folder").arg(path_);
    return false;
  }
  if (QDir().mkdir(path_)) return true;
  lastError_ = QStringLiteral("cannot create the folder %1").arg(path_);
  return false;
}

// The item keeps its path: afterwards it names the place the file left, so
// the caller can, say, create a fresh folder of the same name there.
bool FolderItem::MoveFileTo(const FolderItemPtr& folder) {
  lastError_.clear();
  if (!folder) {
    lastError_ = QStringLiteral("no destination folder");
    return false;
  }
  if (!Exists()) {
    lastError_ = QStringLiteral("%1 does not exist").arg(path_);
    return false;
  }
  const QString trashFiles = TrashRoot() + QStringLiteral("/files");
  if (folder->AbsolutePath() == trashFiles) return MoveToTrash(path_, lastError_);

  if (!folder->Directory()) {
    lastError_ = QStringLiteral("%1 is not a folder").arg(folder->AbsolutePath());
    return false;
  }
  const QString target = JoinPath(folder->AbsolutePath(), Name());
  if (target == path_) return true;
  if (QFileInfo::exists(target)) {
    lastError_ = QStringLiteral("%1 already exists").arg(target);
    return false;
  }
  return MovePath(path_, target, lastError_) == MoveResult::Moved;
}

PicturePtr FolderItem::OpenAsPicture() const {
  const QFileInfo info(path_);
  if (!info.isFile()) return nullptr;

  {
    QFile pict(path_);
    if (!pict.open(QIODevice::ReadOnly)) return nullptr;
    if (LooksLikePict(pict.peek(528)) && pict.size() <= kMaxPictFileBytes) {
      QByteArray bytes;
      try {
        bytes = pict.readAll();
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
      const QImage image = DecodePict(bytes);
      if (!image.isNull()) return std::make_shared<Picture>(image.convertToFormat(QImage::Format_RGB32));
    }
  }
  WatchedFile file(path_);
  if (!file.Open()) return nullptr;

  // Qt's own allocation guard, raised to match the size check below.
  static const bool limitSet = [] {
    QImageReader::setAllocationLimit(int(kMaxPicturePixels * 4 / (1024 * 1024)));
    return true;
  }();
  (void)limitSet;

  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  if (!reader.canRead()) return nullptr;
  const QByteArray format = reader.format();
  const QSize size = reader.size();
  if (size.isValid()) {
    if (size.width() < 1 || size.height() < 1 || size.width() > kMaxPictureSide ||
        size.height() > kMaxPictureSide || qint64(size.width()) * size.height() > kMaxPicturePixels)
      return nullptr;
  }
  file.ResetWatch();  // format detection peeks ahead; only the decoding counts
  QImage image;
  if (!reader.read(&image) || image.isNull()) return nullptr;
  if (file.CutShort(format)) return nullptr;  // a truncated file is not a picture
  if (image.width() > kMaxPictureSide || image.height() > kMaxPictureSide) return nullptr;
  image = FlattenToRgb32(image);
  if (image.isNull()) return nullptr;
  return std::make_shared<Picture>(std::move(image));
}

bool FolderItem::SaveAsPicture(const Picture& picture, int format) {
  lastError_.clear();
  if (format != kPictFile && format != kPngFile) {
    lastError_ = QStringLiteral("unknown picture format %1").arg(format);
    return false;
  }
  QByteArray bytes;
  if (format == kPngFile) {
    // 24-bit RGB, as the frame is opaque.
    QBuffer buffer(&bytes);
    const QImage rgb = picture.image().convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull() || !buffer.open(QIODevice::WriteOnly) || !rgb.save(&buffer, "PNG")) bytes.clear();
  } else {
    bytes = EncodePict(picture.image());
  }
  if (bytes.isEmpty()) {
    lastError_ = QStringLiteral("the picture cannot be stored as %1 (%2 x %3)")
                     .arg(format == kPngFile ? "PNG" : "PICT")
                     .arg(picture.Width())
                     .arg(picture.Height());
    return false;
  }
  if (QFileInfo(path_).isDir()) {
    lastError_ = QStringLiteral("a folder of that name is in the way");
    return false;
  }
  // Written beside the target and renamed over it, so a failure never leaves
  // half a picture behind.
  // Unbuffered, and written until every byte is out or the system refuses:
  // a full disk first takes what fits and only the next write says why, and
  // through a buffer that reason would be lost ("Unknown error").
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    lastError_ = file.errorString();
    return false;
  }
  for (qint64 done = 0; done < bytes.size();) {
    const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0) {
      lastError_ = file.errorString();
      file.cancelWriting();
      return false;
    }
    done += n;
  }
  if (!file.commit()) {
    lastError_ = file.errorString();
    return false;
  }
  return true;
}

QString PictureFileExtension(int format) { return format == kPngFile ? QStringLiteral(".png") : QString(); }

// ---------------------------------------------------------------------------
// Text files, UTF-8, one line per WriteLine.

namespace {

class FileTextOutput : public TextOutputStream {
 public:
  explicit FileTextOutput(const QString& path) : file_(path) {}
  bool Open() { return file_.open(QIODevice::WriteOnly | QIODevice::Truncate); }
  QString ErrorString() const { return file_.errorString(); }
  ~FileTextOutput() override { Close(); }

  void WriteLine(const QString& line) override {
    if (!file_.isOpen()) {
      failed_ = true;
      return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    if (file_.write(bytes) != bytes.size()) failed_ = true;
  }

  bool Close() override {
    if (file_.isOpen()) {
      if (!file_.flush()) failed_ = true;
      file_.close();
      if (file_.error() != QFileDevice::NoError) failed_ = true;
    }
    return !failed_;
  }

 private:
  QFile file_;
  bool failed_ = false;
};

class FileTextInput : public TextInputStream {
 public:
  explicit FileTextInput(QByteArray data) : data_(std::move(data)) {}

  QString ReadLine() override {
    if (pos_ >= data_.size()) return {};
    qsizetype end = data_.indexOf('\n', pos_);
    qsizetype next = end < 0 ? data_.size() : end + 1;
    if (end < 0) end = data_.size();
    qsizetype stop = end;
    if (stop > pos_ && data_[stop - 1] == '\r') --stop;
    const QString line = QString::fromUtf8(data_.constData() + pos_, stop - pos_);
    pos_ = next;
    return line;
  }
  bool EOF_() const override { return pos_ >= data_.size(); }
  void Close() override {
    data_.clear();
    pos_ = 0;
  }

 private:
  QByteArray data_;
  qsizetype pos_ = 0;
};

}  // namespace

std::shared_ptr<TextOutputStream> FolderItem::CreateTextFile() {
  lastError_.clear();
  if (QFileInfo(path_).isDir()) {
    lastError_ = QStringLiteral("a folder of that name is in the way");
    return nullptr;
  }
  auto stream = std::make_shared<FileTextOutput>(path_);
  if (!stream->Open()) {
    lastError_ = stream->ErrorString();
    return nullptr;
  }
  return stream;
}

std::shared_ptr<TextInputStream> FolderItem::OpenAsTextFile(qint64 maxBytes, int* error) const {
  int ignored = 0;
  int& why = error ? *error : ignored;
  const QByteArray name = NativePath(path_);
  int fd;
  do fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    why = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_size > maxBytes)) {
    why = S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? EFBIG : errno;
    ::close(fd);
    return nullptr;
  }
  // Read to its end, which a pipe or a device only knows as it comes: one
  // byte past the limit says it is too large.
  QByteArray data;
  why = 0;
  while (true) {
    const qint64 room = std::min<qint64>(maxBytes + 1 - data.size(), 1 << 16);
    if (room <= 0) {
      why = EFBIG;
      break;
    }
    const qsizetype at = data.size();
    data.resize(at + room);
    const ssize_t n = ::read(fd, data.data() + at, size_t(room));
    data.resize(at + std::max<ssize_t>(n, 0));
    if (n == 0) break;
    if (n < 0 && errno != EINTR) {
      why = errno;
      break;
    }
  }
  ::close(fd);
  if (why != 0) return nullptr;
  return std::make_shared<FileTextInput>(std::move(data));
}

QString WhyNotReplace(const QString& path, const std::vector<KeptFile>& kept) {
  struct stat target {};
  if (::stat(QFile::encodeName(path).constData(), &target) != 0 || S_ISDIR(target.st_mode)) return {};
  if (!S_ISREG(target.st_mode)) {
    const char* kind = S_ISFIFO(target.st_mode)                              ? "a pipe"
                       : S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode) ? "a device"
                       : S_ISSOCK(target.st_mode)                           ? "a socket"
                                                                            : "something else";
    return QStringLiteral("it is %1, not a file").arg(QLatin1String(kind));
  }
  for (const KeptFile& file : kept) {
    struct stat st {};
    if (file.path.isEmpty() || ::stat(QFile::encodeName(file.path).constData(), &st) != 0) continue;
    if (st.st_dev == target.st_dev && st.st_ino == target.st_ino) return "it is " + file.what;
  }
  return {};
}

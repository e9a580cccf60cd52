#include "movie/movie_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "framework/native_path.h"

namespace {

std::atomic<bool> g_unnamedAllowed{true};

// Part of every hidden file's name: a name that no other program uses.
constexpr char kPartialTag[] = ".velostrip-partial-";

// The first bytes of a hidden file until the movie's own bytes replace them:
// a QuickTime "free" atom of 16 bytes that says whose it is. Shorter than the
// movie's first atom ("ftyp"), which the first write of every movie puts at
// the very start, so nothing of it outlives that write.
constexpr char kMark[] = "\0\0\0\x10" "freeVelostrp";
constexpr size_t kMarkSize = 16;
static_assert(sizeof kMark == kMarkSize + 1);
// Bytes 4 to 11 of every movie we write: its "ftyp" atom, brand "qt  ".
constexpr char kMovieStart[] = "ftypqt  ";
constexpr size_t kMovieStartAt = 4, kMovieStartSize = 8;

QString ErrnoText(int err) { return QString::fromLocal8Bit(strerror(err)); }

QByteArray SelfLink(int fd) { return "/proc/self/fd/" + QByteArray::number(fd); }

// From the system's source each time: processes forked from one parent do not
// share it, as they share the state of a generator of their own.
QString RandomSuffix() { return QString::number(QRandomGenerator::system()->generate(), 36); }

QString PartialName(const QString& targetName) { return "." + targetName + kPartialTag + RandomSuffix(); }

// True while the path names the very file open on the descriptor.
bool StillNamed(int fd, const QByteArray& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Whether the file begins with our mark or with one of our movies.
bool CarriesOurMark(int fd) {
  char head[kMarkSize] = {};
  ssize_t n;
  do n = ::pread(fd, head, sizeof head, 0);
  while (n < 0 && errno == EINTR);
  if (n == ssize_t(kMarkSize) && std::memcmp(head, kMark, kMarkSize) == 0) return true;
  return n >= ssize_t(kMovieStartAt + kMovieStartSize) &&
         std::memcmp(head + kMovieStartAt, kMovieStart, kMovieStartSize) == 0;
}

// Opens a new hidden file in a folder under a fresh random name, locked and
// marked as ours.
int OpenPartial(const QString& folder, const QString& targetName, QString* path, int* err) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = folder + "/" + PartialName(targetName);
    const QByteArray name = NativePath(*path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    // Locked before it is marked: a clean-up takes only marked files, and
    // only when it holds their lock, so this one is never taken. The lock
    // fails only while a clean-up is looking at the unmarked file, which it
    // then leaves; this writer leaves it too and starts afresh under another
    // name. (Where the filesystem has no locks, no clean-up can lock either.)
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::unlink(name.constData());
      ::close(fd);
      continue;
    }
    ssize_t written;
    do written = ::pwrite(fd, kMark, kMarkSize, 0);
    while (written < 0 && errno == EINTR);
    if (written == ssize_t(kMarkSize)) return fd;
    const int why = written < 0 ? errno : ENOSPC;
    ::unlink(name.constData());
    ::close(fd);
    errno = why;
    break;
  }
  *err = errno;
  path->clear();
  return -1;
}

// The file a path stands for: the one a symbolic link points to, through
// every link of a chain, even when it does not exist yet. A loop of links
// stands for itself.
QString ResolvedTarget(const QString& path) {
  QFileInfo info(path);
  for (int depth = 0; depth < 128 && info.isSymLink(); ++depth) {
    info.setFile(info.symLinkTarget());
    if (!info.isSymLink()) return info.absoluteFilePath();
  }
  return QFileInfo(path).absoluteFilePath();
}

// A finished movie that takes the place of a file takes what the user set on
// it: its group (where the system lets us: our own groups, or as root) and
// then its permission bits, which a change of group may have cut.
void TakeOverModeOf(const QByteArray& replaced, int fd) {
  struct stat old {};
  if (::stat(replaced.constData(), &old) != 0 || !S_ISREG(old.st_mode)) return;
  struct stat made {};
  if (::fstat(fd, &made) == 0 && made.st_gid != old.st_gid) (void)::fchown(fd, uid_t(-1), old.st_gid);
  (void)::fchmod(fd, old.st_mode & 07777);
}

}  // namespace

void AllowUnnamedMovieFiles(bool allowed) { g_unnamedAllowed = allowed; }

bool IsPartialMovieName(const QString& fileName) {
  static const QRegularExpression pattern(QStringLiteral("^\\..+\\.velostrip-partial-[0-9a-z]{1,13}$"));
  return pattern.match(fileName).hasMatch();
}

namespace {

// Removes from a folder the partial movie files that a killed writer left:
// ours by name and by mark, and held by nobody.
void RemoveStalePartialMovies(const QString& folder) {
  const QStringList candidates{QString(".*") + kPartialTag + "*"};
  for (const QString& name : QDir(folder).entryList(candidates, QDir::Files | QDir::Hidden | QDir::System)) {
    if (!IsPartialMovieName(name)) continue;
    const QByteArray path = NativePath(folder + "/" + name);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    // A writer that is still running holds the lock; one that was killed no
    // longer does. The name is checked last: another clean-up may have
    // removed the file meanwhile.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && CarriesOurMark(fd) &&
        StillNamed(fd, path))
      ::unlink(path.constData());
    ::close(fd);
  }
}

}  // namespace

QString MovieOutputFile::Open(const QString& target) {
  Discard();
  target_ = ResolvedTarget(target);
  const QFileInfo info(target_);
  const QString folder = info.absolutePath();
  const QByteArray folderName = NativePath(folder);
  // What a killed writer left here goes whenever a movie is written here,
  // whichever way this one is written.
  RemoveStalePartialMovies(folder);
#ifdef O_TMPFILE
  if (g_unnamedAllowed) {
    fd_ = ::open(folderName.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    // Naming it at the end goes through /proc (linking the descriptor itself
    // needs a privilege); without /proc the hidden file is the safer way.
    if (fd_ >= 0 && ::access(SelfLink(fd_).constData(), F_OK) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) {
      // Held like a hidden file, for the moment it is linked under a hidden
      // name to replace an old file (see Commit). Nobody else can reach an
      // unnamed file, so only a filesystem without locks refuses; there no
      // clean-up can lock it either.
      ::flock(fd_, LOCK_EX | LOCK_NB);
      unnamed_ = true;
      return {};
    }
    // Filesystems without unnamed files say so in several ways; any other
    // failure is met again, and reported, by the hidden file.
  }
#endif
  int err = 0;
  fd_ = OpenPartial(folder, info.fileName(), &partialPath_, &err);
  if (fd_ < 0) return ErrnoText(err);
  return {};
}

QString MovieOutputFile::Commit() {
  if (fd_ < 0) return "the file is gone";
  const QByteArray target = NativePath(target_);
  QString error;
  bool linkedAsTarget = false;
  if (unnamed_) {
    const QByteArray self = SelfLink(fd_);
    auto link = [&](const QByteArray& name) {
      return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0;
    };
    linkedAsTarget = link(target);
    if (!linkedAsTarget) {
      if (errno != EEXIST) {
        error = ErrnoText(errno);
      } else {
        // An old file of that name: linked beside it first, then renamed over
        // it, so the old one is replaced in one step.
        TakeOverModeOf(target, fd_);
        const QString folder = QFileInfo(target_).absolutePath();
        bool linked = false;
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
          partialPath_ = folder + "/" + PartialName(QFileInfo(target_).fileName());
          linked = link(NativePath(partialPath_));
          if (!linked && errno != EEXIST) break;
        }
        if (!linked) {
          error = ErrnoText(errno);
          partialPath_.clear();
        }
      }
    }
  } else {
    TakeOverModeOf(target, fd_);
  }
  // The lock stays on a copy of the descriptor until the hidden file has
  // taken the target's name, so that no writer's clean-up takes it for a
  // stale one meanwhile; closing the descriptor itself still reports what
  // did not reach the file.
  const int held = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (::close(fd_) != 0 && error.isEmpty()) error = ErrnoText(errno);
  fd_ = -1;
  if (!partialPath_.isEmpty()) {
    const QByteArray partial = NativePath(partialPath_);
    if (error.isEmpty() && ::rename(partial.constData(), target.constData()) != 0) error = ErrnoText(errno);
    if (!error.isEmpty()) ::unlink(partial.constData());
    partialPath_.clear();
  } else if (!error.isEmpty() && linkedAsTarget) {
    // Linked, but the data did not all reach the file: no movie under that name.
    ::unlink(target.constData());
  }
  if (held >= 0) ::close(held);
  unnamed_ = false;
  return error;
}

void MovieOutputFile::Discard() {
  // Removed while still held, so that the name goes with the file written.
  if (!partialPath_.isEmpty()) ::unlink(NativePath(partialPath_).constData());
  partialPath_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  unnamed_ = false;
}

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

namespace {

std::atomic<bool> g_unnamedAllowed{true};

constexpr char kPartialMark[] = ".partial-";

QString ErrnoText(int err) { return QString::fromLocal8Bit(strerror(err)); }

QByteArray SelfLink(int fd) { return "/proc/self/fd/" + QByteArray::number(fd); }

QString RandomSuffix() { return QString::number(QRandomGenerator::global()->generate(), 36); }

QString PartialName(const QString& targetName) { return "." + targetName + kPartialMark + RandomSuffix(); }

// True while the path names the very file open on the descriptor.
bool StillNamed(int fd, const QByteArray& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Opens a new hidden file in a folder under a fresh random name, locked.
int OpenPartial(const QString& folder, const QString& targetName, QString* path, int* err) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = folder + "/" + PartialName(targetName);
    const QByteArray name = QFile::encodeName(*path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX | LOCK_NB);  // a fresh file: nobody else can hold it
      // Between its creation and the lock, another writer's clean-up could
      // take it for a stale one; then it is started again under a new name.
      if (StillNamed(fd, name)) return fd;
      ::close(fd);
      errno = EEXIST;
      continue;
    }
    if (errno != EEXIST) break;
  }
  *err = errno;
  path->clear();
  return -1;
}

}  // namespace

void AllowUnnamedMovieFiles(bool allowed) { g_unnamedAllowed = allowed; }

bool IsPartialMovieName(const QString& fileName) {
  static const QRegularExpression pattern(QStringLiteral("^\\..+\\.partial-[0-9a-z]{1,13}$"));
  return pattern.match(fileName).hasMatch();
}

namespace {

// Removes from a folder the partial movie files that no running writer holds
// (left by a program that was killed).
void RemoveStalePartialMovies(const QString& folder) {
  const QStringList candidates{QString(".*") + kPartialMark + "*"};
  for (const QString& name : QDir(folder).entryList(candidates, QDir::Files | QDir::Hidden | QDir::System)) {
    if (!IsPartialMovieName(name)) continue;
    const QByteArray path = QFile::encodeName(folder + "/" + name);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    // A writer that is still running holds the lock; one that was killed no longer does.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.constData());
    ::close(fd);
  }
}

}  // namespace

QString MovieOutputFile::Open(const QString& target) {
  Discard();
  target_ = target;
  const QFileInfo info(target);
  const QString folder = info.absolutePath();
  const QByteArray folderName = QFile::encodeName(folder);
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
      // name to replace an old file (see Commit).
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
  const QByteArray target = QFile::encodeName(target_);
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
        const QString folder = QFileInfo(target_).absolutePath();
        bool linked = false;
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
          partialPath_ = folder + "/" + PartialName(QFileInfo(target_).fileName());
          linked = link(QFile::encodeName(partialPath_));
          if (!linked && errno != EEXIST) break;
        }
        if (!linked) {
          error = ErrnoText(errno);
          partialPath_.clear();
        }
      }
    }
  }
  // The lock stays on a copy of the descriptor until the hidden file has
  // taken the target's name, so that no writer's clean-up takes it for a
  // stale one meanwhile; closing the descriptor itself still reports what
  // did not reach the file.
  const int held = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (::close(fd_) != 0 && error.isEmpty()) error = ErrnoText(errno);
  fd_ = -1;
  if (!partialPath_.isEmpty()) {
    const QByteArray partial = QFile::encodeName(partialPath_);
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
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!partialPath_.isEmpty()) ::unlink(QFile::encodeName(partialPath_).constData());
  partialPath_.clear();
  unnamed_ = false;
}

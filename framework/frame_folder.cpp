// The frames of an export written under a hidden folder and given their
// names at the end, all at once, so that the user's files of the same names
// stay as they were until the new ones are all there.
#include "framework/frame_folder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// What stands at a frame's final name and may not be replaced by a file:
// empty when nothing does (or a file, or a link, which the frame replaces).
QString InTheWay(const QString& path) {
  struct stat st {};
  if (::lstat(Native(path).constData(), &st) != 0) return {};
  if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder of that name is in the way");
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
    return QStringLiteral("something that is not a file (a pipe, a device) is in the way");
  return {};
}

bool Exists(const QString& path) {
  struct stat st {};
  return ::lstat(Native(path).constData(), &st) == 0;
}

// One name given: how, so that it can be taken back.
enum class Given { Moved, Exchanged, Replaced };

// Moves from over to, keeping what was at `to` (exchanged into `from`) where
// the file system can; sets errno and returns false on failure.
bool GiveName(const QString& from, const QString& to, Given& how) {
  const QByteArray f = Native(from), t = Native(to);
  if (!Exists(to)) {
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) {
      how = Given::Moved;
      return true;
    }
    if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) return false;
  }
  if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_EXCHANGE) == 0) {
    how = Given::Exchanged;
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot exchange: a plain rename, which cannot be
  // taken back once it has replaced a file.
  const bool existed = Exists(to);
  if (::rename(f.constData(), t.constData()) != 0) return false;
  how = existed ? Given::Replaced : Given::Moved;
  return true;
}

void TakeBack(const QString& from, const QString& to, Given how) {
  const QByteArray f = Native(from), t = Native(to);
  if (how == Given::Moved) ::rename(t.constData(), f.constData());
  if (how == Given::Exchanged) ::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_EXCHANGE);
}

}  // namespace

FrameFolder::FrameFolder(QString folder) : folder_(std::move(folder)) {}

FrameFolder::~FrameFolder() { Abandon(); }

QString FrameFolder::HiddenPrefix() { return QStringLiteral(".velostrip-frames-"); }

QString FrameFolder::FinalPath(const QString& name) const { return folder_ + QLatin1Char('/') + name; }

QString FrameFolder::Open(Missing missing) {
  struct stat st {};
  const QByteArray path = Native(folder_);
  if (::stat(path.constData(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return {};
    return "Frames not written: " + folder_ + " is a file, not a folder.";
  }
  if (missing == Missing::Fail) return "Frames not written: no such folder - " + folder_;
  // Made when missing, but not its parents: a mistyped path makes no tree.
  if (::mkdir(path.constData(), 0777) != 0)
    return "Frames not written: cannot create the folder " + folder_ + ": " + Reason(errno);
  madeFolder_ = true;
  return {};
}

QString FrameFolder::Stage(const QString& name) {
  lastError_.clear();
  if (done_) {
    lastError_ = QStringLiteral("the export is already over");
    return {};
  }
  if (const QString why = InTheWay(FinalPath(name)); !why.isEmpty()) {
    lastError_ = why;
    return {};
  }
  if (staging_.isEmpty()) {
    QByteArray pattern = Native(FinalPath(HiddenPrefix() + "XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
      lastError_ = Reason(errno);
      return {};
    }
    staging_ = QFile::decodeName(pattern);
  }
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
  return staging_ + QLatin1Char('/') + name;
}

QString FrameFolder::Commit() {
  if (done_) return {};
  // Everything that could stop a name from being given is looked for first,
  // so that a refusal changes nothing.
  for (const QString& name : names_) {
    if (const QString why = InTheWay(FinalPath(name)); !why.isEmpty())
      return "Frames not written: " + why + " - " + FinalPath(name);
    if (!Exists(staging_ + QLatin1Char('/') + name))
      return "Frames not written: a frame was not saved - " + FinalPath(name);
  }
  std::vector<Given> given;
  given.reserve(names_.size());
  for (const QString& name : names_) {
    Given how = Given::Moved;
    if (!GiveName(staging_ + QLatin1Char('/') + name, FinalPath(name), how)) {
      const QString error = "Frames not written: " + Reason(errno) + " - " + FinalPath(name);
      for (size_t k = given.size(); k-- > 0;)
        TakeBack(staging_ + QLatin1Char('/') + names_[k], FinalPath(names_[k]), given[k]);
      return error;
    }
    given.push_back(how);
  }
  done_ = true;
  // What is left in the hidden folder are the files the frames replaced.
  if (!staging_.isEmpty()) QDir(staging_).removeRecursively();
  return {};
}

void FrameFolder::Abandon() {
  if (done_) return;
  done_ = true;
  if (!staging_.isEmpty()) QDir(staging_).removeRecursively();
  if (madeFolder_) ::rmdir(Native(folder_).constData());
}

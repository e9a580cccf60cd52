// Movies written side by side into one folder by several processes: none
// takes another's file. The hidden-file way (FAT, exFAT, NFS, CIFS, no /proc)
// is the one at risk, since every writer's clean-up looks at the others'
// files, so it is the way used here.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "framework/picture.h"
#include "movie/movie.h"
#include "movie/movie_file.h"
#include "tests/support/movie_support.h"

using namespace movietest;

namespace {

// Every flock() of this test program comes through the definition below,
// which takes the C library's place, so that a test can step in at the moment
// a file is locked, as another process might.
std::function<int(int fd, int operation)> g_aroundLock;
bool g_inLock = false;

int RealFlock(int fd, int operation) { return int(::syscall(SYS_flock, fd, operation)); }

QString PathOf(int fd) { return QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd)); }

QStringList EntriesOf(const QString& folder) {
  QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

bool WriteMovie(const QString& path, int frames) {
  EditableMoviePtr movie = CreateMovieAt(path);
  QTVideoTrackPtr track = movie->NewVideoTrack(16, 16, 1.0);
  track->TimeScale = 8;
  for (int i = 0; i < frames; ++i) track->AppendPicture(Picture(RandomImage(16, 16, i)));
  const QString error = movie->Finish();
  if (!error.isEmpty()) fprintf(stderr, "%s\n", qPrintable(error));
  return error.isEmpty();
}

struct HiddenFilesOnly {
  HiddenFilesOnly() { AllowUnnamedMovieFiles(false); }
  ~HiddenFilesOnly() { AllowUnnamedMovieFiles(true); }
};

}  // namespace

extern "C" int flock(int fd, int operation) {
  if (!g_aroundLock || g_inLock) return RealFlock(fd, operation);
  const auto around = g_aroundLock;  // the step may replace itself
  g_inLock = true;
  const int result = around(fd, operation);
  g_inLock = false;
  return result;
}

// Another copy's clean-up opens and locks a writer's new file before the
// writer does, and would remove it once the writer has gone on: the writer
// takes another file, the clean-up takes nothing, and the movie is written.
TEST(MovieFolder, ACleanUpThatLocksANewFileFirstTakesNothing) {
  HiddenFilesOnly hidden;
  QTemporaryDir dir;
  int locked[2], go[2];
  ASSERT_EQ(::pipe(locked), 0);
  ASSERT_EQ(::pipe(go), 0);
  pid_t other = -1;
  g_aroundLock = [&](int fd, int operation) {
    const QString path = PathOf(fd);
    if (other >= 0 || !QFileInfo(path).fileName().startsWith(".mine.mov.")) return RealFlock(fd, operation);
    other = ::fork();
    if (other == 0) {
      // The other copy starts a movie of its own in the folder; its clean-up
      // holds the lock on the writer's file until the writer has gone on.
      g_inLock = false;
      g_aroundLock = [&, path](int fd2, int operation2) {
        const int result = RealFlock(fd2, operation2);
        if (PathOf(fd2) == path) {
          char c = result == 0 ? 'L' : 'N';
          (void)!::write(locked[1], &c, 1);
          (void)!::read(go[0], &c, 1);
        }
        return result;
      };
      CreateMovieAt(dir.filePath("theirs.mov"))->Discard();
      const char done = 'X';
      (void)!::write(locked[1], &done, 1);
      ::_exit(0);
    }
    char c = 0;
    (void)!::read(locked[0], &c, 1);
    EXPECT_EQ(c, 'L') << "the other copy did not lock the new file first";
    return RealFlock(fd, operation);
  };
  EditableMoviePtr movie = CreateMovieAt(dir.filePath("mine.mov"));
  g_aroundLock = nullptr;
  const char c = 'G';
  ASSERT_EQ(::write(go[1], &c, 1), 1);
  int status = 0;
  ASSERT_GT(other, 0);
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {locked[0], locked[1], go[0], go[1]}) ::close(fd);

  QTVideoTrackPtr track = movie->NewVideoTrack(16, 16, 1.0);
  track->TimeScale = 8;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(16, 16, i))));
  EXPECT_EQ(movie->Finish(), "");
  EXPECT_EQ(ReadAllFrames(dir.filePath("mine.mov")).size(), 3u);
  EXPECT_EQ(EntriesOf(dir.path()), QStringList{"mine.mov"});
}

// Processes that export into one folder at once, movie after movie, each
// clearing the folder as it starts: every movie is written, nothing else is
// left.
TEST(MovieFolder, ProcessesExportingSideBySideKeepTheirOwnFiles) {
  HiddenFilesOnly hidden;
  QTemporaryDir dir;
  constexpr int kProcesses = 4, kMovies = 12, kFrames = 3;
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(start[1]);
      char c;
      (void)!::read(start[0], &c, 1);  // all at once, when the parent lets go
      int failed = 0;
      for (int m = 0; m < kMovies; ++m)
        failed += !WriteMovie(dir.filePath(QString("p%1_%2.mov").arg(p).arg(m)), kFrames);
      ::_exit(failed);
    }
    children.push_back(child);
  }
  ::close(start[0]);
  ::close(start[1]);
  QStringList expected;
  for (int p = 0; p < kProcesses; ++p) {
    int status = 0;
    ASSERT_EQ(::waitpid(children[size_t(p)], &status, 0), children[size_t(p)]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "process " << p << " failed";
    for (int m = 0; m < kMovies; ++m) expected.append(QString("p%1_%2.mov").arg(p).arg(m));
  }
  expected.sort();
  EXPECT_EQ(EntriesOf(dir.path()), expected);
  for (const QString& name : expected) EXPECT_EQ(ReadAllFrames(dir.filePath(name)).size(), size_t(kFrames));
}

// Writing movies and reading them back: with our reader, with ffprobe and
// with the ffmpeg command-line decoder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <future>
#include <map>

#include "framework/picture.h"
#include "movie/movie.h"
#include "movie/movie_file.h"
#include "movie/movie_reader.h"
#include "tests/support/movie_support.h"
#include "tests/support/test_env.h"

using namespace movietest;

namespace {

QStringList HiddenPartials(const QString& folder) {
  return QDir(folder).entryList(QStringList{".*partial*"}, QDir::Files | QDir::Hidden);
}

QStringList EntriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Four frames that exercise both picture content and frame-to-frame changes:
// random pixels, a gradient, the gradient with a small patch changed (delta
// frames of the Animation codec), and other random pixels.
std::vector<QImage> TestFrames(int w, int h, uint32_t seed) {
  QImage patched = GradientImage(w, h, 1);
  for (int y = h / 3; y < std::min(h, h / 3 + 2); ++y)
    for (int x = w / 2; x < std::min(w, w / 2 + 3); ++x) patched.setPixel(x, y, qRgb(250, 3, 128));
  return {RandomImage(w, h, seed), GradientImage(w, h, 1), patched, RandomImage(w, h, seed + 1)};
}

// Smooth content, the kind lossy codecs are meant for.
QImage SmoothImage(int w, int h, int phase) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, qRgb(40 + x * 170 / std::max(1, w - 1), 30 + y * 190 / std::max(1, h - 1),
                                int(128 + 60 * std::sin((x + y + 3 * phase) / 12.0))));
  return image;
}

struct LosslessCodec {
  const char* type;
  int depth;
};

// Printed in test names, so it must not show the struct's raw bytes.
void PrintTo(const LosslessCodec& codec, std::ostream* os) {
  *os << '\'' << codec.type << "' depth " << codec.depth;
}

std::string CodecName(const testing::TestParamInfo<LosslessCodec>& info) {
  std::string name = QString(info.param.type).trimmed().toStdString();
  return name + std::to_string(info.param.depth);
}

class LosslessRoundTrip : public testing::TestWithParam<LosslessCodec> {};

TEST_P(LosslessRoundTrip, EverySizeReadsBackExactly) {
  const LosslessCodec codec = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  // Widths around every row alignment (1..33, 398..407) at an odd height,
  // heights 1 and 2 and some odd ones, and one wide movie.
  std::vector<QSize> sizes;
  for (int w = 1; w <= 33; ++w) sizes.emplace_back(w, 3);
  for (int w = 398; w <= 407; ++w) sizes.emplace_back(w, 3);
  for (QSize s : {QSize(1, 1), QSize(2, 1), QSize(5, 1), QSize(7, 2), QSize(6, 2), QSize(403, 1), QSize(401, 2),
                  QSize(13, 5), QSize(17, 33), QSize(400, 7), QSize(2048, 2)})
    sizes.push_back(s);

  const bool ffmpegMisreads = QString(codec.type) == "raw " && codec.depth == 24;
  struct Written {
    QSize size;
    QString path;
    std::vector<QImage> frames;
  };
  std::vector<Written> written;
  uint32_t seed = 1;
  for (const QSize size : sizes) {
    const int w = size.width(), h = size.height();
    SCOPED_TRACE(QString("%1x%2").arg(w).arg(h).toStdString());
    const QString path = dir.filePath(QString("m%1x%2.mov").arg(w).arg(h));
    std::vector<QImage> frames = TestFrames(w, h, seed++);
    ASSERT_EQ(WriteMovie(path, codec.type, codec.depth, 100, frames), "");

    // Our reader, frame by frame.
    const std::vector<QImage> back = ReadAllFrames(path);
    ASSERT_EQ(back.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(FirstDifference(frames[i], back[i]), "") << "frame " << i;
    written.push_back({size, path, std::move(frames)});
  }

  // The command-line tools, run side by side to keep the test quick.
  struct ToolResult {
    Probe probe;
    std::vector<QImage> ffmpeg;
  };
  std::vector<std::future<ToolResult>> results;
  for (const Written& m : written) {
    const bool decode = !(ffmpegMisreads && m.size.width() % 4 == 3);
    results.push_back(std::async(std::launch::async, [m, decode] {
      ToolResult r;
      r.probe = ProbeMovie(m.path);
      if (decode) r.ffmpeg = FfmpegFrames(m.path, m.size.width(), m.size.height());
      return r;
    }));
  }
  for (size_t n = 0; n < written.size(); ++n) {
    const Written& m = written[n];
    const int w = m.size.width(), h = m.size.height();
    SCOPED_TRACE(QString("%1x%2").arg(w).arg(h).toStdString());
    const ToolResult r = results[n].get();
    // The file as ffprobe sees it: our codec, time base 1/8, one tick per frame.
    const Probe& probe = r.probe;
    ASSERT_TRUE(probe.ok) << probe.errors.toStdString();
    EXPECT_EQ(probe.codecTag.trimmed(), QString(codec.type).trimmed());
    EXPECT_EQ(probe.timeBase, "1/8");
    EXPECT_EQ(probe.width, w);
    EXPECT_EQ(probe.height, h);
    EXPECT_EQ(probe.frames, int(m.frames.size()));
    ASSERT_EQ(probe.pts.size(), m.frames.size());
    for (size_t i = 0; i < m.frames.size(); ++i) {
      EXPECT_EQ(probe.pts[i], int64_t(i));
      EXPECT_EQ(probe.durations[i], 1);
    }

    // FFmpeg's own decoder agrees, except where its rawvideo decoder guesses
    // the padded 24-bit row length wrongly (widths 3, 7, 11... modulo 4).
    if (ffmpegMisreads && w % 4 == 3) continue;
    ASSERT_EQ(r.ffmpeg.size(), m.frames.size());
    for (size_t i = 0; i < m.frames.size(); ++i)
      EXPECT_EQ(FirstDifference(m.frames[i], r.ffmpeg[i]), "") << "ffmpeg frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, LosslessRoundTrip,
                         testing::Values(LosslessCodec{"raw ", 24}, LosslessCodec{"raw ", 32},
                                         LosslessCodec{"rle ", 24}, LosslessCodec{"rle ", 32},
                                         LosslessCodec{"png ", 24}),
                         CodecName);

// Frames asked for out of order: seeking back and forward, across the key
// frames of the Animation codec's delta frames.
TEST(MovieReader, RandomAccessMatchesSequentialFrames) {
  QTemporaryDir dir;
  for (const char* type : {"raw ", "rle ", "png "}) {
    SCOPED_TRACE(type);
    const QString path = dir.filePath("seek.mov");
    std::vector<QImage> frames;
    for (int i = 0; i < 40; ++i) {
      QImage f = GradientImage(31, 9, i);
      f.setPixel(i % 31, i % 9, qRgb(255, 255, 255));
      frames.push_back(f);
    }
    ASSERT_EQ(WriteMovie(path, type, 24, 100, frames), "");
    MovieReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.FrameCount(), 40);
    EXPECT_DOUBLE_EQ(reader.FramesPerSecond(), 8.0);
    for (int k : {0, 1, 2, 39, 38, 5, 20, 21, 30, 13, 0, 39, 12, 11, 25, 26, 27, 3}) {
      EXPECT_EQ(FirstDifference(frames[k], reader.Frame(k)), "") << "frame " << k;
    }
    EXPECT_TRUE(reader.Frame(40).isNull());
    EXPECT_TRUE(reader.Frame(-1).isNull());
    reader.Rewind();
    EXPECT_EQ(FirstDifference(frames[0], reader.Next()), "");
    EXPECT_EQ(FirstDifference(frames[1], reader.Next()), "");
  }
}

TEST(MovieWrite, LossyCodecsReadBackClose) {
  QTemporaryDir dir;
  QStringList types{"jpeg"};
  for (const CodecChoice& c : AvailableCodecs())
    if (c.type == "avc1") types << "avc1";
  for (const QString& type : types) {
    for (QSize size : {QSize(64, 48), QSize(65, 33)}) {
      SCOPED_TRACE(QString("%1 %2x%3").arg(type).arg(size.width()).arg(size.height()).toStdString());
      const QString path = dir.filePath("lossy.mov");
      std::vector<QImage> frames;
      for (int i = 0; i < 10; ++i) frames.push_back(SmoothImage(size.width(), size.height(), i));
      ASSERT_EQ(WriteMovie(path, type, 24, 100, frames), "");
      const std::vector<QImage> back = ReadAllFrames(path);
      ASSERT_EQ(back.size(), frames.size());
      for (size_t i = 0; i < frames.size(); ++i) EXPECT_LT(MeanAbsError(frames[i], back[i]), 3.0) << "frame " << i;
      const std::vector<QImage> ff = FfmpegFrames(path, size.width(), size.height());
      ASSERT_EQ(ff.size(), frames.size());
      EXPECT_LT(MeanAbsError(frames[5], ff[5]), 3.0);

      const Probe probe = ProbeMovie(path);
      ASSERT_TRUE(probe.ok);
      EXPECT_EQ(probe.codecTag, type);
      EXPECT_EQ(probe.timeBase, "1/8");
      EXPECT_EQ(probe.frames, 10);
      for (size_t i = 0; i < probe.pts.size(); ++i) {
        EXPECT_EQ(probe.pts[i], int64_t(i));
        EXPECT_EQ(probe.durations[i], 1);
      }
    }
  }
}

// At an odd width each row's last pixel is paired with the one after it for
// its colour, and after the last row that is no part of the picture: the
// memory that happens to follow it must not reach the movie. Two pictures
// alike but for the bytes after them make the same file.
TEST(MovieWrite, OddWidthJpegTakesNothingFromBeyondThePicture) {
  QTemporaryDir dir;
  for (QSize size : {QSize(7, 5), QSize(147, 148)}) {
    const int w = size.width(), h = size.height();
    SCOPED_TRACE(QString("%1x%2").arg(w).arg(h).toStdString());
    const QImage content = SmoothImage(w, h, 0);
    QByteArray files[2];
    for (int n = 0; n < 2; ++n) {
      std::vector<uint32_t> memory(size_t(w) * size_t(h) + 64, n == 0 ? 0xff00ff00u : 0xffff00ffu);
      for (int y = 0; y < h; ++y) std::memcpy(&memory[size_t(y) * size_t(w)], content.constScanLine(y), size_t(w) * 4);
      const QImage picture(reinterpret_cast<const uchar*>(memory.data()), w, h, w * 4, QImage::Format_RGB32);
      const QString path = dir.filePath(QString("odd%1.mov").arg(n));
      ASSERT_EQ(WriteMovie(path, "jpeg", 24, 100, {picture}), "");
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      files[n] = file.readAll();
    }
    EXPECT_TRUE(files[0] == files[1]) << "the movies differ";
  }
}

// A picture whose memory ends where a page nobody may read begins, as a
// picture at the end of the heap may: with the tail room a new picture has,
// or (an image made elsewhere) with none. Every codec converts and encodes
// both, at even and odd sizes, without touching that page (a read there
// ends the test).
PicturePtr PictureBeforeAGuardPage(const QImage& content, bool withRoom) {
  const qsizetype page = ::sysconf(_SC_PAGESIZE), w = content.width(), h = content.height(), row = w * 4;
  const qsizetype bytes = withRoom ? (row * h + Picture::TailRoom(row) + 63) / 64 * 64 : row * h;
  const qsizetype mapped = (bytes + page - 1) / page * page + page;
  void* map = ::mmap(nullptr, size_t(mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  auto* base = static_cast<uchar*>(map);
  if (::mprotect(base + mapped - page, size_t(page), PROT_NONE) != 0) return nullptr;
  uchar* start = base + mapped - page - bytes;
  std::shared_ptr<uchar> memory(start, [base, mapped](uchar*) { ::munmap(base, size_t(mapped)); });
  for (int y = 0; y < h; ++y) std::memcpy(start + y * row, content.constScanLine(y), size_t(row));
  if (withRoom) return std::make_shared<Picture>(memory, bytes, int(w), int(h), row);
  return std::make_shared<Picture>(QImage(
      start, int(w), int(h), row, QImage::Format_RGB32,
      [](void* held) { delete static_cast<std::shared_ptr<uchar>*>(held); }, new std::shared_ptr<uchar>(memory)));
}

TEST(MovieWrite, NoCodecReadsPastThePicturesItIsGiven) {
  QTemporaryDir dir;
  std::vector<std::pair<QString, int>> codecs = {{"raw ", 24}, {"rle ", 24}, {"rle ", 32}, {"png ", 24}, {"jpeg", 24}};
  for (const CodecChoice& c : AvailableCodecs())
    if (c.type == "avc1") codecs.push_back({"avc1", 24});
  for (QSize size : {QSize(1, 1), QSize(3, 5), QSize(41, 21), QSize(64, 3), QSize(147, 148)}) {
    for (const bool withRoom : {true, false}) {
      PicturePtr picture = PictureBeforeAGuardPage(SmoothImage(size.width(), size.height(), 0), withRoom);
      ASSERT_TRUE(picture && !picture->image().isNull());
      EXPECT_EQ(picture->ReadableBytes() > picture->image().sizeInBytes(), withRoom);
      for (const auto& [type, depth] : codecs) {
        SCOPED_TRACE(QString("%1 %2 %3x%4 %5")
                         .arg(type)
                         .arg(depth)
                         .arg(size.width())
                         .arg(size.height())
                         .arg(withRoom ? "with room" : "without")
                         .toStdString());
        const QString path = dir.filePath("guarded.mov");
        EditableMoviePtr movie = CreateMovieAt(path);
        QTVideoTrackPtr track = movie->NewVideoTrack(size.width(), size.height(), 1.0);
        ASSERT_TRUE(track);
        track->CompressionType = type;
        track->Depth = depth;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(track->AppendPicture(*picture)) << track->Error().toStdString();
        track.reset();
        EXPECT_EQ(movie->Finish(), "");
        EXPECT_EQ(ReadAllFrames(path).size(), 3u);
      }
    }
  }
  // A new picture has its tail room from the start.
  PicturePtr made = NewPicture(41, 21, 32);
  EXPECT_GE(made->ReadableBytes(), made->image().sizeInBytes() + Picture::TailRoom(41 * 4));
}

TEST(MovieWrite, LowerQualityMakesSmallerJpegFiles) {
  QTemporaryDir dir;
  std::vector<QImage> frames{RandomImage(80, 60, 5), GradientImage(80, 60, 2)};
  ASSERT_EQ(WriteMovie(dir.filePath("best.mov"), "jpeg", 24, 100, frames), "");
  ASSERT_EQ(WriteMovie(dir.filePath("least.mov"), "jpeg", 24, 0, frames), "");
  EXPECT_LT(QFileInfo(dir.filePath("least.mov")).size(), QFileInfo(dir.filePath("best.mov")).size() / 2);
  EXPECT_EQ(ReadAllFrames(dir.filePath("least.mov")).size(), 2u);
}

TEST(MovieWrite, MovieWithoutFramesIsAValidMovie) {
  QTemporaryDir dir;
  const QString path = dir.filePath("empty.mov");
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(40, 30, 1.0);
    ASSERT_TRUE(track);
    track->TimeScale = 8;
    EXPECT_EQ(track->Width(), 40);
    EXPECT_EQ(track->Height(), 30);
    EXPECT_EQ(track->FrameCount(), 0);
    movie.reset();  // the track still holds the file open
    EXPECT_FALSE(QFile::exists(path));
  }
  ASSERT_TRUE(QFile::exists(path));
  MoviePtr movie = Movie::Open(path);
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->Width(), 40);
  EXPECT_EQ(movie->Height(), 30);
  EXPECT_EQ(movie->FrameCount(), 0);
  const Probe probe = ProbeMovie(path);
  ASSERT_TRUE(probe.ok) << probe.errors.toStdString();
  EXPECT_EQ(probe.timeBase, "1/8");
  EXPECT_TRUE(probe.pts.empty());
  EXPECT_TRUE(ReadAllFrames(path).empty());
  EXPECT_TRUE(HiddenPartials(dir.path()).isEmpty());
}

TEST(MovieWrite, MovieWithoutTrackStillOpens) {
  QTemporaryDir dir;
  const QString path = dir.filePath("notrack.mov");
  CreateMovieAt(path).reset();
  EXPECT_TRUE(Movie::Open(path));
  EXPECT_TRUE(HiddenPartials(dir.path()).isEmpty());
}

// Until it is finished the movie has no name at all or, where the filesystem
// cannot do that, a hidden one; an old file of the target's name stays as it
// was until then.
TEST(MovieWrite, FileAppearsOnlyWhenFinishedAndReplacesTheOldOne) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "hidden file");
    AllowUnnamedMovieFiles(unnamed);
    QTemporaryDir dir;
    const QString path = dir.filePath("movie.mov");
    {
      QFile old(path);
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("not a movie");
    }
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(12, 10, 1.0);
    track->TimeScale = 8;
    const QImage frame = RandomImage(12, 10, 3);
    ASSERT_TRUE(track->AppendPicture(Picture(frame)));
    ASSERT_TRUE(track->AppendPicture(Picture(frame)));
    EXPECT_EQ(track->FrameCount(), 2);
    EXPECT_EQ(QFileInfo(path).size(), 11);
    EXPECT_EQ(HiddenPartials(dir.path()).size(), unnamed ? 0 : 1);
    EXPECT_EQ(EntriesOf(dir.path()).size(), unnamed ? 1 : 2);

    EXPECT_EQ(movie->Finish(), "");
    EXPECT_EQ(EntriesOf(dir.path()), QStringList{"movie.mov"});
    ASSERT_EQ(ReadAllFrames(path).size(), 2u);
    // Finished is finished: the same answer again, and no more frames.
    EXPECT_EQ(movie->Finish(), "");
    EXPECT_FALSE(track->AppendPicture(Picture(frame)));
    track.reset();
    movie.reset();
    EXPECT_EQ(Movie::Open(path)->FrameCount(), 2);
  }
  AllowUnnamedMovieFiles(true);
}

// What goes wrong while the movie is finished - the trailer does not fit,
// the folder is gone when the file is to be named - is Finish()'s answer,
// with the file's path and the reason, and nothing is left.
TEST(MovieWrite, FinishingErrorsAreReturned) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "hidden file");
    AllowUnnamedMovieFiles(unnamed);
    QTemporaryDir dir;
    const QString path = dir.filePath("trailer.mov");
    QString error;
    {
      // Room for the two frames (120 KB each) and the header, not for the trailer.
      FileSizeLimit limit(2 * 120000 + 200);
      EditableMoviePtr movie = CreateMovieAt(path);
      QTVideoTrackPtr track = movie->NewVideoTrack(200, 200, 1.0);
      track->TimeScale = 8;
      ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(200, 200, 1))));
      ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(200, 200, 2))));
      error = movie->Finish();
      EXPECT_EQ(movie->Finish(), error);
      EXPECT_FALSE(track->AppendPicture(Picture(RandomImage(200, 200, 3))));
    }
    EXPECT_TRUE(error.contains(path) && error.contains("File too large")) << error.toStdString();
    EXPECT_EQ(EntriesOf(dir.path()), QStringList{});

    const QString folder = dir.filePath("gone");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString lost = folder + "/lost.mov";
    EditableMoviePtr movie = CreateMovieAt(lost);
    QTVideoTrackPtr track = movie->NewVideoTrack(8, 8, 1.0);
    track->TimeScale = 8;
    ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(8, 8, 1))));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    error = movie->Finish();
    EXPECT_TRUE(error.contains(lost) && error.contains("No such file")) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
  }
  AllowUnnamedMovieFiles(true);
}

// A program killed while it writes a movie leaves nothing under the target's
// name; an unnamed file vanishes with it, and a hidden one is no longer held,
// so the next movie written into that folder, whatever its name and however
// it is written, removes it: killed before anything of the movie reached the
// file, or after. The hidden file of a movie still being written stays, and
// so does every file that only looks like one of ours.
TEST(MovieWrite, KilledWritersLeaveNothingThatStaysAndLookAlikesStay) {
  // Hidden files of the user's or of other programs, two with our very name.
  const std::map<QString, QByteArray> lookAlikes{{".notes.txt.partial-v2", "notes"},
                                                 {".thesis.odt.partial-draft", "a thesis"},
                                                 {".photo.jpg.partial-1", ""},
                                                 {".clip.mov.velostrip-partial-abc123", "someone else's"},
                                                 {".clip.mov.velostrip-partial-empty", ""}};
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "hidden file");
    AllowUnnamedMovieFiles(unnamed);
    QTemporaryDir dir;
    for (const auto& [name, bytes] : lookAlikes) {
      QFile file(dir.filePath(name));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(bytes);
    }
    auto ourPartials = [&] {
      QStringList names;
      for (const QString& name : EntriesOf(dir.path()))
        if (IsPartialMovieName(name) && !lookAlikes.count(name)) names.append(name);
      return names;
    };
    // Held by this process throughout (the children's copies of it die with them).
    EditableMoviePtr busy = unnamed ? nullptr : CreateMovieAt(dir.filePath("busy.mov"));
    // One killed before its first frame (while its compression is chosen),
    // then one with the start of its movie on disk, whose start removes the
    // first one.
    for (const bool started : {false, true}) {
      const QString path = dir.filePath(started ? "started.mov" : "unstarted.mov");
      const QString partialStart = "." + QFileInfo(path).fileName() + ".";
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        EditableMoviePtr movie = CreateMovieAt(path);
        QTVideoTrackPtr track = movie->NewVideoTrack(64, 64, 1.0);
        track->TimeScale = 8;
        auto onDisk = [&] {
          for (const QString& name : HiddenPartials(dir.path()))
            if (name.startsWith(partialStart)) return QFileInfo(dir.filePath(name)).size();
          return qint64(0);
        };
        for (int i = 0; started && i < 100 && (i == 0 || (!unnamed && onDisk() <= 16)); ++i)
          track->AppendPicture(Picture(RandomImage(64, 64, i)));
        raise(SIGKILL);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_FALSE(QFileInfo::exists(path));
      const QStringList stale = ourPartials();
      ASSERT_EQ(stale.size(), unnamed ? 0 : 2);
      if (!unnamed) {
        EXPECT_TRUE(stale[0].startsWith(partialStart) || stale[1].startsWith(partialStart))
            << partialStart.toStdString();
      }
    }

    // Another name, in an unnamed file: the killed one goes, the busy one stays.
    AllowUnnamedMovieFiles(true);
    EditableMoviePtr other = CreateMovieAt(dir.filePath("other.mov"));
    const QStringList left = ourPartials();
    ASSERT_EQ(left.size(), unnamed ? 0 : 1);
    EXPECT_EQ(other->Finish(), "");
    QStringList expected{"other.mov"};
    if (busy) {
      EXPECT_TRUE(left[0].startsWith(".busy.mov.")) << left[0].toStdString();
      EXPECT_EQ(busy->Finish(), "");
      expected.append("busy.mov");
    }
    for (const auto& [name, bytes] : lookAlikes) {
      expected.append(name);
      QFile file(dir.filePath(name));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
      EXPECT_EQ(file.readAll(), bytes) << name.toStdString();
    }
    expected.sort();
    QStringList entries = EntriesOf(dir.path());
    entries.sort();
    EXPECT_EQ(entries, expected);
  }
  AllowUnnamedMovieFiles(true);
}

// A movie written over a file keeps what the user set on it: its permission
// bits and its group; over a symbolic link (or a chain of them) it replaces
// the file the link points to, and the link stays. A link to a file not yet
// there makes that file.
TEST(MovieWrite, AReplacedFileKeepsItsModeGroupAndLinks) {
  auto write = [](const QString& path) {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(8, 8, 1.0);
    track->TimeScale = 8;
    for (int i = 0; i < 2; ++i) track->AppendPicture(Picture(RandomImage(8, 8, i)));
    return movie->Finish();
  };
  auto makeFile = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("old") == 3;
  };
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "hidden file");
    AllowUnnamedMovieFiles(unnamed);
    QTemporaryDir dir;
    const QString kept = dir.filePath("kept.mov");
    ASSERT_TRUE(makeFile(kept));
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    // Any group will do for root; others keep their own.
    if (geteuid() == 0) {
      ASSERT_EQ(::chown(QFile::encodeName(kept).constData(), uid_t(-1), 4242), 0);
    }
    struct stat old {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &old), 0);
    EXPECT_EQ(write(kept), "");
    struct stat made {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0640u);
    EXPECT_EQ(made.st_gid, old.st_gid);
    EXPECT_NE(made.st_ino, old.st_ino) << "replaced in one step, not written over";
    EXPECT_EQ(ReadAllFrames(kept).size(), 2u);

    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    ASSERT_TRUE(makeFile(dir.filePath("real/target.mov")));
    ASSERT_TRUE(QFile::link("real/target.mov", dir.filePath("link.mov")));
    ASSERT_TRUE(QFile::link("link.mov", dir.filePath("link2.mov")));
    ASSERT_TRUE(QFile::link("real/new.mov", dir.filePath("dangling.mov")));
    EXPECT_EQ(write(dir.filePath("link2.mov")), "");
    EXPECT_EQ(write(dir.filePath("dangling.mov")), "");
    for (const char* link : {"link.mov", "link2.mov", "dangling.mov"})
      EXPECT_TRUE(QFileInfo(dir.filePath(link)).isSymLink()) << link;
    EXPECT_EQ(QFileInfo(dir.filePath("link2.mov")).symLinkTarget(), dir.filePath("link.mov"));
    EXPECT_EQ(ReadAllFrames(dir.filePath("real/target.mov")).size(), 2u);
    EXPECT_EQ(ReadAllFrames(dir.filePath("real/new.mov")).size(), 2u);
    EXPECT_EQ(EntriesOf(dir.filePath("real")), (QStringList{"new.mov", "target.mov"}));
    EXPECT_EQ(EntriesOf(dir.path()), (QStringList{"dangling.mov", "kept.mov", "link.mov", "link2.mov", "real"}));
  }
  AllowUnnamedMovieFiles(true);
}

// A writer thread that cannot be started (the process may make no more) is
// reported like any other failure, and nothing is left. The limit on a user's
// processes does not bind root, so there the child runs as an ordinary user.
TEST(MovieWrite, AWriterThreadThatCannotStartIsReported) {
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
  const QString path = dir.filePath("nothread.mov");
  const QString error = QString::fromUtf8(InChildProcess([&] {
    QByteArray text;
    const rlimit none{1, 1};
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      text = "cannot leave root";
    } else if (setrlimit(RLIMIT_NPROC, &none) != 0) {
      text = "cannot limit the processes";
    } else {
      try {
        EditableMoviePtr movie = CreateMovieAt(path);
        QTVideoTrackPtr track = movie->NewVideoTrack(200, 200, 1.0);  // frames large enough for the thread
        track->TimeScale = 8;
        text = track->AppendPicture(Picture(RandomImage(200, 200, 1))) ? "appended" : movie->Finish().toUtf8();
      } catch (const std::exception& e) {
        text = QByteArray("exception: ") + e.what();
      }
    }
    return text;
  }));
  EXPECT_TRUE(error.startsWith("Movie not written: Resource temporarily unavailable (its writer thread did not start)"))
      << error.toStdString();
  EXPECT_EQ(error.count(path), 1) << error.toStdString();
  EXPECT_EQ(EntriesOf(dir.path()), QStringList{});
}

TEST(MovieWrite, SettingsAreTakenAtTheFirstPicture) {
  QTemporaryDir dir;
  const QString path = dir.filePath("settings.mov");
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(8, 8, 1.0);
    track->TimeScale = 600;
    track->CompressionType = "png ";
    ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(8, 8, 1))));
    track->CompressionType = "jpeg";  // too late: the track is already PNG
    track->TimeScale = 8;
    ASSERT_TRUE(track->AppendPicture(Picture(RandomImage(8, 8, 2))));
    EXPECT_FALSE(movie->NewVideoTrack(8, 8, 1.0)) << "a movie has one video track";
  }
  const Probe probe = ProbeMovie(path);
  EXPECT_EQ(probe.codecTag, "png ");
  EXPECT_EQ(probe.timeBase, "1/600");
  EXPECT_EQ(probe.durations, (std::vector<int64_t>{1, 1}));
}

TEST(MovieWrite, PictureOfAnotherSizeIsScaledToTheTrack) {
  QTemporaryDir dir;
  const QString path = dir.filePath("scaled.mov");
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    QTVideoTrackPtr track = movie->NewVideoTrack(20, 10, 1.0);
    track->TimeScale = 8;
    QImage big(40, 20, QImage::Format_RGB32);
    big.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(track->AppendPicture(Picture(big)));
  }
  const std::vector<QImage> back = ReadAllFrames(path);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].size(), QSize(20, 10));
  EXPECT_EQ(back[0].pixel(7, 3) & 0xffffff, 0x0ac81eu);
}

TEST(MovieWrite, UnwritableFolderIsReportedAndLeavesNothing) {
  QTemporaryDir dir;
  const QString blocker = dir.filePath("file.txt");
  {
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  // A regular file cannot hold a movie, even for root.
  const QString path = blocker + "/movie.mov";
  {
    EditableMoviePtr movie = CreateMovieAt(path);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(movie->Error().isEmpty());
    EXPECT_TRUE(movie->Error().contains(path)) << movie->Error().toStdString();
    QTVideoTrackPtr track = movie->NewVideoTrack(16, 16, 1.0);
    ASSERT_TRUE(track);
    track->TimeScale = 8;
    EXPECT_FALSE(track->AppendPicture(Picture(RandomImage(16, 16, 1))));
    EXPECT_FALSE(track->Error().isEmpty());
    EXPECT_EQ(track->FrameCount(), 0);
  }
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"file.txt"});

  // A folder where the movie should go: said at once, and the folder stays.
  const QString folderInTheWay = dir.filePath("taken.mov");
  ASSERT_TRUE(QDir().mkdir(folderInTheWay));
  {
    EditableMoviePtr movie = CreateMovieAt(folderInTheWay);
    EXPECT_TRUE(movie->Error().contains(folderInTheWay)) << movie->Error().toStdString();
  }
  EXPECT_TRUE(QFileInfo(folderInTheWay).isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"file.txt", "taken.mov"}));

  // A folder that does not exist at all.
  const QString missing = dir.filePath("no/such/folder/movie.mov");
  EditableMoviePtr movie = CreateMovieAt(missing);
  EXPECT_TRUE(movie->Error().contains(missing));
  movie.reset();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

// A frame size no encoder takes (and whose raw rows would overflow the row
// arithmetic) is refused when the track is made, before anything is allocated.
TEST(MovieWrite, FrameSizeBeyondFfmpegsLimitIsReportedAtOnce) {
  QTemporaryDir dir;
  const QString path = dir.filePath("huge.mov");
  for (const QSize size : {QSize(100000, 100000), QSize(2000000000, 1), QSize(1, 2000000000), QSize(70000, 8)}) {
    EditableMoviePtr movie = CreateMovieAt(path);
    ASSERT_TRUE(movie->Error().isEmpty());
    QTVideoTrackPtr track = movie->NewVideoTrack(size.width(), size.height(), 1.0);
    ASSERT_TRUE(track);
    EXPECT_TRUE(movie->Error().contains("too large")) << movie->Error().toStdString();
    track->TimeScale = 8;
    EXPECT_FALSE(track->AppendPicture(Picture(RandomImage(16, 16, 1))));
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
}

// A disk that fills up while the movie is written, made with a file size
// limit: the failure is reported by an append soon after the frame that hit
// it (frames are written while the next are drawn), the message names that
// frame, and the partial file is removed rather than named over the target.
TEST(MovieWrite, WriteErrorPartWayIsReportedAndLeavesNothing) {
  // Random pixels: a PNG frame is as large as a raw one. Frames of 8 x 8 are
  // written by the caller and gather in the I/O buffer: the failure shows
  // when the buffer is written out.
  struct Case {
    QString type;
    int side, frames;
  };
  for (const Case& c : {Case{"raw ", 200, 40}, Case{"png ", 200, 40}, Case{"raw ", 8, 20000}}) {
    const QString type = c.type;
    SCOPED_TRACE(type.toStdString() + " " + std::to_string(c.side));
    QTemporaryDir dir;
    const QString path = dir.filePath("full.mov");
    {
      QFile old(path);
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("previous");
    }
    int appended = 0;
    bool failed = false;
    QString error;
    {
      FileSizeLimit limit(300 * 1024);
      EditableMoviePtr movie = CreateMovieAt(path);
      QTVideoTrackPtr track = movie->NewVideoTrack(c.side, c.side, 1.0);  // 200: 120 KB a frame
      track->TimeScale = 8;
      track->CompressionType = type;
      const QImage small = RandomImage(8, 8, 1);
      for (int i = 0; i < c.frames && !failed; ++i) {
        if (track->AppendPicture(Picture(c.side == 8 ? small : RandomImage(200, 200, i))))
          ++appended;
        else
          failed = true;
      }
      error = movie->Error();
      EXPECT_FALSE(track->AppendPicture(Picture(RandomImage(200, 200, 9)))) << "a failed movie stays failed";
      EXPECT_EQ(movie->Finish(), error);
    }
    EXPECT_TRUE(failed);
    EXPECT_GE(appended, 2);
    // A threaded encoder hands its packets out some frames later.
    if (type == "raw " && c.side == 200) {
      EXPECT_LE(appended, 6);
      EXPECT_TRUE(error.contains("frame 3")) << error.toStdString();
    }
    EXPECT_TRUE(error.contains(path) && error.contains("File too large")) << error.toStdString();
    EXPECT_EQ(EntriesOf(dir.path()), QStringList{"full.mov"});
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "previous");
  }
}

TEST(MovieWrite, AvailableCodecsListTheLosslessOnesFirst) {
  const QList<CodecChoice> codecs = AvailableCodecs();
  QStringList types;
  for (const CodecChoice& c : codecs) types << c.type;
  ASSERT_GE(types.size(), 4);
  EXPECT_EQ(types.mid(0, 4), (QStringList{"raw ", "rle ", "png ", "jpeg"}));
  EXPECT_EQ(codecs[0].label, "None");
  EXPECT_EQ(codecs[1].label, "Animation");
  EXPECT_TRUE(codecs[0].lossless && codecs[1].lossless && codecs[2].lossless);
  EXPECT_FALSE(codecs[3].lossless);
}

}  // namespace

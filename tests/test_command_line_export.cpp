// The command line's export, run as a child process of the built program with
// no display, and compared with what a freshly started window makes of the
// same project loaded by File > "Open..": movies decoded frame by frame, PICT
// files byte for byte, the loading messages line by line. Then its statuses,
// what it leaves behind, two exports at once, Ctrl+C and SIGTERM, and the
// progress line on a terminal.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <optional>

#include <csignal>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/text.h"
#include "movie/movie.h"
#include "tests/support/movie_support.h"
#include "tests/support/window_fixture.h"

namespace {

const QString kLabel = "colori componenti rgb di oggetto e sfondo ";

// A project file's values, written as the lines of the file; texts so that a
// test can store what no window would (out of range, not numbers).
struct ProjectSpec {
  const char* name;
  QString object = "0";
  QString text{}, font{}, bold = "false", italic = "false", underline = "false";
  QString picture{}, background{};  // names of pictures the test makes, or absolute paths
  QStringList objectColor = {"0", "0", "128"}, backgroundColor = {"102", "204", "255"};
  QStringList fields = {"18", "18", "18", "400", "200", "3", "0", "360"};
  QString motion = "0", mode = "0";
  QList<QPointF> path{};  // the points of a drawn path
  std::optional<CompressionSettings> codec{};  // nullopt: the dialog's defaults (cancelled)
  int keepLines = -1;   // cut the file after this many lines
};

void PrintTo(const ProjectSpec& spec, std::ostream* os) { *os << spec.name; }

CompressionSettings Codec(const char* type, int depth = 24, double quality = 100) { return {type, depth, quality}; }

QString CodecName(const QString& type) {
  if (type == "raw ") return "none";
  if (type == "rle ") return "animation";
  if (type == "png ") return "png";
  if (type == "jpeg") return "photo-jpeg";
  return "h264";
}

// The environment of a machine without a screen: no display, no platform
// chosen, no runtime folder; the Trash and cache in the test's own folder.
QProcessEnvironment Headless(const QString& root) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"}) env.remove(name);
  env.insert("XDG_DATA_HOME", root + "/cli-data");
  env.insert("XDG_CACHE_HOME", root + "/cli-cache");
  return env;
}

struct Outcome {
  int status = -1;
  QByteArray errors;
  QStringList ErrorLines() const {
    QStringList lines = QString::fromLocal8Bit(errors).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
  }
};

QStringList Listing(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The decoded frames' checksums, without the header that names the file.
QStringList FrameChecksums(const QString& movie) {
  QString errors;
  const QByteArray out = movietest::RunTool("ffmpeg", {"-v", "error", "-i", movie, "-f", "framemd5", "-"}, &errors);
  QStringList lines;
  for (const QString& line : QString::fromLatin1(out).split('\n'))
    if (!line.isEmpty() && !line.startsWith('#')) lines << line;
  if (out.isNull()) lines << "ffmpeg failed: " + errors;
  return lines;
}

class CommandLineExportTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    // The program as a copy of its own in a folder of the test's, so that
    // whatever it made beside itself (a scratch folder) would show.
    QDir(Root()).mkpath("bin");
    program_ = Root() + "/bin/velostrip";
    if (::link(VELOSTRIP_PROGRAM, program_.toLocal8Bit().constData()) != 0) {
      ASSERT_TRUE(QFile::copy(VELOSTRIP_PROGRAM, program_));
    }
    QDir(Root()).mkpath("out");
  }

  void TearDown() override {
    // Nothing beside the program, nothing in its cache or its Trash.
    EXPECT_EQ(Listing(Root() + "/bin"), QStringList{"velostrip"});
    EXPECT_FALSE(QFileInfo::exists(Root() + "/cli-cache"));
    EXPECT_FALSE(QFileInfo::exists(Root() + "/cli-data"));
    WindowTest::TearDown();
  }

  QString Out(const QString& name) const { return Root() + "/out/" + name; }

  Outcome Velostrip(const QStringList& arguments, long fileSizeLimit = 0) {
    QProcess process;
    process.setProcessEnvironment(Headless(Root()));
    process.setWorkingDirectory(Root());
    if (fileSizeLimit > 0)
      process.setChildProcessModifier([fileSizeLimit] {
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      });
    process.start(program_, arguments);
    Outcome outcome;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return outcome;
    outcome.status = process.exitCode();
    outcome.errors = process.readAllStandardError();
    return outcome;
  }

  // A picture file in the test's folder: a gradient with a white band, and
  // with alpha, so that transparency and translucency both count.
  QString MakePicture(const QString& name, int width, int height) {
    QImage img(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        img.setPixel(x, y, y < height / 4 ? qRgba(255, 255, 255, 255)
                                          : qRgba(x * 255 / width, y * 255 / height, 90, 128 + (x + y) % 128));
    const QString path = Root() + "/" + name;
    EXPECT_TRUE(img.save(path, "PNG"));
    return path;
  }

  QString PicturePath(const QString& name) {
    if (name.isEmpty() || QDir::isAbsolutePath(name)) return name;
    if (!QFileInfo::exists(Root() + "/" + name)) {
      // "WxH.png" names the size.
      const QStringList size = QFileInfo(name).baseName().split('x');
      MakePicture(name, size.value(0).toInt(), size.value(1).toInt());
    }
    return Root() + "/" + name;
  }

  QString WriteProject(const ProjectSpec& p) {
    QStringList lines;
    lines << p.object << p.text << p.font << p.bold << p.italic << p.underline << PicturePath(p.picture)
          << PicturePath(p.background);
    const char* colours[3] = {"RED", "GREEN", "BLUE"};
    for (int i = 0; i < 3; ++i) lines << p.objectColor[i] + kLabel + colours[i];
    for (int i = 0; i < 3; ++i) lines << p.backgroundColor[i] + kLabel + colours[i];
    lines << p.fields << p.motion << p.mode;
    // The path table: the points, their extent, the polyline's length.
    lines << Str(static_cast<int>(p.path.size()));
    double maxX = 0, maxY = 0, length = 0;
    for (int i = 0; i < p.path.size(); ++i) {
      lines << Str(p.path[i].x()) << Str(p.path[i].y());
      maxX = std::max(maxX, p.path[i].x());
      maxY = std::max(maxY, p.path[i].y());
      if (i > 0) length += std::hypot(p.path[i].x() - p.path[i - 1].x(), p.path[i].y() - p.path[i - 1].y());
    }
    lines << Str(maxX) << Str(maxY) << Str(length) << "0";
    if (p.keepLines >= 0) lines = lines.mid(0, p.keepLines);
    const QString path = Root() + "/" + p.name + ".txt";
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write((lines.join('\n') + '\n').toUtf8());
    return path;
  }

  // A freshly started window loads the project as File > "Open.." does;
  // returns what it wrote into its log meanwhile, message by message.
  QStringList LoadInFreshWindow(const QString& project) {
    if (Window1* old = Window1::InstanceIfOpen()) delete old;
    StartProgram();
    QStringList messages;
    EditFieldHook hook(w_, &messages);
    app_->LoadProject(GetFolderItem(project));
    return messages;
  }

  // Records the log field's messages while it lives.
  struct EditFieldHook {
    EditFieldHook(Window1* w, QStringList* messages) : w_(w), saved_(w->LogEditField->TextChange) {
      w->LogEditField->TextChange = [w, messages, this](int i) {
        *messages << w->LogEditField->Text();
        if (saved_) saved_(i);
      };
    }
    ~EditFieldHook() { w_->LogEditField->TextChange = saved_; }
    Window1* w_;
    std::function<void(int)> saved_;
  };

  QStringList Prefixed(const QStringList& messages) {
    QStringList lines;
    for (const QString& m : messages) lines << "velostrip: " + m;
    return lines;
  }

  QString program_;
};

// --- Frame for frame --------------------------------------------------------

class SameMovieAsTheWindow : public CommandLineExportTest, public ::testing::WithParamInterface<ProjectSpec> {};

TEST_P(SameMovieAsTheWindow, DecodedFrameByFrame) {
  const ProjectSpec& spec = GetParam();
  if (spec.codec && spec.codec->type == "avc1") {
    bool h264 = false;
    for (const CodecChoice& c : AvailableCodecs()) h264 = h264 || c.type == "avc1";
    if (!h264) GTEST_SKIP() << "no H.264 encoder in this build";
  }
  const QString project = WriteProject(spec);

  // The window: started afresh, the project loaded, "Export QuickTime Movie..".
  const QStringList loadMessages = LoadInFreshWindow(project);
  dialogs_->saveAnswers.push_back(GetFolderItem(Out("window.mov")));
  dialogs_->compressionAnswers.push_back(spec.codec);
  w_->PushButton2_Action(-1);
  ASSERT_TRUE(QFileInfo::exists(Out("window.mov"))) << w_->LogEditField->Text().toStdString();

  QStringList arguments = {project, "--export", Out("cli.mov")};
  if (spec.codec) {
    arguments << "--codec" << CodecName(spec.codec->type);
    if (spec.codec->type == "raw " || spec.codec->type == "rle ") arguments << "--depth" << Str(spec.codec->depth);
    if (spec.codec->type == "jpeg" || spec.codec->type == "avc1")
      arguments << "--quality" << Str(spec.codec->quality);
  }
  const Outcome cli = Velostrip(arguments);
  EXPECT_EQ(cli.status, 0) << cli.errors.toStdString();
  // What the window wrote into its log while loading, and nothing else.
  EXPECT_EQ(cli.ErrorLines(), Prefixed(loadMessages));

  const QStringList expected = FrameChecksums(Out("window.mov"));
  EXPECT_FALSE(expected.isEmpty());
  EXPECT_EQ(FrameChecksums(Out("cli.mov")), expected);
  EXPECT_EQ(movietest::ProbeMovie(Out("cli.mov")).codecTag, movietest::ProbeMovie(Out("window.mov")).codecTag);
  EXPECT_EQ(Listing(Root() + "/out"), (QStringList{"cli.mov", "window.mov"}));
}

std::vector<ProjectSpec> Projects() {
  std::vector<ProjectSpec> p;
  auto add = [&p](ProjectSpec s) { p.push_back(std::move(s)); };
  add({.name = "FilledOvalAsSaved"});
  add({.name = "FilledRectLeftwardsInCopy", .object = "1", .motion = "1", .mode = "1", .codec = Codec("rle ")});
  add({.name = "OvalOutlineRoundClockwise",
       .object = "2",
       .fields = {"30", "20", "24", "320", "240", "5", "30", "270"},
       .motion = "2",
       .codec = Codec("rle ", 32)});
  add({.name = "RectOutlineRoundCounterInCopyClear",
       .object = "3",
       .objectColor = {"200", "30", "10"},
       .motion = "3",
       .mode = "2",
       .codec = Codec("png ")});
  add({.name = "TextSpiralOutSerifBold",
       .object = "4",
       .text = "Ciao!",
       .font = "Liberation Serif",
       .bold = "true",
       .fields = {"18", "30", "8", "300", "200", "3", "0", "720"},
       .motion = "4",
       .codec = Codec("jpeg", 24, 60)});
  add({.name = "TextDefaultFontItalicUnderlined",
       .object = "4",
       .text = "Wq",
       .italic = "true",
       .underline = "true",
       .fields = {"18", "40", "6", "200", "120", "3", "0", "360"},
       .motion = "5",
       .codec = Codec("raw ", 32)});
  add({.name = "PictureOpaqueSpiralIn", .object = "5", .picture = "40x30.png", .motion = "6", .codec = Codec("png ")});
  add({.name = "PictureTransparentOverABackgroundInCopyClear",
       .object = "6",
       .picture = "40x30.png",
       .background = "300x150.png",
       .motion = "7",
       .mode = "2"});
  add({.name = "RoundRectAlongADrawnPath",
       .object = "7",
       .fields = {"20", "16", "20", "300", "200", "3", "0", "360"},
       .motion = "8",
       .path = {{10, 10}, {250, 30}, {60, 170}, {280, 180}},
       .codec = Codec("avc1", 24, 70)});
  add({.name = "RoundRectOutlineInCopy", .object = "8", .motion = "0", .mode = "1", .codec = Codec("jpeg", 24, 100)});
  add({.name = "CircleInSquareWithABorder",
       .object = "9",
       .fields = {"24", "24", "18", "400", "200", "4", "0", "360"},
       .motion = "1",
       .codec = Codec("rle ")});
  // Values the window sets back, with a message each, as it writes them: the
  // round motion's angle only once the motion is chosen.
  add({.name = "ValuesOutOfRange",
       .object = "12",
       .objectColor = {"300", "-4", "7"},
       .fields = {"100", "0x", "12ab", "3000", "1x8", "0", "400", "720"},
       .motion = "2",
       .mode = "5"});
  add({.name = "TextObjectSquareAndLimited",
       .object = "4",
       .text = "AB",
       .font = "Liberation Sans",
       .fields = {"10", "120", "3", "200", "150", "12", "-5", "0"},
       .motion = "0"});
  add({.name = "BackgroundBeyondTheMovieLimit", .background = "2100x90.png", .motion = "0", .codec = Codec("png ")});
  add({.name = "MissingPictureFallsBackToTheOval", .object = "5", .picture = "/nonexistent/object.png", .motion = "3"});
  add({.name = "PathOfTwoPointsFallsBack", .motion = "8", .path = {{0, 0}, {50, 50}}});
  add({.name = "FileEndingEarly", .object = "3", .keepLines = 17});
  add({.name = "OneFrame", .fields = {"18", "18", "1", "400", "200", "3", "0", "360"}, .motion = "2"});
  return p;
}

INSTANTIATE_TEST_SUITE_P(Projects, SameMovieAsTheWindow, ::testing::ValuesIn(Projects()),
                         [](const ::testing::TestParamInfo<ProjectSpec>& info) { return info.param.name; });

// --- PICT frames ---------------------------------------------------------------

TEST_F(CommandLineExportTest, PictFramesAreTheWindowsByteForByte) {
  const ProjectSpec specs[] = {
      {.name = "Text",
       .object = "4",
       .text = "xyz",
       .font = "Liberation Serif",
       .fields = {"18", "24", "9", "120", "80", "3", "0", "360"},
       .motion = "2"},
      {.name = "Picture",
       .object = "6",
       .picture = "30x30.png",
       .background = "160x90.png",
       .motion = "4",
       .mode = "2"},
  };
  for (const ProjectSpec& spec : specs) {
    SCOPED_TRACE(spec.name);
    const QString project = WriteProject(spec);
    const QString windowFolder = Out(QString("window-") + spec.name), cliFolder = Out(QString("cli-") + spec.name);
    QDir().mkpath(windowFolder);
    LoadInFreshWindow(project);
    dialogs_->folderAnswers.push_back(GetFolderItem(windowFolder));
    w_->PushButton4_Action(-1);

    // The folder is made when missing.
    const Outcome cli = Velostrip({project, "--export-frames", cliFolder});
    EXPECT_EQ(cli.status, 0) << cli.errors.toStdString();
    EXPECT_TRUE(cli.errors.isEmpty()) << cli.errors.toStdString();
    const QStringList names = Listing(windowFolder);
    EXPECT_GE(names.size(), 9);
    ASSERT_EQ(Listing(cliFolder), names);
    for (const QString& name : names)
      EXPECT_EQ(ReadFile(cliFolder + "/" + name), ReadFile(windowFolder + "/" + name)) << name.toStdString();
  }
}

// --- Statuses, messages, and nothing left behind -------------------------------

TEST_F(CommandLineExportTest, EachFailureHasItsStatusAndReasonAndLeavesNothing) {
  const QString project = WriteProject({.name = "plain"});
  const QString old = Out("old.mov");
  {
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("the movie that was there");
  }
  struct Case {
    QStringList arguments;
    int status;
    QString message;  // a part of the one line expected
    long fileSizeLimit = 0;
  };
  const QString notProject = Root() + "/notes.txt";
  {
    QFile f(notProject);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("shopping list\nmilk\n");
  }
  // Only a movie, or nothing, is replaced by the movie: not the project nor
  // one of its pictures (under any name), not a pipe or a device.
  const QString withPicture = WriteProject({.name = "pictured", .background = "160x90.png"});
  const QString fifo = Root() + "/pipe", pictureLink = Root() + "/link.mov";
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(Root() + "/160x90.png", pictureLink));
  const QByteArray picture = ReadFile(Root() + "/160x90.png"), projectBytes = ReadFile(withPicture);
  const Case cases[] = {
      {{withPicture, "--export", withPicture, "--format", "mov"}, 1, "Movie not written: it is the project being rendered - "},
      {{withPicture, "--export", pictureLink}, 1, "Movie not written: it is a picture of the project - "},
      {{project, "--export", fifo, "--format", "mov"}, 1, "Movie not written: it is a pipe, not a file - " + fifo},
      {{project, "--export", "/dev/null", "--format", "mov"}, 1, "Movie not written: it is a device, not a file - /dev/null"},
      {{Root() + "/missing.txt", "--export", Out("a.mov")}, 1, "\"missing.txt\" could not be opened (no such file)"},
      {{notProject, "--export", Out("a.mov")}, 1, "\"notes.txt\" is not a Velostrip project"},
      {{project, "--export", Root() + "/no/such/folder/a.mov"}, 1, "Movie not written: No such file or directory"},
      {{project, "--export", Root() + "/out"}, 1, "a folder of that name is in the way"},
      {{project, "--export-frames", Root() + "/no/such/frames"}, 1, "cannot create the folder"},
      // A disk that fills up: the movie that was there stays as it was.
      {{project, "--export", old}, 1, "File too large", 64 * 1024},
      {{project, "--export", Out("a.mov"), "--codec", "theora"},
       2,
       "Unknown codec 'theora': this build has none, animation, png"},
      {{project, "--export", Out("a.mov"), "--codec", "png", "--depth", "32"},
       2,
       "--depth applies to none and animation"},
      {{project, "--export", Out("a.mov"), "--export-frames", Out("f")}, 2, "cannot be given together"},
      {{"--export", Out("a.mov")}, 2, "Which project?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Outcome outcome = Velostrip(c.arguments, c.fileSizeLimit);
    EXPECT_EQ(outcome.status, c.status);
    const QStringList lines = outcome.ErrorLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].startsWith("velostrip: ") && lines[0].contains(c.message)) << outcome.errors.toStdString();
    for (const QString& line : lines) EXPECT_TRUE(line.startsWith("velostrip: ")) << line.toStdString();
    EXPECT_EQ(Listing(Root() + "/out"), QStringList{"old.mov"});
    EXPECT_EQ(ReadFile(old), "the movie that was there");
  }
  EXPECT_FALSE(QFileInfo::exists(Root() + "/no"));
  EXPECT_EQ(ReadFile(withPicture), projectBytes);
  EXPECT_EQ(ReadFile(Root() + "/160x90.png"), picture);
  struct stat st {};
  EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));

  // A frame that cannot be written (a folder in its place): the folder is
  // left as it was, the user's files of the frames' names with their content.
  const QString frames = Out("frames");
  QDir().mkpath(frames + "/frame005");
  QFile::copy(project, frames + "/notes.txt");
  for (const char* name : {"frame001", "frame004"}) QFile::copy(project, frames + "/" + name);
  const Outcome outcome = Velostrip({project, "--export-frames", frames});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.errors.startsWith("velostrip: Frame not saved: ") &&
              outcome.errors.trimmed().endsWith(" - " + (frames + "/frame005").toLocal8Bit()))
      << outcome.errors.toStdString();
  EXPECT_EQ(Listing(frames), (QStringList{"frame001", "frame004", "frame005", "notes.txt"}));
  for (const char* name : {"frame001", "frame004"}) EXPECT_EQ(ReadFile(frames + "/" + name), ReadFile(project));
}

// --- Side by side, with no display --------------------------------------------

TEST_F(CommandLineExportTest, TwoExportsAtOnceWithNoDisplay) {
  const QString project = WriteProject({.name = "text",
                                        .object = "4",
                                        .text = "side by side",
                                        .fields = {"18", "24", "12", "300", "100", "3", "0", "360"}});
  QProcess first, second;
  first.setProcessEnvironment(Headless(Root()));
  // Set but empty is no platform either.
  QProcessEnvironment empty = Headless(Root());
  empty.insert("QT_QPA_PLATFORM", "");
  second.setProcessEnvironment(empty);
  first.start(program_, {project, "--export", Out("one.mov"), "--codec", "png"});
  second.start(program_, {project, "--export", Out("two.mov"), "--codec", "png"});
  for (QProcess* p : {&first, &second}) {
    ASSERT_TRUE(p->waitForFinished(120000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardError().isEmpty());  // silent, Qt's own warnings included
  }
  const QStringList frames = FrameChecksums(Out("one.mov"));
  EXPECT_EQ(frames.size(), 12);
  EXPECT_EQ(FrameChecksums(Out("two.mov")), frames);

  // The random motion is not the same twice, but it renders.
  const QString random = WriteProject({.name = "random", .motion = "9", .mode = "2"});
  const Outcome outcome = Velostrip({random, "--export", Out("random.mov")});
  EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
  EXPECT_EQ(FrameChecksums(Out("random.mov")).size(), 18);  // "Copy Clear" is not allowed with it
}

// --- On a terminal: the progress line, Ctrl+C and SIGTERM ----------------------

// The program on a pseudo-terminal: its output until it ends, with the
// signal stop sent once the output so far is ready.
struct TerminalRun {
  int status = -1;  // exit status; -1 when it ended by a signal
  QByteArray output;
};

TerminalRun RunOnTerminal(const QString& program, const QStringList& arguments, const QString& root,
                          const std::function<bool(const QByteArray&)>& ready = nullptr, int stop = 0) {
  std::vector<QByteArray> storage;
  storage.push_back(program.toLocal8Bit());
  for (const QString& a : arguments) storage.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<QByteArray> envStorage;
  for (const QString& e : Headless(root).toStringList()) envStorage.push_back(e.toLocal8Bit());
  std::vector<char*> envp;
  for (QByteArray& e : envStorage) envp.push_back(e.data());
  envp.push_back(nullptr);

  TerminalRun run;
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) return run;
  if (child == 0) {
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  bool sent = false;
  char buffer[4096];
  for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) {
    run.output.append(buffer, n);
    if (stop && !sent && ready && ready(run.output)) {
      ::kill(child, stop);
      sent = true;
    }
  }
  ::close(master);
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

TEST_F(CommandLineExportTest, OnATerminalOneProgressLineEndedByOneNewline) {
  const QString project = WriteProject({.name = "plain"});
  const TerminalRun run = RunOnTerminal(program_, {project, "--export", Out("a.mov")}, Root());
  EXPECT_EQ(run.status, 0);
  // Rewritten in place with carriage returns; the terminal turns the one
  // newline into "\r\n".
  EXPECT_TRUE(run.output.endsWith("velostrip: 18 of 18 frames (100%)\r\n")) << run.output.toStdString();
  EXPECT_EQ(run.output.count('\n'), 1);
  for (const QByteArray& part : run.output.split('\r'))
    if (!part.isEmpty() && part != "\n") {
      EXPECT_TRUE(part.startsWith("velostrip: ")) << part.toStdString();
    }
  EXPECT_EQ(FrameChecksums(Out("a.mov")).size(), 18);
}

TEST_F(CommandLineExportTest, CtrlCAndSigtermStopAtTheNextFrameAndLeaveNothing) {
  // Far too many frames to finish before the signal comes.
  const QString project = WriteProject({.name = "long", .fields = {"18", "18", "100000", "64", "48", "3", "0", "360"}});
  const QString old = Out("old.mov");
  {
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("the movie that was there");
  }
  // Once it shows its progress, and then once it has rendered frames.
  auto started = [](const QByteArray& out) { return out.contains(" of 100000 frames"); };
  auto rendering = [](const QByteArray& out) { return out.count("velostrip: ") >= 2; };
  TerminalRun run = RunOnTerminal(program_, {project, "--export", old, "--codec", "png"}, Root(), rendering, SIGINT);
  EXPECT_EQ(run.status, 130) << run.output.toStdString();
  EXPECT_TRUE(run.output.endsWith("\r\nvelostrip: Stopped: the movie was not written.\r\n"))
      << run.output.toStdString();
  EXPECT_EQ(Listing(Root() + "/out"), QStringList{"old.mov"});
  EXPECT_EQ(ReadFile(old), "the movie that was there");

  // Frames: nothing of them stays, nor the folder the run made; a folder
  // that was there keeps what it held, the user's frames with their content.
  run = RunOnTerminal(program_, {project, "--export-frames", Out("new")}, Root(), started, SIGTERM);
  EXPECT_EQ(run.status, 143) << run.output.toStdString();
  QDir().mkpath(Out("kept"));
  const QStringList mine = {"frame000001", "frame000002", "frame000500", "notes.txt"};
  for (const QString& name : mine) QFile::copy(project, Out("kept/" + name));
  run = RunOnTerminal(program_, {project, "--export-frames", Out("kept")}, Root(), rendering, SIGINT);
  EXPECT_EQ(run.status, 130) << run.output.toStdString();
  EXPECT_TRUE(run.output.endsWith("velostrip: Stopped: the frames were not written.\r\n"));
  // A closed terminal stops it as Ctrl+C does.
  run = RunOnTerminal(program_, {project, "--export-frames", Out("hup")}, Root(), rendering, SIGHUP);
  EXPECT_EQ(run.status, 129) << run.output.toStdString();
  EXPECT_EQ(Listing(Root() + "/out"), (QStringList{"kept", "old.mov"}));
  EXPECT_EQ(Listing(Out("kept")), mine);
  for (const QString& name : mine) EXPECT_EQ(ReadFile(Out("kept/" + name)), ReadFile(project));
}

// --- Names as the system has them, and projects from a pipe --------------------

TEST_F(CommandLineExportTest, NamesThatAreNotUtf8AndProjectsFromAPipe) {
  const QString project = WriteProject({.name = "plain", .object = "1", .motion = "3"});
  ASSERT_EQ(Velostrip({project, "--export", Out("plain.mov")}).status, 0);
  const QStringList expected = FrameChecksums(Out("plain.mov"));
  const QByteArray root = Root().toLocal8Bit();
  ASSERT_EQ(::link(project.toLocal8Bit().constData(), root + "/out/p\xe9.txt"), 0);

  // Through bash, which hands the bytes over as they are.
  const QStringList scripts = {
      R"(exec "$0" "out/p$(printf '\351').txt" --export "out/m$(printf '\351').mov")",
      R"(exec "$0" <(cat "$1") --export out/pipe.mov)",
      R"(cat "$1" | exec "$0" /dev/stdin --export out/stdin.mov)",
  };
  // Frames, whose files Qt names, are refused such a folder rather than put
  // into another.
  QProcess frames;
  frames.setProcessEnvironment(Headless(Root()));
  frames.setWorkingDirectory(Root());
  frames.start("bash", {"-c", R"sh(exec "$0" "$1" --export-frames "out/f$(printf '\351')")sh", program_, project});
  ASSERT_TRUE(frames.waitForFinished(120000));
  EXPECT_EQ(frames.exitCode(), 1);
  EXPECT_TRUE(frames.readAllStandardError().contains("valid UTF-8"));
  EXPECT_NE(::access(root + "/out/f\xe9", F_OK), 0);
  EXPECT_FALSE(QFileInfo::exists(Out("f\uFFFD")));
  for (const QString& script : scripts) {
    QProcess bash;
    bash.setProcessEnvironment(Headless(Root()));
    bash.setWorkingDirectory(Root());
    bash.start("bash", {"-c", script, program_, project});
    ASSERT_TRUE(bash.waitForFinished(120000));
    EXPECT_EQ(bash.exitCode(), 0) << script.toStdString() << ": " << bash.readAllStandardError().toStdString();
  }
  // The movie under exactly the name asked for.
  ASSERT_EQ(::rename(root + "/out/m\xe9.mov", root + "/out/bytes.mov"), 0);
  for (const char* name : {"bytes.mov", "pipe.mov", "stdin.mov"}) EXPECT_EQ(FrameChecksums(Out(name)), expected) << name;
  ::unlink(root + "/out/p\xe9.txt");
}

}  // namespace

// How the program starts: its command line, the scratch folder of an
// installed copy, and one window per scratch folder with later starts handed
// to it (real processes of the built program).
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <csignal>
#include <unistd.h>

#include "app/application.h"
#include "app/command_line.h"
#include "app/desktop_id.h"
#include "app/scratch_folder.h"
#include "framework/native_path.h"
#include "framework/quit_signals.h"
#include "tests/support/window_fixture.h"

namespace {

CommandLine Parse(const QStringList& arguments) {
  return ParseCommandLine(QStringList{"/usr/bin/velostrip"} + arguments, "/home/u/work");
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}

// A project whose movie is `width` x `height`: its previews say it was loaded.
QByteArray Project(int width, int height) {
  QByteArray text = "1\n\nArial\nfalse\nfalse\nfalse\n\n\n";
  for (int c : {0, 0, 128, 102, 204, 255}) text += QByteArray::number(c) + "\n";
  for (int v : {20, 20, 4}) text += QByteArray::number(v) + "\n";
  text += QByteArray::number(width) + "\n" + QByteArray::number(height) + "\n3\n0\n360\n0\n0\n0\n0\n0\n0\n0\n";
  return text;
}

}  // namespace

TEST(CommandLineTest, AnswersMistakesAndKeepsQtsOwnOptions) {
  EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::Help);
  EXPECT_TRUE(Parse({"--help"}).text.startsWith("Usage: velostrip [options] [PROJECT]\n"));
  EXPECT_EQ(Parse({"-v"}).text, QString("velostrip %1\n").arg(VELOSTRIP_VERSION));

  for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"a.txt", "b.txt"}, QStringList{"-platform"},
                                   QStringList{"p", "--export", "m.mov", "--export-frames", "f"},
                                   QStringList{"--export", "m.mov"}, QStringList{"p", "--codec", "png"},
                                   QStringList{"p", "--export", "m.mov", "--codec", "png", "--depth", "32"},
                                   QStringList{"p", "--export", "m.mov", "--codec", "photo-jpeg", "--quality", "101"},
                                   QStringList{"p", "--export", "m.mov", "--codec", "zip"}}) {
    const CommandLine line = Parse(wrong);
    EXPECT_EQ(line.action, CommandLine::Action::UsageError) << wrong.join(' ').toStdString();
    for (const QString& l : line.text.split('\n', Qt::SkipEmptyParts)) EXPECT_TRUE(l.startsWith("velostrip: "));
  }
  EXPECT_TRUE(Parse({"p", "--export", "m.mov", "--codec", "zip"}).text.contains("this build has none, animation"));

  // A session manager's and a user's options for Qt are Qt's, not a project.
  const CommandLine window = Parse({"-session", "s1", "--platform", "xcb", "-reverse", "../p.txt"});
  EXPECT_EQ(window.action, CommandLine::Action::Window);
  EXPECT_EQ(window.project, "/home/u/p.txt");
  EXPECT_EQ(window.qtArguments, (QStringList{"-session", "s1", "--platform", "xcb", "-reverse"}));

  // "--" ends the options, Qt's too: what follows is a project or a mistake.
  EXPECT_EQ(Parse({"--", "-geometry", "--export", "x.mov"}).action, CommandLine::Action::UsageError);
  const CommandLine dashed = Parse({"-reverse", "--", "-session"});
  EXPECT_EQ(dashed.action, CommandLine::Action::Window);
  EXPECT_EQ(dashed.project, "/home/u/work/-session");
  EXPECT_EQ(dashed.qtArguments, QStringList{"-reverse"});

  // A name that is not UTF-8 keeps its bytes; valid UTF-8 reads as Qt reads it.
  for (const QByteArray& name : {QByteArray("out\xe9.mov"), QByteArray("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xff"),
                                 QByteArray("\xc3\xa9t\xc3\xa9 \xf0\x9f\x8e\xac.txt")})
    EXPECT_EQ(NativePath(PathFromNative(name)), name);
  EXPECT_EQ(PathFromNative("\xc3\xa9t\xc3\xa9"), QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
  EXPECT_EQ(PathFromNative("out\xe9.mov").size(), 8);

  const CommandLine movie = Parse({"p.txt", "--export", "out/m.mov", "--codec", "photo-jpeg", "--quality", "40"});
  EXPECT_EQ(movie.action, CommandLine::Action::Export);
  EXPECT_EQ(movie.output, "/home/u/work/out/m.mov");
  EXPECT_EQ(movie.compression.type, "jpeg");
  EXPECT_EQ(movie.compression.quality, 40);
}

// An installed copy keeps its previews in the user's cache, never in the
// installation, and clears them away at quit without filling the Trash.
TEST_F(WindowTest, AnInstalledCopyRendersIntoTheUsersCache) {
  const QString prefix = Root() + "/prefix";
  ASSERT_TRUE(QDir().mkpath(prefix + "/bin"));
  ASSERT_TRUE(QDir().mkpath(prefix + "/share/applications"));
  WriteText(prefix + "/share/applications/" + kDesktopFileId + ".desktop", "[Desktop Entry]\n");
  SetApplicationFolder(prefix + "/bin");
  const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", (Root() + "/cache").toLocal8Bit());
  const QString cacheScratch = Root() + "/cache/velostrip/ftemp";
  ASSERT_TRUE(QDir().mkpath(cacheScratch));
  WriteText(cacheScratch + "/temp9.mov", "an earlier run's preview");

  EXPECT_TRUE(RunsInstalled());
  StartProgram();
  EXPECT_FALSE(QFileInfo::exists(cacheScratch + "/temp9.mov"));
  EXPECT_TRUE(QFileInfo::exists(cacheScratch + "/temp3.mov"));
  EXPECT_EQ(QDir(prefix + "/bin").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
  app_->Quit();
  EXPECT_FALSE(QFileInfo::exists(cacheScratch));
  EXPECT_TRUE(QFileInfo(Root() + "/cache/velostrip").isDir());
  EXPECT_FALSE(QFileInfo::exists(TrashFiles()));

  // A relative cache variable is not a cache; and a copy without the
  // desktop entry beside it keeps "ftemp" beside the program.
  qputenv("XDG_CACHE_HOME", "relative/cache");
  EXPECT_EQ(ScratchFolder()->AbsolutePath(), QDir::homePath() + "/.cache/velostrip/ftemp");
  QFile::remove(prefix + "/share/applications/" + kDesktopFileId + ".desktop");
  EXPECT_FALSE(RunsInstalled());
  EXPECT_EQ(ScratchFolder()->AbsolutePath(), prefix + "/bin/ftemp");
  qputenv("XDG_CACHE_HOME", oldCache);
  if (oldCache.isEmpty()) qunsetenv("XDG_CACHE_HOME");
}

// A signal that comes while a dialog is open in front of the window cancels
// the dialog and quits all the same.
TEST_F(WindowTest, ASignalQuitsPastAnOpenDialog) {
  StartProgram();
  const QString scratch = ScratchFolder()->AbsolutePath();
  ASSERT_TRUE(QFileInfo(scratch).isDir());
  QuitSignals caught;
  caught.Watch([](int) { QuitOnSignal(); });
  int answer = -1;
  w_->RunUserAction([&] {
    QDialog dialog(w_);
    QTimer::singleShot(0, &dialog, [] { ::raise(SIGTERM); });
    answer = dialog.exec();
  });
  EXPECT_EQ(answer, QDialog::Rejected);
  QElapsedTimer t;
  t.start();
  while (QFileInfo::exists(scratch) && t.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(app_->Quitting());
  EXPECT_FALSE(QFileInfo::exists(scratch));
  EXPECT_EQ(caught.Caught(), SIGTERM);
}

// Copies of the built program in a folder of their own, on the offscreen
// platform, with their own runtime folder and Trash.
class StartProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* sub : {"app", "runtime", "data", "work"}) ASSERT_TRUE(QDir(dir_.path()).mkpath(sub));
    QFile::setPermissions(dir_.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::copy(VELOSTRIP_PROGRAM, Program()));
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("XDG_RUNTIME_DIR", dir_.path() + "/runtime");
    env_.insert("XDG_DATA_HOME", dir_.path() + "/data");
  }
  void TearDown() override {
    for (QProcess* p : processes_) {
      p->kill();
      p->waitForFinished();
      delete p;
    }
  }
  QString Program() const { return dir_.path() + "/app/velostrip"; }
  QString Scratch(const QString& name = {}) const { return dir_.path() + "/app/ftemp/" + name; }

  QProcess* Start(const QStringList& arguments) {
    auto* p = new QProcess;
    processes_.push_back(p);
    p->setProcessEnvironment(env_);
    p->setWorkingDirectory(dir_.path() + "/work");
    p->start(Program(), arguments);
    EXPECT_TRUE(p->waitForStarted());
    return p;
  }
  // Waits until the condition holds, for at most 30 s.
  static bool Eventually(const std::function<bool()>& condition) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
      if (t.elapsed() > 30000) return false;
      QThread::msleep(20);
    }
    return true;
  }
  // The size of a preview movie's first frame.
  QSize MovieSize(const QString& name) const {
    const std::vector<QImage> frames = DecodeAllFrames(Scratch(name));
    return frames.empty() ? QSize() : frames.front().size();
  }

  QTemporaryDir dir_;
  QProcessEnvironment env_;
  std::vector<QProcess*> processes_;
};

TEST_F(StartProcessTest, ALaterStartHandsItsProjectToTheRunningWindow) {
  WriteText(dir_.path() + "/work/p.txt", Project(64, 48));
  QProcess* first = Start({});
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp3.mov")); }));

  // Relative to the second start's own folder; it ends at once, with status 0.
  QProcess* second = Start({"p.txt"});
  ASSERT_TRUE(second->waitForFinished(30000));
  EXPECT_EQ(second->exitCode(), 0);
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp6.mov")); }));
  EXPECT_EQ(MovieSize("temp6.mov"), QSize(64, 48));
  EXPECT_FALSE(first->waitForFinished(0));

  // A copy that dies leaves nothing in the way: the next start takes over at
  // once and clears the scratch folder away.
  first->kill();
  first->waitForFinished();
  QProcess* next = Start({"p.txt"});
  ASSERT_TRUE(Eventually([&] {
    return QFileInfo(dir_.path() + "/data/Trash/files/ftemp").isDir() && QFileInfo::exists(Scratch("temp6.mov"));
  }));
  EXPECT_FALSE(next->waitForFinished(500));
  EXPECT_EQ(MovieSize("temp6.mov"), QSize(64, 48));
  EXPECT_FALSE(QFileInfo::exists(Scratch("temp7.mov")));
}

TEST_F(StartProcessTest, StartsAtTheSameMomentEndWithOneWindowThatLoadsEveryProject) {
  for (int i = 1; i <= 3; ++i) WriteText(dir_.path() + QString("/work/p%1.txt").arg(i), Project(30 + i, 20));
  std::vector<QProcess*> starts;
  for (int i = 1; i <= 3; ++i) starts.push_back(Start({QString("p%1.txt").arg(i)}));
  // The opening's three previews, then three for each project.
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp12.mov")); }));
  int running = 0;
  for (QProcess* p : starts) {
    if (!p->waitForFinished(1000)) {
      ++running;
    } else {
      EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(p->exitCode(), 0);
    }
  }
  EXPECT_EQ(running, 1);
  QList<int> widths;
  for (int n : {6, 9, 12}) widths << MovieSize(QString("temp%1.mov").arg(n)).width();
  std::sort(widths.begin(), widths.end());
  EXPECT_EQ(widths, (QList<int>{31, 32, 33}));
  EXPECT_FALSE(QFileInfo::exists(Scratch("temp13.mov")));
}

TEST_F(StartProcessTest, WithNoDisplayItSaysSoInOneLine) {
  WriteText(dir_.path() + "/work/p.txt", Project(64, 48));
  env_.remove("QT_QPA_PLATFORM");
  for (const char* display : {"", ":87"}) {
    env_.remove("WAYLAND_DISPLAY");
    env_.remove("DISPLAY");
    if (*display) env_.insert("DISPLAY", display);  // one that refuses the connection
    for (const QStringList& arguments : {QStringList{}, QStringList{"p.txt"}}) {
      QProcess* p = Start(arguments);
      ASSERT_TRUE(p->waitForFinished(30000));
      EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(p->exitCode(), 1);
      const QString errors = QString::fromLocal8Bit(p->readAllStandardError());
      EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
      EXPECT_TRUE(errors.startsWith("velostrip: There is no display to open the window on (")) << errors.toStdString();
      EXPECT_TRUE(errors.contains("--export renders a project with none")) << errors.toStdString();
    }
  }
  // Nothing was started: no scratch folder, no socket.
  EXPECT_FALSE(QFileInfo::exists(Scratch()));
  EXPECT_TRUE(QDir(dir_.path() + "/runtime").isEmpty());

  // After "--", a Qt option is a name like any other: one project too many.
  QProcess* p = Start({"--", "-geometry", "--export", "x.mov"});
  ASSERT_TRUE(p->waitForFinished(30000));
  EXPECT_EQ(p->exitCode(), 2);
}

// A logout, `kill` or Ctrl+C quits as File > "Quit" does, without a question:
// the render stopped, the scratch folder cleared, the socket gone.
TEST_F(StartProcessTest, SignalsQuitTheWindowAsQuitDoes) {
  // So many frames that its preview renders until the window quits.
  QByteArray endless = Project(64, 48);
  endless.replace("\n4\n64\n", "\n100000\n64\n");
  WriteText(dir_.path() + "/work/endless.txt", endless);
  const QString trashed = dir_.path() + "/data/Trash/files/ftemp";
  int round = 0;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    QProcess* p = Start({"endless.txt"});
    ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp3.mov")); }));
    QThread::msleep(300);  // the project's preview under way
    ::kill(pid_t(p->processId()), signal);
    ASSERT_TRUE(p->waitForFinished(30000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 128 + signal);
    EXPECT_FALSE(QFileInfo::exists(Scratch()));
    // Cleared as at quit: the previews deleted, the folder in the Trash.
    const QString inTrash = trashed + (round++ ? QString(".%1").arg(round) : QString());
    EXPECT_TRUE(QFileInfo(inTrash).isDir()) << inTrash.toStdString();
    EXPECT_TRUE(QDir(inTrash).isEmpty());
    EXPECT_TRUE(QDir(dir_.path() + "/runtime").entryList({"*.socket"}, QDir::System).isEmpty());
  }
}

// With no runtime folder (su, ssh, cron) the check lives in the user's cache,
// which no other user can make first; a copy that is stopped keeps its
// window and its previews, and the start that finds it says so.
TEST_F(StartProcessTest, WithoutARuntimeFolderNoOtherUserSwitchesTheCheckOff) {
  env_.remove("XDG_RUNTIME_DIR");
  env_.insert("XDG_CACHE_HOME", dir_.path() + "/cache");
  // Another user's folder where a shared temporary one would be.
  env_.insert("TMPDIR", dir_.path() + "/tmp");
  const QString trap = dir_.path() + "/tmp/velostrip-" + QString::number(::geteuid());
  ASSERT_TRUE(QDir().mkpath(trap));
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(trap.toLocal8Bit().constData(), 65534, 65534), 0);
  }
  WriteText(dir_.path() + "/work/p.txt", Project(64, 48));

  QProcess* first = Start({});
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp3.mov")); }));
  const QString own = dir_.path() + "/cache/velostrip";
  EXPECT_EQ(QFileInfo(own).permissions() & 0x0077, 0);  // closed to group and others
  EXPECT_EQ(QDir(own).entryList({"*.socket"}, QDir::System).size(), 1);
  QProcess* second = Start({"p.txt"});
  ASSERT_TRUE(second->waitForFinished(30000));
  EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp6.mov")); }));

  // Stopped: a start ends with status 1 and one line, and takes nothing over.
  ::kill(pid_t(first->processId()), SIGSTOP);
  QProcess* third = Start({});
  ASSERT_TRUE(third->waitForFinished(60000));
  EXPECT_EQ(third->exitCode(), 1);
  const QString said = QString::fromLocal8Bit(third->readAllStandardError());
  EXPECT_EQ(said.count("velostrip: "), 1) << said.toStdString();  // Qt may add its word on the missing folder
  EXPECT_TRUE(said.contains(QString("(process %1) runs for this scratch folder but does not answer")
                                .arg(first->processId())))
      << said.toStdString();
  ::kill(pid_t(first->processId()), SIGCONT);
  EXPECT_TRUE(QFileInfo::exists(Scratch("temp6.mov")));
  EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/data/Trash/files/ftemp"));
  QProcess* fourth = Start({});
  ASSERT_TRUE(fourth->waitForFinished(30000));
  EXPECT_EQ(fourth->exitCode(), 0);
  first->kill();
  first->waitForFinished();

  // A cache folder that is a link, or another user's: no window, no check
  // switched off.
  ASSERT_TRUE(QDir(own).removeRecursively());
  ASSERT_TRUE(QFile::link(trap, own));
  QProcess* linked = Start({});
  ASSERT_TRUE(linked->waitForFinished(30000));
  EXPECT_EQ(linked->exitCode(), 1);
  EXPECT_TRUE(linked->readAllStandardError().contains("the one-window check cannot be made"));
  EXPECT_TRUE(QFileInfo::exists(Scratch("temp6.mov")));  // the killed copy's, not cleared
}

// A client of the socket may send anything: it is dropped when it sends too
// much, nothing, or what does not parse, and the window goes on as before.
TEST_F(StartProcessTest, TheSocketTakesNothingOnTrust) {
  WriteText(dir_.path() + "/work/p.txt", Project(64, 48));
  QProcess* first = Start({});
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp3.mov")); }));
  const QStringList sockets = QDir(dir_.path() + "/runtime").entryList({"*.socket"}, QDir::System);
  ASSERT_EQ(sockets.size(), 1);
  const QString path = dir_.path() + "/runtime/" + sockets[0];

  auto be32 = [](quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
  };
  const QByteArray magic = be32(0x56535431), open = be32(8) + QByteArray("\0o\0p\0e\0n", 8);
  const QByteArray hostile[] = {
      {},                                                          // silence
      magic + be32(2) + open + be32(0x80000000) + QByteArray(4096, 'x'),  // a 2 GB string announced
      magic + be32(0xFFFFFFF0),                                    // a list of four billion strings
      magic + be32(2) + open + be32(3) + "abc",                    // half a character
      "GET / HTTP/1.1\r\nHost: velostrip\r\n\r\n",                 // not ours
      magic + be32(1) + be32(1 << 20) + QByteArray(200 * 1024, 'x'),  // far more than a path
  };
  std::vector<std::unique_ptr<QLocalSocket>> clients;
  for (const QByteArray& bytes : hostile) {
    clients.push_back(std::make_unique<QLocalSocket>());
    clients.back()->connectToServer(path);
    ASSERT_TRUE(clients.back()->waitForConnected(5000));
    clients.back()->write(bytes);
  }
  for (auto& client : clients) {
    while (client->bytesToWrite() > 0 && client->waitForBytesWritten(1000)) {
    }
    if (client->state() != QLocalSocket::UnconnectedState) {
      EXPECT_TRUE(client->waitForDisconnected(30000));
    }
    EXPECT_TRUE(client->readAll().isEmpty());  // no answer
  }
  EXPECT_FALSE(first->waitForFinished(0));

  // A project from a pipe is this start's alone: the window would read a
  // file of its own under that name. Nothing is loaded, and it says so.
  QProcess bash;
  bash.setProcessEnvironment(env_);
  bash.setWorkingDirectory(dir_.path() + "/work");
  bash.start("bash", {"-c", R"(exec "$0" <(cat p.txt))", Program()});
  ASSERT_TRUE(bash.waitForFinished(30000));
  EXPECT_EQ(bash.exitCode(), 1);
  EXPECT_TRUE(bash.readAllStandardError().contains("cannot read a project from a pipe"));

  // And a real start is still handed over.
  QProcess* second = Start({"p.txt"});
  ASSERT_TRUE(second->waitForFinished(30000));
  EXPECT_EQ(second->exitCode(), 0);
  ASSERT_TRUE(Eventually([&] { return QFileInfo::exists(Scratch("temp6.mov")); }));
  EXPECT_EQ(MovieSize("temp6.mov"), QSize(64, 48));
}

#include "tests/support/test_env.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include "framework/desktop_application.h"
#include "framework/folderitem.h"
#include "framework/picture.h"
#include "framework/system.h"

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <sys/wait.h>

QApplication& TestApp() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  MakeLargeTextRepeatable();  // as the program does
  static int argc = 1;
  static char name[] = "velostrip_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt's own statics (the test input devices) would
  // otherwise outlive it and crash at exit.
  return *new DesktopApplication(argc, argv);
}

TempAppEnv::TempAppEnv() {
  oldAppFolder_ = ApplicationFolder();
  hadDataHome_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
  oldDataHome_ = qgetenv("XDG_DATA_HOME");
  hadConfigHome_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  oldConfigHome_ = qgetenv("XDG_CONFIG_HOME");
  QDir(dir.path()).mkpath("app");
  QDir(dir.path()).mkpath("data");
  QDir(dir.path()).mkpath("config");
  SetApplicationFolder(appFolder());
  qputenv("XDG_DATA_HOME", dataHome().toLocal8Bit());
  // The user's settings (the recent projects) stay out of the user's own.
  qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
}

TempAppEnv::~TempAppEnv() {
  SetApplicationFolder(oldAppFolder_);
  if (hadDataHome_)
    qputenv("XDG_DATA_HOME", oldDataHome_);
  else
    qunsetenv("XDG_DATA_HOME");
  if (hadConfigHome_)
    qputenv("XDG_CONFIG_HOME", oldConfigHome_);
  else
    qunsetenv("XDG_CONFIG_HOME");
}

namespace {

QByteArray Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(program, args);
  if (!p.waitForStarted(10000)) return {};
  p.closeWriteChannel();
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    return {};
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
  return p.readAllStandardOutput();
}

// Output as 8-bit binary PPM, which carries the size with the pixels.
QImage FromPpm(const QByteArray& ppm) {
  if (ppm.isEmpty()) return {};
  QImage image = QImage::fromData(ppm, "PPM");
  if (image.isNull()) return {};
  return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

QImage ReadWithImageMagick(const QString& path, const QString& fmt) {
  return FromPpm(Run("convert", {fmt + ":" + path, "-depth", "8", "ppm:-"}));
}

QImage ReadWithGraphicsMagick(const QString& path, const QString& fmt) {
  return FromPpm(Run("gm", {"convert", fmt + ":" + path, "-depth", "8", "ppm:-"}));
}

bool ImageMagickReadsPict() {
  const QByteArray list = Run("convert", {"-list", "format"});
  // "     PICT* PICT      rw-   Apple Macintosh QuickDraw/PICT"
  return QRegularExpression(R"(^\s*PICT\*?\s+PICT\s+r)", QRegularExpression::MultilineOption)
      .match(QString::fromLatin1(list))
      .hasMatch();
}

bool GraphicsMagickReadsPict() {
  const QByteArray list = Run("gm", {"convert", "-list", "format"});
  // "     PICT S  rw-  Apple Macintosh QuickDraw/PICT"
  return QRegularExpression(R"(^\s*PICT\s+\S?\s*r)", QRegularExpression::MultilineOption)
      .match(QString::fromLatin1(list))
      .hasMatch();
}

FileSizeLimit::FileSizeLimit(long bytes) {
  ::getrlimit(RLIMIT_FSIZE, &saved_);
  rlimit small = saved_;
  small.rlim_cur = static_cast<rlim_t>(bytes);
  savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
  ::setrlimit(RLIMIT_FSIZE, &small);
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &saved_);
  std::signal(SIGXFSZ, savedHandler_);
}

QByteArray InChildProcess(const std::function<QByteArray()>& body) {
  int report[2];
  if (::pipe(report) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child < 0) return "no child";
  if (child == 0) {
    ::close(report[0]);
    const QByteArray text = body();
    (void)!::write(report[1], text.constData(), size_t(text.size()));
    ::_exit(0);
  }
  ::close(report[1]);
  QByteArray text;
  char buffer[512];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(report[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return "child lost";
  if (!WIFEXITED(status)) return "ended by signal " + QByteArray::number(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return text;
}

void WithFileSizeLimit(long bytes, const std::function<void()>& body) {
  FileSizeLimit limit(bytes);
  body();
}

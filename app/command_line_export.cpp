// The command line's export: the project read and applied as a freshly
// started window would hold it once loaded, then rendered by the same engine
// into a movie or PICT frames, with no window, no display and no scratch
// folder.
//
// Silent when all goes well, unless stderr is a terminal, where one line
// shows the frames done. The project's loading messages (a value set back to
// its limit) and what went wrong go to stderr, one line each. Exit status:
// 0 done, 1 the project could not be read or the output not made (nothing
// half-written is left), 129, 130 or 143 stopped by SIGHUP, SIGINT or SIGTERM
// at the next frame (nothing is left).
#include "app/command_line_export.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "document/project.h"
#include "engine/render_math.h"
#include "engine/renderer.h"
#include "framework/folderitem.h"
#include "framework/native_path.h"
#include "framework/frame_folder.h"
#include "framework/text.h"
#include "document/animation_state.h"
#include "movie/movie.h"
#include "movie/output_formats.h"

namespace {

// The signal that asked the export to stop (SIGINT, SIGTERM, SIGHUP), 0 for none.
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int signal) { g_stopSignal = signal; }

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the writes under way carry on; the render stops at its next frame
  // A closed terminal or a dropped connection (SIGHUP) stops it as Ctrl+C does.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A reader of stderr that went away, or a file reaching the size limit,
  // make a failed write, which is reported, rather than an end without a word.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void WriteAll(const QByteArray& bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t n = ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody to tell
    done += n;
  }
}

// Qt's own messages (a missing runtime folder, font substitutions) are not
// the user's business here: only what stops the program is said, as ours.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) WriteAll("velostrip: " + message.toLocal8Bit() + '\n');
}

// Rounded up: while frames remain, some time does.
QString Duration(double seconds) {
  const long long s = static_cast<long long>(std::ceil(seconds));
  if (s < 60) return QStringLiteral("%1 s").arg(s);
  if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
  return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

// What the export says on stderr: one line per message, and on a terminal a
// progress line that is rewritten in place and ended before anything else.
class Report {
 public:
  Report() : terminal_(::isatty(STDERR_FILENO) == 1) {}

  void Line(const QString& text) {
    EndProgress();
    WriteAll(ForStandardError(text).toLocal8Bit());
  }

  void Progress(int done, int total) {
    if (!terminal_ || total <= 0) return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point now = Clock::now();
    if (!started_) {
      started_ = true;
      start_ = now;
    } else if (done < total && now - shownAt_ < std::chrono::milliseconds(100)) {
      return;  // a terminal needs no more than ten updates a second
    }
    shownAt_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    QString text = QStringLiteral("velostrip: %1 of %2 frames (%3%)")
                       .arg(done)
                       .arg(total)
                       .arg(static_cast<long long>(done) * 100 / total);
    if (done > 0 && done < total) text += ", " + Duration(elapsed / done * (total - done)) + " left";
    // Blanks cover what a longer line before left on the screen.
    const qsizetype length = text.size();
    if (length < shownLength_) text += QString(shownLength_ - length, QLatin1Char(' '));
    shownLength_ = length;
    WriteAll('\r' + text.toLocal8Bit());
    lineOpen_ = true;
  }

  void EndProgress() {
    if (!lineOpen_) return;
    WriteAll("\n");
    lineOpen_ = false;
  }

 private:
  const bool terminal_;
  bool started_ = false;
  bool lineOpen_ = false;
  qsizetype shownLength_ = 0;
  std::chrono::steady_clock::time_point start_, shownAt_;
};

// The status of an export stopped by a signal, as a shell reports it.
int StoppedStatus() { return 128 + g_stopSignal; }

// The application object, made from the program's name alone: Qt's own
// options are the window's. Fonts (and with them a platform, the offscreen
// one: no display is needed) only for the text object; everything else is
// drawn pixel by pixel and read by the image plugins, which need neither.
std::unique_ptr<QCoreApplication> MakeApplication(bool fonts, char* programName) {
  static int argc = 1;
  static char* argv[] = {programName, nullptr};
  if (!fonts) return std::make_unique<QCoreApplication>(argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return std::make_unique<QGuiApplication>(argc, argv);
}

int ExportMovie(const CommandLine& job, Renderer& engine, const RenderSettings& settings, Picture& frame,
                const std::vector<KeptFile>& kept, Report& report) {
  const QString path = job.output;
  if (QFileInfo(path).isDir()) {
    // The window offers to move a folder in the way to the Trash; a command
    // line leaves the user's folders alone.
    report.Line("Movie not written: a folder of that name is in the way - " + path);
    return 1;
  }
  // Only a movie, or nothing, is replaced by the movie.
  if (const QString why = WhyNotReplace(path, kept); !why.isEmpty()) {
    report.Line("Movie not written: " + why + " - " + path);
    return 1;
  }
  const OutputFormat* format = FindOutputFormat(job.format);
  EditableMoviePtr movie = format ? CreateMovieAs(*format, path, job.options) : CreateMovieAt(path);
  QTVideoTrackPtr track = movie ? movie->NewVideoTrack(frame.Width(), frame.Height(), 1.0) : nullptr;
  if (!movie || !track || !movie->Error().isEmpty()) {
    report.Line(movie && !movie->Error().isEmpty() ? movie->Error() : "Cannot create the movie " + path);
    if (movie) movie->Discard();
    return 1;
  }
  track->CompressionType = job.compression.type;
  track->Depth = job.compression.depth;
  track->CompressionQuality = job.compression.quality;

  const RenderResult result = engine.Render(settings, frame, *track, path);
  report.EndProgress();
  if (!result.ok()) {
    // Nothing of it stays; a file that was there stays as it was.
    movie->Discard();
    if (result.status == RenderResult::Status::Stopped) {
      report.Line("Stopped: the movie was not written.");
      return StoppedStatus();
    }
    report.Line(result.error);
    return 1;
  }
  if (const QString error = movie->Finish(); !error.isEmpty()) {
    report.Line(error);
    return 1;
  }
  return 0;
}

int ExportFrames(const CommandLine& job, Renderer& engine, const RenderSettings& settings, Picture& frame,
                 Report& report) {
  // The frames are written under hidden names and given theirs only when all
  // are there: until then the folder holds what it held, and a failure or a
  // stop leaves it so (a folder the run made goes again).
  // Frames go through file names that hold UTF-8 alone: a folder named
  // otherwise would get them under another name.
  if (NativePath(job.output) != job.output.toUtf8()) {
    report.Line("Frames not written: frames go only into a folder whose name is valid UTF-8 - " + job.output);
    return 1;
  }
  FrameFolder frames(job.output);
  if (const QString error = frames.Open(FrameFolder::Missing::Make); !error.isEmpty()) {
    report.Line(error);
    return 1;
  }
  const OutputFormat* format = FindOutputFormat(job.format);
  const RenderResult result = engine.RenderFrames(settings, frame, frames, format ? format->pictureFormat : kPictFile);
  report.EndProgress();
  if (result.ok()) {
    if (const QString error = frames.Commit(); error.isEmpty()) return 0;
    else report.Line(error);
    return 1;
  }
  frames.Abandon();
  if (result.status == RenderResult::Status::Stopped) {
    report.Line("Stopped: the frames were not written.");
    return StoppedStatus();
  }
  report.Line(result.error);
  return 1;
}

// The project read, applied as the window would hold it, and rendered;
// returns the exit status.
int Export(const CommandLine& job, char** argv, Report& report) {
  // The project is read before anything else is made: its object decides
  // whether fonts are needed.
  const ProjectRead read = ReadProject(std::make_shared<FolderItem>(job.project));
  if (!read.project) {
    report.Line(read.error);
    return 1;
  }
  const Project& project = *read.project;
  const std::unique_ptr<QCoreApplication> app = MakeApplication(project.oggetto == kTextObject, argv[0]);

  const AnimationState state = LoadedState(project, [&report](const QString& message) { report.Line(message); });
  const RenderSettings settings = SettingsOf(state);
  if (g_stopSignal) {
    report.Line("Stopped: nothing was written.");
    return StoppedStatus();
  }

  // The frame picture, as the export makes it: the movie size fields.
  PicturePtr frame =
      NewPicture(ToInteger(Val(state.fields[kMovieWidth])), ToInteger(Val(state.fields[kMovieHeight])), 32);
  if (!frame) {
    report.Line("Not enough memory for a frame of " + state.fields[kMovieWidth] + " x " +
                state.fields[kMovieHeight] + " pixels.");
    return 1;
  }

  Renderer engine;
  // A window that has just loaded the project has rendered its previews, and
  // the engine starts the export from where their last frame left the object.
  engine.SettleAsIfRendered(settings);
  engine.SetProgress([&](int done, int total) {
    if (g_stopSignal) engine.Stop();
    report.Progress(done, total);
  });

  if (job.action == CommandLine::Action::Export) {
    // What the render reads is never what it writes.
    std::vector<KeptFile> kept = {{job.project, "the project being rendered"}};
    for (const auto& [picture, slot] : {std::pair{state.immagine, kObjectPictureSlot}, {state.sfondo, kBackgroundPictureSlot}})
      if (picture) kept.push_back({GetFolderItem(state.asciino[slot])->AbsolutePath(), "a picture of the project"});
    return ExportMovie(job, engine, settings, *frame, kept, report);
  }
  return ExportFrames(job, engine, settings, *frame, report);
}

}  // namespace

int RunCommandLineExport(const CommandLine& job, int, char** argv) {
  qInstallMessageHandler(QuietQtMessages);
  InstallSignalHandlers();
  QuietMovieLibraryLog();
  Report report;
  try {
    return Export(job, argv, report);
  } catch (const std::exception& e) {
    // What is being written is let go with the stack; the movie layer and
    // the frame files leave nothing half-made.
    report.Line(QStringLiteral("Nothing was written: %1.").arg(QString::fromLocal8Bit(e.what())));
    return 1;
  }
}

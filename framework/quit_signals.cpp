#include "framework/quit_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the pipe of the one QuitSignals there is at a time.
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void OnQuitSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (g_writeEnd >= 0) (void)!::write(g_writeEnd, &byte, 1);  // a full pipe already says enough
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;  // the signals keep their default actions
  }
  g_writeEnd = pipe_[1];
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  // A second signal finds the default action: the user who asks again does
  // not wait for the clean-up.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  for (int signal : kSignals) std::signal(signal, SIG_DFL);
  g_writeEnd = -1;
  delete notifier_;
  for (int fd : pipe_)
    if (fd >= 0) ::close(fd);
}

void QuitSignals::Watch(std::function<void(int)> quit) {
  quit_ = std::move(quit);
  if (pipe_[0] < 0 || notifier_) return;
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Take(); });
}

void QuitSignals::Take() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(pipe_[0], bytes, sizeof bytes)) > 0)
    if (caught_ == 0) caught_ = bytes[0];
  if (caught_ != 0 && quit_) {
    // Once: later signals of another kind add nothing to a quit under way.
    const std::function<void(int)> quit = std::move(quit_);
    quit_ = nullptr;
    quit(caught_);
  }
}

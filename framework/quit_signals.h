#pragma once
// The signals that ask a program to end (SIGTERM: a logout, `kill`; SIGHUP:
// a closed terminal; SIGINT: Ctrl+C) turned into a call on the event loop,
// where the program can end as it ends on its own. The handler only writes
// the signal into a pipe; a second signal of the same kind ends the program
// at once, as if nothing caught it.
#include <QObject>
#include <functional>

class QSocketNotifier;

class QuitSignals : public QObject {
 public:
  // Catches the signals from now on; what they ask waits for Watch().
  QuitSignals();
  // The default actions again.
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // From the next pass of the event loop on, `quit` runs once, with the
  // first signal caught (one caught before Watch() included).
  void Watch(std::function<void(int signal)> quit);
  // The signal that asked to quit, 0 for none so far.
  int Caught() const { return caught_; }

 private:
  void Take();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  std::function<void(int)> quit_;
  int caught_ = 0;
};

#pragma once
// One running copy of the program per key (here: per scratch folder). A
// start while a copy of the same key runs hands its message to that copy
// and ends; the running copy is told through a callback.
//
// The channel is a local socket in a folder that only this user can own:
// the user's runtime folder ($XDG_RUNTIME_DIR), or else the program's folder
// in the user's cache ($XDG_CACHE_HOME/velostrip, ~/.cache/velostrip), kept
// closed to everyone else. A lock beside the socket makes the check and the
// take-over one step, so starts at the same moment end with one running
// copy; a second lock, held while the copy runs, tells a copy that died
// (the kernel frees its locks, and the next start takes over at once) from
// one that is alive but does not answer (stopped, hung), which is left alone.
//
// What a client sends is read with care: a message is at most a few
// kilobytes, is read as it comes without trusting the lengths it declares,
// must arrive within a few seconds, and is dropped unanswered when it does
// not parse.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
 public:
  // The key names what the copies share (e.g. a folder's canonical path).
  explicit SingleInstance(const QString& key);
  ~SingleInstance() override;

  enum class Outcome {
    First,         // no copy runs: this one now answers the later starts
    HandedOver,    // a running copy took the message
    NotAnswering,  // a copy runs but does not take the message: see Error()
    Failed,        // no check could be made: see Error()
  };
  // Hands the message to a running copy, or becomes the copy that answers.
  // `whileFirst` runs while the lock is held when this copy becomes the
  // first, before any other start can reach it (e.g. a clean-up that another
  // start must not overlap).
  Outcome Start(const QStringList& message, const std::function<void()>& whileFirst = {});

  // What a later start hands over; the running copy takes it as it comes.
  void OnMessage(std::function<void(const QStringList&)> handler) { handler_ = std::move(handler); }
  // Whether messages are taken now; a copy that is quitting refuses them, and
  // the start that sent one then waits for the next copy.
  void SetAccepting(std::function<bool()> accepting) { accepting_ = std::move(accepting); }

  // Stops answering: later starts become the first themselves. `whileLast`
  // runs while the lock is held, after the channel is gone (e.g. the clean-up
  // at quit, which a new first copy must not overlap).
  void Stop(const std::function<void()>& whileLast = {});

  QString Error() const { return error_; }
  QString SocketPath() const { return socketPath_; }

  // Limits of what a client may send (public for the tests' hostile client).
  static constexpr int kMaxMessageBytes = 64 * 1024;
  static constexpr int kConnectionMs = 5000;

 private:
  class Lock;
  bool TakeRunningLock();
  void ReleaseRunningLock();
  bool Listen();
  void TakeConnection();

  QString folder_, socketPath_, lockPath_, runningPath_;
  QString error_;
  int runningFd_ = -1;
  QLocalServer* server_ = nullptr;
  std::function<void(const QStringList&)> handler_;
  std::function<bool()> accepting_;
};

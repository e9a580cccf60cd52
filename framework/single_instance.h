#pragma once
// One running copy of the program per key (here: per scratch folder). A
// start while a copy of the same key runs hands its message to that copy
// and ends; the running copy is told through a callback.
//
// The channel is a local socket in the user's runtime folder
// ($XDG_RUNTIME_DIR, or a folder of the user's own that nobody else may
// enter), named after the user and the key, so no other user can reach it or
// stand in its way. A lock beside it makes the check and the take-over one
// step, so starts at the same moment end with one running copy; the kernel
// frees the lock of a copy that dies, and the next start takes over its
// stale socket at once.
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
    First,       // no copy runs: this one now answers the later starts
    HandedOver,  // a running copy took the message
    Failed,      // neither: see Error(); the program may run on its own
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

 private:
  class Lock;
  bool Listen();
  void TakeConnection();

  QString folder_, socketPath_, lockPath_;
  QString error_;
  QLocalServer* server_ = nullptr;
  std::function<void(const QStringList&)> handler_;
  std::function<bool()> accepting_;
};

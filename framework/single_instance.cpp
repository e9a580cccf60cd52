#include "framework/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 kMagic = 0x56535431;  // "VST1": a message of this program
constexpr char kAccepted = 'A';
// How long a start waits for the running copy to take its message. A copy
// answers within milliseconds, also while it renders (it keeps its events
// flowing); only a copy that hangs makes a start wait this long.
constexpr int kAnswerMs = 30000;

// The user's own folder for sockets: $XDG_RUNTIME_DIR, or else one in the
// temporary folder that is the user's and closed to everyone else. Empty
// (with the reason) when neither can be had.
QString RuntimeFolder(QString& error) {
  const uid_t uid = geteuid();
  auto ours = [uid](const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & 077) == 0;
  };
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && ours(runtime)) return runtime;

  const QString own = QDir::tempPath() + "/velostrip-" + QString::number(uid);
  mkdir(QFile::encodeName(own).constData(), 0700);
  if (ours(own)) return own;
  error = QStringLiteral("%1 is not a private folder of this user").arg(own);
  return {};
}

}  // namespace

// An exclusive lock on a file, held while it lives.
class SingleInstance::Lock {
 public:
  explicit Lock(const QString& path) {
    fd_ = open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~Lock() {
    if (fd_ >= 0) close(fd_);  // closing frees the lock
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

SingleInstance::SingleInstance(const QString& key) {
  folder_ = RuntimeFolder(error_);
  if (folder_.isEmpty()) return;
  const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
  const QString base = folder_ + "/velostrip-" + QString::number(geteuid()) + "-" + QString::fromLatin1(hash);
  socketPath_ = base + ".socket";
  lockPath_ = base + ".lock";
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::Start(const QStringList& message, const std::function<void()>& whileFirst) {
  if (folder_.isEmpty()) return Outcome::Failed;
  const QDeadlineTimer deadline(kAnswerMs);
  while (true) {
    QLocalSocket socket;
    {
      Lock lock(lockPath_);
      if (!lock.Held()) {
        error_ = QStringLiteral("cannot lock %1").arg(lockPath_);
        return Outcome::Failed;
      }
      socket.connectToServer(socketPath_);
      if (!socket.waitForConnected(1000)) {
        // Nobody answers: a socket left by a copy that died is taken over.
        if (!Listen()) return Outcome::Failed;
        if (whileFirst) whileFirst();
        return Outcome::First;
      }
    }
    // The running copy is there; the lock is free again while it answers, so
    // that it can quit meanwhile.
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << kMagic << message;
    socket.write(data);
    socket.waitForBytesWritten(1000);
    while (socket.bytesAvailable() == 0 && socket.state() == QLocalSocket::ConnectedState &&
           !deadline.hasExpired())
      socket.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
    char answer = 0;
    if (socket.read(&answer, 1) == 1 && answer == kAccepted) return Outcome::HandedOver;
    if (deadline.hasExpired()) {
      error_ = QStringLiteral("the running copy does not answer (%1)").arg(socketPath_);
      return Outcome::Failed;
    }
    // It refused (it is quitting) or went away: try again, soon.
    QThread::msleep(20);
  }
}

bool SingleInstance::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(socketPath_);
  if (!server_->listen(socketPath_)) {
    error_ = server_->errorString();
    delete server_;
    server_ = nullptr;
    return false;
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (server_ && server_->hasPendingConnections()) TakeConnection();
  });
  return true;
}

void SingleInstance::TakeConnection() {
  QLocalSocket* socket = server_->nextPendingConnection();
  auto in = std::make_shared<QDataStream>(socket);
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  auto read = [this, socket, in] {
    in->startTransaction();
    quint32 magic = 0;
    QStringList message;
    *in >> magic >> message;
    if (!in->commitTransaction()) {
      // Incomplete so far, or not ours at all.
      if (in->status() != QDataStream::ReadPastEnd) socket->abort();
      return;
    }
    if (magic != kMagic || (accepting_ && !accepting_())) {
      socket->abort();
      return;
    }
    socket->write(&kAccepted, 1);
    socket->flush();
    socket->disconnectFromServer();
    if (handler_) handler_(message);
  };
  connect(socket, &QLocalSocket::readyRead, socket, read);
  if (socket->bytesAvailable() > 0) read();
}

void SingleInstance::Stop(const std::function<void()>& whileLast) {
  if (!server_) {
    if (whileLast) whileLast();
    return;
  }
  Lock lock(lockPath_);
  delete server_;  // closes the channel and every connection not yet answered
  server_ = nullptr;
  QFile::remove(socketPath_);
  if (whileLast) whileLast();
}

#include "framework/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/native_path.h"

namespace {

constexpr quint32 kMagic = 0x56535431;  // "VST1": a message of this program
constexpr char kAccepted = 'A';
// How long a start waits for the running copy to take its message. A copy
// answers within milliseconds, also while it renders (it keeps its events
// flowing); one that has not answered by then is stopped or hung.
constexpr int kAnswerMs = 10000;
// A message is a word and a path or two: more strings than this are not one.
constexpr quint32 kMaxStrings = 8;
// Connections open at once; more are closed as they come.
constexpr int kMaxConnections = 16;

QString ErrnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// A folder that is this user's alone: a real folder (not a link), owned by
// the user, closed to everyone else. `tighten` closes one of the user's own
// that others may enter.
bool PrivateFolder(const QString& path, bool tighten, QString& error) {
  const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = QStringLiteral("%1 is not a folder of this user's (%2)").arg(path, ErrnoText(errno));
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
  if (!ok) {
    error = QStringLiteral("%1 belongs to another user").arg(path);
  } else if ((st.st_mode & 077) != 0) {
    ok = tighten && ::fchmod(fd, 0700) == 0;
    if (!ok) error = QStringLiteral("%1 is open to other users").arg(path);
  }
  ::close(fd);
  return ok;
}

// The user's own folder for the channel: $XDG_RUNTIME_DIR, or else the
// program's folder in the user's cache, made or closed to others as needed.
// Never a folder that another user could make first (as one in /tmp).
// Empty, with the reason, when neither can be had.
QString ChannelFolder(QString& error) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  QString ignored;
  if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && PrivateFolder(runtime, false, ignored)) return runtime;

  // An unset, empty or relative cache variable is ignored, as the XDG base
  // directory rules ask.
  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  if (cache.isEmpty() || !QDir::isAbsolutePath(cache)) cache = QDir::homePath() + "/.cache";
  const QString own = QDir::cleanPath(cache) + "/velostrip";
  QDir().mkpath(QDir::cleanPath(cache));
  if (::mkdir(NativePath(own).constData(), 0700) != 0 && errno != EEXIST) {
    error = QStringLiteral("cannot create %1 (%2)").arg(own, ErrnoText(errno));
    return {};
  }
  return PrivateFolder(own, true, error) ? own : QString();
}

// A message of a later start: the magic word, then a QDataStream string
// list. Parsed from the bytes received so far, trusting none of the lengths
// they declare beyond the bytes that are there.
enum class Parse { Incomplete, Complete, Bad };

Parse ParseMessage(const QByteArray& data, QStringList& message) {
  message.clear();
  qsizetype at = 0;
  auto next = [&](quint32& value) {
    if (data.size() - at < 4) return false;
    value = qFromBigEndian<quint32>(data.constData() + at);
    at += 4;
    return true;
  };
  quint32 magic = 0, count = 0;
  if (!next(magic)) return Parse::Incomplete;
  if (magic != kMagic) return Parse::Bad;
  if (!next(count)) return Parse::Incomplete;
  if (count > kMaxStrings) return Parse::Bad;
  for (quint32 i = 0; i < count; ++i) {
    quint32 bytes = 0;
    if (!next(bytes)) return Parse::Incomplete;
    if (bytes == 0xFFFFFFFF) {  // a null string
      message << QString();
      continue;
    }
    if (bytes % 2 != 0 || bytes > quint32(SingleInstance::kMaxMessageBytes)) return Parse::Bad;
    if (data.size() - at < qsizetype(bytes)) return Parse::Incomplete;
    QString text(qsizetype(bytes / 2), Qt::Uninitialized);
    for (qsizetype k = 0; k < text.size(); ++k)
      text[k] = QChar(qFromBigEndian<quint16>(data.constData() + at + 2 * k));
    message << text;
    at += bytes;
  }
  return at == data.size() ? Parse::Complete : Parse::Bad;
}

}  // namespace

// An exclusive lock on a file, held while it lives.
class SingleInstance::Lock {
 public:
  explicit Lock(const QString& path) {
    fd_ = open(NativePath(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
  folder_ = ChannelFolder(error_);
  if (folder_.isEmpty()) return;
  const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
  const QString base = folder_ + "/velostrip-" + QString::number(geteuid()) + "-" + QString::fromLatin1(hash);
  socketPath_ = base + ".socket";
  lockPath_ = base + ".lock";
  runningPath_ = base + ".running";
}

SingleInstance::~SingleInstance() { ReleaseRunningLock(); }

bool SingleInstance::TakeRunningLock() {
  const int fd = ::open(NativePath(runningPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  // The process that runs, for the message of a start that finds it stuck.
  const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
  if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
  runningFd_ = fd;
  return true;
}

void SingleInstance::ReleaseRunningLock() {
  if (runningFd_ >= 0) ::close(runningFd_);
  runningFd_ = -1;
}

SingleInstance::Outcome SingleInstance::Start(const QStringList& message, const std::function<void()>& whileFirst) {
  if (folder_.isEmpty()) return Outcome::Failed;
  const QDeadlineTimer deadline(kAnswerMs);
  while (true) {
    QLocalSocket socket;
    bool connected = false;
    {
      Lock lock(lockPath_);
      if (!lock.Held()) {
        error_ = QStringLiteral("cannot lock %1 (%2)").arg(lockPath_, ErrnoText(errno));
        return Outcome::Failed;
      }
      if (TakeRunningLock()) {
        // No copy runs: a socket left by one that died is taken over.
        if (!Listen()) {
          ReleaseRunningLock();
          return Outcome::Failed;
        }
        if (whileFirst) whileFirst();
        return Outcome::First;
      }
      socket.connectToServer(socketPath_);
      connected = socket.waitForConnected(1000);
    }
    if (connected) {
      // The running copy is there; the lock is free again while it answers,
      // so that it can quit meanwhile.
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
    }
    if (deadline.hasExpired()) {
      // Alive (it holds its lock) but deaf: stopped or hung. Its scratch
      // folder is its own still; this start takes nothing over.
      QFile pidFile(runningPath_);
      const QByteArray pid = pidFile.open(QIODevice::ReadOnly) ? pidFile.read(32).trimmed() : QByteArray();
      error_ = QStringLiteral("A Velostrip window%1 runs for this scratch folder but does not answer "
                              "(stopped or hung?); no second one was opened.")
                   .arg(pid.isEmpty() ? QString() : QStringLiteral(" (process %1)").arg(QString::fromLatin1(pid)));
      return Outcome::NotAnswering;
    }
    // It refused (it is quitting), went away, or is not listening yet: try
    // again, soon.
    QThread::msleep(20);
  }
}

bool SingleInstance::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(socketPath_);
  if (!server_->listen(socketPath_)) {
    error_ = QStringLiteral("cannot listen on %1 (%2)").arg(socketPath_, server_->errorString());
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
  if (!socket) return;
  auto drop = [socket] {
    socket->abort();
    socket->deleteLater();
  };
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  if (server_->findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly).size() > kMaxConnections) {
    drop();
    return;
  }
  // A whole message within a few seconds, or nothing.
  QTimer::singleShot(kConnectionMs, socket, drop);
  auto received = std::make_shared<QByteArray>();
  auto read = [this, socket, received, drop] {
    char chunk[4096];
    for (qint64 n; (n = socket->read(chunk, sizeof chunk)) > 0;) {
      received->append(chunk, n);
      if (received->size() > kMaxMessageBytes) return drop();
    }
    QStringList message;
    switch (ParseMessage(*received, message)) {
      case Parse::Incomplete:
        return;
      case Parse::Bad:
        return drop();
      case Parse::Complete:
        break;
    }
    if (accepting_ && !accepting_()) return drop();
    // Answered: whatever else comes on this connection is not read.
    QObject::disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);
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
    ReleaseRunningLock();
    return;
  }
  Lock lock(lockPath_);
  delete server_;  // closes the channel and every connection not yet answered
  server_ = nullptr;
  QFile::remove(socketPath_);
  if (whileLast) whileLast();
  ReleaseRunningLock();
}

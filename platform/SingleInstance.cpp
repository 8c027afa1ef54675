#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tavix {

namespace {

const QByteArray kRaise = "raise";
const QByteArray kRaised = "raised";

QString runtimeFolder() {
    // XDG_RUNTIME_DIR, or a private folder of the user's own that Qt makes.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

// What the desktop gave this start to hand the focus on, if anything.
QByteArray activationToken() {
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty()) token = qgetenv("DESKTOP_STARTUP_ID");
    token.replace('\n', "").replace('\r', "");
    return token;
}

}  // namespace

SingleInstance* SingleInstance::current_ = nullptr;

struct SingleInstance::Fallback {
    explicit Fallback(const QString& path) : lock(path) {}
    QLockFile lock;  // knows a lock of a dead copy by its process number
};

SingleInstance::SingleInstance(QString folder, int patienceMs, QObject* parent)
    : QObject(parent),
      folder_(folder.isEmpty() ? runtimeFolder() : std::move(folder)),
      patienceMs_(patienceMs) {}

SingleInstance::~SingleInstance() {
    if (current_ == this) current_ = nullptr;
    stopAnswering();
#ifdef Q_OS_UNIX
    // The lock file stays: removing it while another start waits on it would
    // let two copies lock two different files.
    if (lockFd_ >= 0) ::close(lockFd_);
#endif
}

QString SingleInstance::lockPath() const {
    return QDir(folder_).filePath(QStringLiteral("tavix.lock"));
}

QString SingleInstance::socketPath() const {
#ifdef Q_OS_UNIX
    return QDir(folder_).filePath(QStringLiteral("tavix.socket"));
#else
    // A pipe name, one per user folder.
    return QStringLiteral("tavix-") +
           QString::fromLatin1(
               QCryptographicHash::hash(folder_.toUtf8(), QCryptographicHash::Md5).toHex());
#endif
}

SingleInstance::Outcome SingleInstance::acquire() {
    const QDeadlineTimer deadline(patienceMs_);
    for (;;) {
        if (tryLock()) {
            current_ = this;
            listen();
            return Outcome::First;
        }
        if (askRunningCopy()) return Outcome::Forwarded;
        if (deadline.hasExpired()) return Outcome::Unanswered;
        QThread::msleep(100);
    }
}

void SingleInstance::handOver() {
    if (current_) current_->stopAnswering();
}

bool SingleInstance::tryLock() {
    QDir().mkpath(folder_);
#ifdef Q_OS_UNIX
    // Close-on-exec: a program started from here (the next copy, the help's
    // browser) must not inherit the lock and keep it.
    const int fd =
        ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // No lock can be had here: better two copies than none.
        qWarning("tavix: %s cannot be opened; several copies may run", qPrintable(lockPath()));
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EWOULDBLOCK;
#else
    if (!fallback_) {
        fallback_ = std::make_unique<Fallback>(lockPath());
        fallback_->lock.setStaleLockTime(0);  // only a dead owner's lock is stale
    }
    return fallback_->lock.tryLock(0) || fallback_->lock.error() == QLockFile::PermissionError;
#endif
}

bool SingleInstance::askRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000)) return false;
    socket.write(kRaise + ' ' + activationToken() + '\n');
    if (!socket.waitForBytesWritten(1000)) return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(2000)) return false;
    return socket.readLine(64).trimmed() == kRaised;
}

void SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // This copy holds the lock: a socket there was left by one that died.
    QLocalServer::removeServer(socketPath());
    if (!server_->listen(socketPath())) {
        qWarning("tavix: %s: %s", qPrintable(socketPath()), qPrintable(server_->errorString()));
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > 4096) socket->abort();
                    return;
                }
                const QByteArray line = socket->readLine(4096).trimmed();
                if (line != kRaise && !line.startsWith(kRaise + ' ')) {
                    socket->abort();
                    return;
                }
                socket->write(kRaised + '\n');
                socket->flush();
                emit activationRequested(QString::fromUtf8(line.mid(kRaise.size()).trimmed()));
            });
        }
    });
}

void SingleInstance::stopAnswering() {
    if (!server_) return;
    server_->close();  // removes the socket as well
    delete server_;
    server_ = nullptr;
}

}  // namespace tavix

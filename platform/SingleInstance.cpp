#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QtGlobal>

#include "platform/Paths.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

QStringList defaultFolders() {
    QStringList folders{runtimeFolder()};
    // Beside the pending timing: the record two copies must never share.
    const QString data = QFileInfo(QDir::fromNativeSeparators(paths::pendingTimingPath())).path();
    if (!paths::sameFile(data, folders.front())) folders << data;
    return folders;
}

QString lockIn(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("tavix.lock"));
}

QString socketIn(const QString& folder) {
#ifdef Q_OS_UNIX
    return QDir(folder).filePath(QStringLiteral("tavix.socket"));
#else
    // A pipe name, one per user folder.
    return QStringLiteral("tavix-") +
           QString::fromLatin1(
               QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Md5).toHex());
#endif
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

SingleInstance::SingleInstance(QStringList folders, int patienceMs, QObject* parent)
    : QObject(parent),
      folders_(folders.isEmpty() ? defaultFolders() : std::move(folders)),
      patienceMs_(patienceMs) {}

SingleInstance::~SingleInstance() {
    if (current_ == this) current_ = nullptr;
    stopAnswering();
    releaseLocks();
}

QString SingleInstance::lockPath() const { return lockIn(folders_.front()); }

QString SingleInstance::socketPath() const { return socketIn(folders_.front()); }

SingleInstance::Outcome SingleInstance::acquire() {
    const QDeadlineTimer deadline(patienceMs_);
    for (;;) {
        switch (tryLock()) {
            case Lock::Taken:
                current_ = this;
                listen();
                return Outcome::First;
            case Lock::Impossible:
                return Outcome::NoLock;
            case Lock::Busy:
                break;
        }
        if (askRunningCopy()) return Outcome::Forwarded;
        if (deadline.hasExpired()) return Outcome::Unanswered;
        QThread::msleep(100);
    }
}

void SingleInstance::handOver() {
    if (current_) current_->stopAnswering();
}

// Always in the same order, so that starts at the same instant never hold
// one lock each and wait on the other's.
SingleInstance::Lock SingleInstance::tryLock() {
    releaseLocks();
    for (const QString& folder : folders_) {
        QDir().mkpath(folder);
        const QString path = lockIn(folder);
#ifdef Q_OS_UNIX
        // Close-on-exec: a program started from here (the next copy, the
        // help's browser) must not inherit the lock and keep it. A lock file
        // that exists can be locked read-only, on a file system that has
        // turned read-only or full since.
        const QByteArray name = QFile::encodeName(path);
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const int openError = errno;
        if (fd < 0) fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            qWarning("tavix: %s cannot be opened: %s", qPrintable(path), std::strerror(openError));
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lockFds_.push_back(fd);
            locked_ << folder;
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            releaseLocks();
            return Lock::Busy;
        }
        qWarning("tavix: %s cannot be locked: %s", qPrintable(path), std::strerror(error));
#else
        auto fallback = std::make_unique<Fallback>(path);
        fallback->lock.setStaleLockTime(0);  // only a dead owner's lock is stale
        if (fallback->lock.tryLock(0)) {
            fallbacks_.push_back(std::move(fallback));
            locked_ << folder;
            continue;
        }
        if (fallback->lock.error() == QLockFile::LockFailedError) {
            releaseLocks();
            return Lock::Busy;
        }
        qWarning("tavix: %s cannot be locked", qPrintable(path));
#endif
    }
    return locked_.isEmpty() ? Lock::Impossible : Lock::Taken;
}

void SingleInstance::releaseLocks() {
    // The lock files stay: removing one while another start waits on it
    // would let two copies lock two different files.
#ifdef Q_OS_UNIX
    for (const int fd : lockFds_) ::close(fd);
#endif
    lockFds_.clear();
    fallbacks_.clear();
    locked_.clear();
}

bool SingleInstance::askRunningCopy() {
    for (const QString& folder : folders_) {
        QLocalSocket socket;
        socket.connectToServer(socketIn(folder));
        if (!socket.waitForConnected(1000)) continue;
        socket.write(kRaise + ' ' + activationToken() + '\n');
        if (!socket.waitForBytesWritten(1000)) continue;
        bool line = true;
        while (line && !socket.canReadLine()) line = socket.waitForReadyRead(2000);
        if (line && socket.readLine(64).trimmed() == kRaised) return true;
    }
    return false;
}

// A socket in each folder locked: a start whose runtime folder is not this
// copy's still finds it beside the data.
void SingleInstance::listen() {
    for (const QString& folder : std::as_const(locked_)) {
        auto* server = new QLocalServer(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        // This copy holds the lock: a socket there was left by one that died.
        const QString path = socketIn(folder);
        QLocalServer::removeServer(path);
        if (!server->listen(path)) {
            qWarning("tavix: %s: %s", qPrintable(path), qPrintable(server->errorString()));
            delete server;
            continue;
        }
        servers_.push_back(server);
        answer(server);
    }
}

void SingleInstance::answer(QLocalServer* server) {
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
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
    for (QLocalServer* server : servers_) {
        server->close();  // removes the socket as well
        delete server;
    }
    servers_.clear();
}

}  // namespace tavix

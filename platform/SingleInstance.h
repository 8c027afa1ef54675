#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace tavix {

// One running copy of the program per user. The first copy holds a lock in
// the user's runtime folder, which the system releases when that copy ends,
// however it ends; a later start asks it to bring its window forward and
// ends. A lock or a socket left by a copy that died never blocks a start.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live (empty: the user's runtime
    // folder). patienceMs: how long a start waits for a copy that holds the
    // lock but does not answer (it may be ending after a restart).
    explicit SingleInstance(QString folder = {}, int patienceMs = 10000, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Outcome {
        First,       // this process is the running copy now
        Forwarded,   // the running copy was asked to come forward
        Unanswered,  // a running copy holds the lock but never answered
    };
    Outcome acquire();

    // A restart is about to start the next copy: this one stops answering,
    // so that the next one waits for the lock instead of ending. Does
    // nothing when no copy holds the lock in this process.
    static void handOver();

    QString lockPath() const;
    QString socketPath() const;

signals:
    // Another start asked for the window; activationToken is what the
    // desktop gave that start to pass focus on (may be empty).
    void activationRequested(const QString& activationToken);

private:
    bool tryLock();
    bool askRunningCopy();
    void listen();
    void stopAnswering();

    QString folder_;
    int patienceMs_;
    int lockFd_ = -1;
    struct Fallback;
    std::unique_ptr<Fallback> fallback_;  // where there is no flock()
    QLocalServer* server_ = nullptr;
    static SingleInstance* current_;
};

}  // namespace tavix

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QLocalServer;

namespace tavix {

// One running copy of the program per user. The first copy holds a lock in
// the user's runtime folder and one beside the pending timing in the data
// folder, which the system releases when that copy ends, however it ends; a
// later start asks it to bring its window forward and ends. A lock or a
// socket left by a copy that died never blocks a start. A folder that can
// hold no lock (read-only, full) is passed over; when none can, the start is
// refused rather than risk two copies sharing one timing.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folders: where locks and sockets live, in the order they are taken
    // (empty: the user's runtime folder, then the data folder). patienceMs:
    // how long a start waits for a copy that holds a lock but does not
    // answer (it may be ending after a restart).
    explicit SingleInstance(QStringList folders = {}, int patienceMs = 10000,
                            QObject* parent = nullptr);
    explicit SingleInstance(const QString& folder, int patienceMs = 10000,
                            QObject* parent = nullptr)
        : SingleInstance(QStringList{folder}, patienceMs, parent) {}
    ~SingleInstance() override;

    enum class Outcome {
        First,       // this process is the running copy now
        Forwarded,   // the running copy was asked to come forward
        Unanswered,  // a running copy holds the lock but never answered
        NoLock,      // no folder can hold a lock: whether a copy runs is unknown
    };
    Outcome acquire();

    const QStringList& folders() const { return folders_; }

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
    enum class Lock { Taken, Busy, Impossible };
    Lock tryLock();
    void releaseLocks();
    bool askRunningCopy();
    void listen();
    void answer(QLocalServer* server);
    void stopAnswering();

    QStringList folders_;
    QStringList locked_;  // the folders whose lock this copy holds
    int patienceMs_;
    std::vector<int> lockFds_;
    struct Fallback;
    std::vector<std::unique_ptr<Fallback>> fallbacks_;  // where there is no flock()
    std::vector<QLocalServer*> servers_;
    static SingleInstance* current_;
};

}  // namespace tavix

#pragma once

#include <QString>
#include <atomic>

namespace tavix::db {

// Told when the program has waited on a database server for longer than
// kShowWaitAfterMs, and again when that wait ends, so the windows can show
// it. Set by whoever shows it; nothing is told while none is set.
class WaitWatcher {
public:
    virtual ~WaitWatcher() = default;
    virtual void waitBegins(const QString& server) = 0;
    virtual void waitEnds() = 0;

protected:
    WaitWatcher() = default;
};

inline constexpr int kShowWaitAfterMs = 100;

void setWaitWatcher(WaitWatcher* watcher);
WaitWatcher* waitWatcher();

// On the calling thread, a wait on a server gives up as soon as *flag is
// set (nullptr: never): a thread that must end does not wait for the
// network first.
void setGiveUpFlag(const std::atomic<bool>* flag);
bool givingUp();

}  // namespace tavix::db

#include "data/engine/ServerWait.h"

namespace tavix::db {

namespace {
WaitWatcher* current = nullptr;
thread_local const std::atomic<bool>* giveUp = nullptr;
}  // namespace

void setWaitWatcher(WaitWatcher* watcher) { current = watcher; }
WaitWatcher* waitWatcher() { return current; }

void setGiveUpFlag(const std::atomic<bool>* flag) { giveUp = flag; }
bool givingUp() { return giveUp && giveUp->load(); }

}  // namespace tavix::db

#pragma once

// File permissions do not hold for root: while an Unprivileged lives, this
// thread's file accesses are checked as those of an ordinary user, so tests
// of read-only files also mean something when the tests run as root.

#ifdef __linux__
#include <sys/fsuid.h>
#include <unistd.h>
#endif

namespace tavix::test {

class Unprivileged {
public:
    Unprivileged() {
#ifdef __linux__
        if (geteuid() == 0) {
            setfsuid(kNobody);
            active_ = true;
        }
#endif
    }
    ~Unprivileged() {
#ifdef __linux__
        if (active_) setfsuid(0);
#endif
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

private:
    static constexpr unsigned kNobody = 65534;
    bool active_ = false;
};

}  // namespace tavix::test

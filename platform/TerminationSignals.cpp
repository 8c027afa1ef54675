#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace tavix {

#ifdef Q_OS_UNIX

namespace {

const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[3];

// Runs in the signal's context: only writes the number to the pipe.
void onSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (gPipe[0] >= 0 || ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("tavix: the end-of-session signals cannot be watched");
        return;
    }
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(gPipe[0], &byte, 1) == 1) emit received(static_cast<unsigned char>(byte));
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &gPrevious[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    delete notifier_;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

#else

// Windows ends a program's session through its windows, which close the
// ordinary way.
TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {}
TerminationSignals::~TerminationSignals() = default;

#endif

}  // namespace tavix

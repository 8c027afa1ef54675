#include "data/engine/pg/PgWait.h"

#include <poll.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <cerrno>
#include <optional>

#include "data/engine/ServerWait.h"

namespace tavix::db::pg {

namespace {

// Mouse and keyboard input meant for the windows that are up when the wait
// begins is dropped: a click run now would find the connection busy, and a
// click run afterwards would act on a window that has changed meanwhile (a
// second click on a stop would start the timing again). A window opened
// during the wait (a message box) takes its input as usual.
class InputHold : public QObject {
public:
    InputHold() : level_(QThread::currentThread()->loopLevel()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputHold() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    bool eventFilter(QObject*, QEvent* event) override {
        if (QThread::currentThread()->loopLevel() != level_) return false;
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Wheel:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::ContextMenu:
                return true;
            case QEvent::Close:
                event->ignore();
                return true;
            default:
                return false;
        }
    }

private:
    int level_;
};

// Unnoticed by anyone, well under the moment a wait is shown.
constexpr qint64 kQuietMs = 40;

bool onMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

Ready waitForSocket(int socket, bool forWriting, const QDeadlineTimer& deadline,
                    const QString& server) {
    const bool turnLoop = onMainThread();
    std::optional<InputHold> hold;  // from the first turn of the loop
    QElapsedTimer waited;
    waited.start();
    bool shown = false;
    struct Shown {
        bool& on;
        ~Shown() {
            if (on)
                if (WaitWatcher* w = waitWatcher()) w->waitEnds();
        }
    } tellEnd{shown};
    for (;;) {
        int slice = turnLoop ? 15 : 250;
        if (givingUp()) return Ready::TimedOut;
        if (!deadline.isForever()) {
            const qint64 left = deadline.remainingTime();
            if (left == 0) return Ready::TimedOut;
            if (left < slice) slice = static_cast<int>(left);
        }
        pollfd p{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
        const int n = ::poll(&p, 1, slice);
        // Ready, closed or failed: libpq itself finds out which.
        if (n > 0 || (n < 0 && errno != EINTR)) return Ready::Yes;
        // A short wait turns nothing: most statements are answered well
        // within it, and a loop turned in the middle of every one costs a
        // long read a good part of its speed.
        if (!turnLoop || waited.elapsed() < kQuietMs) continue;
        if (!hold) hold.emplace();
        if (!shown && waited.elapsed() >= kShowWaitAfterMs) {
            shown = true;
            if (WaitWatcher* w = waitWatcher()) w->waitBegins(server);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

}  // namespace tavix::db::pg

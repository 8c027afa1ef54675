#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "platform/DateTime.h"

namespace tavix {

class TForm1;

// Time away from the keyboard during a timing: idle past the "absence"
// threshold, or the machine asleep (logind's signal, or the wall clock
// boot-time clock running ahead of the monotonic one; never a wall clock
// set by hand). On the user's return one question names the period and
// offers to keep it, or to store the timing up to its start and then go on
// or stop. The question waits for modal windows to close, and is never
// asked from inside a tick: the stopwatch and its saves go on behind it.
class AwayWatcher : public QObject {
    Q_OBJECT
public:
    // Looks after each tick of the window's timing.
    explicit AwayWatcher(TForm1& form);

    // One look at the idle time and the clocks; asks when the user is back.
    void poll();

    // The answers, in the question's order.
    enum Answer { Keep = 0, RemoveAndContinue = 1, RemoveAndStop = 2 };

    // The question for an absence from `from` to `to`.
    static QString question(const DateTime& from, const DateTime& to);

private:
    struct Moment {
        DateTime wall;
        qint64 mono = 0;
        qint64 boot = 0;
        Moment before(qint64 ms) const {
            return {DateTime::fromMSecs(wall.toMSecs() - ms), mono - ms, boot - ms};
        }
    };
    struct Absence {
        Moment from;
        Moment to;
        qint64 sleptMs = 0;  // of it, time the monotonic clock did not count
    };

    void onSleeping();
    void onResumed();
    Moment now() const;
    void reset();
    bool watching();
    void record(const Absence& absence);
    void askIfPossible();
    Moment lastInput(const Moment& at) const;

    TForm1& form_;
    bool asking_ = false;
    // The timing watched, known by its start; the threshold read for it.
    std::optional<DateTime> timing_;
    qint64 thresholdMs_ = 0;
    // Nothing before this moment counts as away: the timing's start, or the
    // end of an absence already dealt with.
    Moment notBefore_;
    std::optional<Moment> lastPoll_;
    std::optional<qint64> lastIdle_;   // at the last poll
    std::optional<Moment> idleSince_;  // idle past the threshold since
    std::optional<Moment> asleepSince_;
    std::optional<Absence> pending_;  // waiting to be asked
};

}  // namespace tavix

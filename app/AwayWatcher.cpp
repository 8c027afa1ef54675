#include "app/AwayWatcher.h"

#include <QApplication>
#include <QDateTime>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/Unit1.h"
#include "platform/Idle.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "platform/Sleep.h"
#include "settings/outils.h"

namespace tavix {

namespace {

// Boot-time gains over the monotonic clock smaller than this are the
// kernel's bookkeeping, not sleep.
constexpr qint64 kSleepJumpMs = 5000;

QString minutesText(qint64 secs) {
    const qint64 minutes = (secs + 30) / 60;
    if (minutes < 60) return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QChar(u'0'));
}

}  // namespace

AwayWatcher::AwayWatcher(TForm1& form) : QObject(&form), form_(form) {
    // Queued: a question asked from inside the tick would hold the ticks
    // (and the 30-second saves) up while it stands.
    connect(form.Timing, &TimingSession::ticked, this, guarded([this] { poll(); }),
            Qt::QueuedConnection);
    SleepSource& sleep = sleepSource();
    connect(&sleep, &SleepSource::sleeping, this, guarded([this] { onSleeping(); }));
    connect(&sleep, &SleepSource::resumed, this, guarded([this] { onResumed(); }));
}

QString AwayWatcher::question(const DateTime& from, const DateTime& to) {
    const auto hm = [](const DateTime& t) { return t.time().toString(QStringLiteral("HH:mm")); };
    const QString length = minutesText(from.secsTo(to));
    if (from.date() == to.date())
        return QStringLiteral("Vous étiez absent de %1 à %2 (%3).").arg(hm(from), hm(to), length);
    return QStringLiteral("Vous étiez absent du %1 à %2 au %3 à %4 (%5).")
        .arg(regional::dateToText(from.date()), hm(from), regional::dateToText(to.date()), hm(to),
             length);
}

AwayWatcher::Moment AwayWatcher::now() const {
    return {clock().now(), clock().monotonicMs(), clock().bootMs()};
}

void AwayWatcher::reset() {
    timing_.reset();
    lastIdle_.reset();
    idleSince_.reset();
    asleepSince_.reset();
    pending_.reset();
}

// Whether the running timing is watched; a new timing starts afresh.
bool AwayWatcher::watching() {
    const TimingSession& timing = *form_.Timing;
    if (!timing.running()) {
        reset();
        return false;
    }
    if (!timing_ || *timing_ != timing.start()) {
        reset();
        timing_ = timing.start();
        const Moment current = now();
        const qint64 since = std::max<qint64>(0, current.mono - timing.startMs());
        notBefore_ = {timing.start(), current.mono - since, current.boot - since};
        thresholdMs_ = 0;  // a bad setting is told once, and turns the watch off
        thresholdMs_ = qint64(ReadAwayMinutes()) * 60000;
    }
    return thresholdMs_ > 0;
}

// The last input as last known: `at` less the idle time then.
AwayWatcher::Moment AwayWatcher::lastInput(const Moment& at) const {
    if (!lastIdle_) return at;
    const Moment input = at.before(*lastIdle_);
    return input.mono < notBefore_.mono ? notBefore_ : input;
}

void AwayWatcher::poll() {
    if (asking_) return;
    const Moment current = now();
    const std::optional<Moment> previous = std::exchange(lastPoll_, current);
    if (!watching()) return;

    // Slept between two looks: the boot-time clock ran on, the monotonic one
    // not. The wall clock says nothing: it is set by hand too.
    if (previous) {
        const qint64 gained = (current.boot - previous->boot) - (current.mono - previous->mono);
        if (gained > kSleepJumpMs) {
            const Moment from = asleepSince_ ? *asleepSince_ : lastInput(*previous);
            asleepSince_.reset();
            record({from, current, gained});
        }
    }

    if (const std::optional<qint64> idle = idleSource().idleMs()) {
        const Moment input = current.before(*idle);
        const Moment since = input.mono < notBefore_.mono ? notBefore_ : input;
        if (idleSince_) {
            // An input since the last look: back.
            if (since.mono > idleSince_->mono + 1000) {
                const Moment from = *std::exchange(idleSince_, std::nullopt);
                record({from, since, 0});
            }
        } else if (current.mono - since.mono >= thresholdMs_) {
            idleSince_ = since;
        }
        lastIdle_ = *idle;
    } else {
        lastIdle_.reset();
    }
    askIfPossible();
}

void AwayWatcher::onSleeping() {
    if (!watching() || asleepSince_) return;
    const Moment current = now();
    asleepSince_ = idleSince_ ? *idleSince_ : lastInput(current);
}

// Woken: the monotonic clock stood still meanwhile, so the next look sees
// the jump; looking now tells it at once.
void AwayWatcher::onResumed() {
    if (asking_) return;
    poll();
    asleepSince_.reset();  // no jump: the sleep did not happen
}

// A sleep shorter than the threshold counts as timed, as kept; a longer one
// joins an absence waiting to be asked.
void AwayWatcher::record(const Absence& absence) {
    idleSince_.reset();
    const Moment from = absence.from.mono < notBefore_.mono ? notBefore_ : absence.from;
    notBefore_ = absence.to;
    const qint64 length = absence.to.boot - from.boot;
    if (pending_) {
        pending_->to = absence.to;
        pending_->sleptMs += absence.sleptMs;
        return;
    }
    if (length < thresholdMs_) {
        if (absence.sleptMs > 0) form_.Timing->addSlept(absence.sleptMs);
        return;
    }
    pending_ = Absence{from, absence.to, absence.sleptMs};
}

void AwayWatcher::askIfPossible() {
    if (!pending_ || asking_ || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget())
        return;
    const Absence absence = *std::exchange(pending_, std::nullopt);
    asking_ = true;
    const int answer =
        messageBoxes().choose(question(absence.from.wall, absence.to.wall),
                              {QStringLiteral("&Garder"), QStringLiteral("Retirer et &continuer"),
                               QStringLiteral("Retirer et &arrêter")});
    // The timing may have been stopped meanwhile (from the tray): the
    // answer was about that one only.
    TimingSession& timing = *form_.Timing;
    const bool same = timing.running() && timing_ && *timing_ == timing.start();
    bool cut = false;
    if (same && (answer == RemoveAndContinue || answer == RemoveAndStop)) {
        std::optional<Instant> resume;
        if (answer == RemoveAndContinue) resume = Instant{absence.to.wall, absence.to.mono};
        cut = form_.CutTiming({absence.from.wall, absence.from.mono}, resume);
    }
    if (same && !cut && absence.sleptMs > 0) timing.addSlept(absence.sleptMs);
    asking_ = false;
    // The time the question stood open is no absence; a timing continued
    // is a new one, watched from its start.
    lastPoll_ = now();
    lastIdle_.reset();
    if (timing.running() && timing_ && *timing_ == timing.start()) notBefore_ = *lastPoll_;
}

}  // namespace tavix

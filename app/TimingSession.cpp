#include "app/TimingSession.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QScopeGuard>
#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

#include "platform/Error.h"
#include "platform/Services.h"

namespace tavix {

namespace {

// How often a running timing rewrites its state file, in timed seconds.
constexpr qint32 kKeepEverySecs = 30;

qint32 wholeSeconds(qint64 ms) {
    return static_cast<qint32>(
        std::clamp<qint64>(ms / 1000, 0, std::numeric_limits<qint32>::max()));
}

}  // namespace

Instant Instant::now() { return {clock().now(), clock().monotonicMs()}; }

DateTime consistentEnd(const DateTime& start, qint64 elapsedMs, const DateTime& wallEnd) {
    const DateTime measured = start.addMSecs(std::max<qint64>(0, elapsedMs));
    // Within a second the wall clock is the better name of the moment; a
    // larger gap is the clock set by hand, or a zone change.
    if (wallEnd >= start && std::abs(wallEnd.toMSecs() - measured.toMSecs()) < 1000) return wallEnd;
    return measured;
}

TimingSession::TimingSession(PendingTiming::Log log, QString pendingPath, QObject* parent)
    : QObject(parent), log_(std::move(log)), pending_(std::move(pendingPath)) {}

qint32 TimingSession::elapsedSeconds(const Instant& at) const {
    return running_ ? wholeSeconds(at.mono - start_.mono) : 0;
}

// The seconds between two moments as the log keeps them, each to the
// second: the stored duration is then exactly its end less its start, and
// a timing cut in two loses and doubles nothing.
namespace {
qint32 storedSeconds(const DateTime& start, const DateTime& end) {
    const auto second = [](const DateTime& t) {
        const qint64 ms = t.toMSecs();
        return ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    };
    return wholeSeconds((second(end) - second(start)) * 1000);
}
}  // namespace

LogEntry TimingSession::entryAt(const Instant& at) const {
    const qint64 ms = std::max<qint64>(0, at.mono - start_.mono);
    const DateTime end = consistentEnd(start_.wall, ms, at.wall);
    return {user_,   client(), activity_, start_.wall, end, storedSeconds(start_.wall, end),
            comment_};
}

TimingState TimingSession::stateAt(const Instant& at) const {
    const LogEntry entry = entryAt(at);
    TimingState state;
    state.database = database_;
    state.activityId = activityId_;
    state.activity = activity_;
    state.start = start_.wall;
    state.elapsedSeconds = entry.duration;
    state.client = entry.client;
    state.comment = comment_;
    // Never before the start plus what it claims: a record read back must
    // hold its own elapsed time.
    state.lastSeen = entry.end;
    state.key = key_;
    return state;
}

bool TimingSession::startTiming(int activityId, const QString& activity, const Instant& at,
                                const QString& selectedClient, const QString& comment) {
    if (running_) return false;
    running_ = true;
    activityId_ = activityId;
    activity_ = activity;
    start_ = at;
    selected_ = selectedClient;
    comment_ = comment;
    stopping_.reset();
    key_ = newEntryKey();
    keptAt_ = 0;
    runGuarded([this] { keep(); });
    emit started();
    return true;
}

void TimingSession::setSelectedClient(const QString& client) {
    if (client == selected_) return;
    selected_ = client;
    if (!running_) return;
    runGuarded([this] { keep(); });
    emit changed();
}

void TimingSession::setChosenClient(const QString& client, bool added) {
    clientAdded_ = clientAdded_ || added;
    if (client == chosen_) return;
    chosen_ = client;
    if (!running_) return;
    runGuarded([this] { keep(); });
    emit changed();
}

void TimingSession::setComment(const QString& comment) {
    if (comment == comment_) return;
    comment_ = comment;
    if (running_) emit changed();
}

void TimingSession::addSlept(qint64 ms) {
    if (!running_ || ms <= 0) return;
    start_.mono -= ms;
    emit changed();
}

void TimingSession::beginStop(const Instant& at) {
    if (running_ && !stopping_) stopping_ = at;
}

void TimingSession::abandonStop() { stopping_.reset(); }

void TimingSession::storeAt(const Instant& at) {
    const LogEntry entry = entryAt(at);
    // The clock keeps ticking while the server is waited for; its saves must
    // not put back a state file without the entry.
    storing_ = true;
    const auto done = qScopeGuard([this] { storing_ = false; });
    try {
        PendingTiming::store(pending_.path(), stateAt(at), entry, log_);
    } catch (...) {
        // Refused: the timing goes on; the next stop is a moment of its own.
        stopping_.reset();
        throw;
    }
    finish();
    emit stopped(entry);
}

bool TimingSession::stop(const Instant& at) {
    // Asked again while the server is waited for: the first stop holds.
    if (!running_ || storing_) return false;
    const Instant moment = stopping_.value_or(at);
    if (client().isEmpty()) {
        stopping_.reset();
        return false;
    }
    storeAt(moment);
    return true;
}

bool TimingSession::cut(const Instant& end, const std::optional<Instant>& resume) {
    if (!running_ || storing_ || client().isEmpty()) return false;
    const int id = activityId_;
    const QString activity = activity_;
    const QString selected = selected_;
    const QString chosen = chosen_;
    const QString user = user_;
    if (end.mono - start_.mono >= 1000) {
        storeAt(end);
    } else {
        // Not a second up to the absence: nothing worth an entry.
        pending_.remove();
        finish();
        emit stopped({});
    }
    if (resume) {
        startTiming(id, activity, *resume, selected);
        if (selected.isEmpty()) setChosenClient(chosen, false);
    }
    return true;
}

void TimingSession::drop() {
    if (!running_ || storing_) return;
    pending_.remove();
    finish();
    emit stopped({});
}

void TimingSession::finish() {
    running_ = false;
    activityId_ = 0;
    activity_.clear();
    selected_.clear();
    chosen_.clear();
    comment_.clear();
    stopping_.reset();
    key_.clear();
    keptAt_ = 0;
}

void TimingSession::keep() {
    if (!running_ || storing_) return;
    const Instant at = Instant::now();
    keptAt_ = elapsedSeconds(at);
    pending_.save(stateAt(at));
}

void TimingSession::tick(const Instant& at) {
    if (running_ && elapsedSeconds(at) - keptAt_ >= kKeepEverySecs) {
        try {
            keep();
        } catch (...) {
            // A box opened from the tick would hold the ticks up behind it.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [error = std::current_exception()] { reportException(error); },
                Qt::QueuedConnection);
        }
    }
    emit ticked();
}

}  // namespace tavix

#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <utility>

#include "data/PendingTiming.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"

namespace tavix {

// One instant read on both clocks: the wall clock names it, the monotonic
// one measures from it.
struct Instant {
    DateTime wall;
    qint64 mono = 0;
    static Instant now();
};

// The running timing, without any window: what is timed, for whom, since
// when, and the entry a stop stores. The tracking window, the tray, the
// away-time watcher and the desktop bus all follow it through its signals.
//
// The duration is always the monotonic time between the start and the
// instant of the stop, and the end is taken at that same instant; when the
// wall clock moved meanwhile (set back or forward by hand), the end is the
// start plus the duration, so that no entry ends before it starts.
class TimingSession : public QObject {
    Q_OBJECT
public:
    explicit TimingSession(PendingTiming::Log log, QString pendingPath = paths::pendingTimingPath(),
                           QObject* parent = nullptr);

    // ---- state
    bool running() const { return running_; }
    int activityId() const { return activityId_; }
    QString activity() const { return activity_; }
    DateTime start() const { return start_.wall; }
    qint64 startMs() const { return start_.mono; }
    // The selected client, else the chooser's answer kept; empty when not
    // known yet.
    QString client() const { return selected_.isEmpty() ? chosen_ : selected_; }
    QString selectedClient() const { return selected_; }
    QString chosenClient() const { return chosen_; }
    // Whether the chooser added a client for this timing; the restart it
    // calls for is asked once, after the entry is stored.
    bool clientAdded() const { return clientAdded_; }
    bool takeClientAdded() { return std::exchange(clientAdded_, false); }
    QString comment() const { return comment_; }
    // Whole seconds timed at `at` (now by default); 0 while idle.
    qint32 elapsedSeconds(const Instant& at) const;
    qint32 elapsedSeconds() const { return elapsedSeconds(Instant::now()); }
    // Set from the click that stops until the entry is stored or the stop
    // abandoned: the moment the entry will end at.
    std::optional<Instant> stopping() const { return stopping_; }
    // Names the timing in a server's log; made when it starts.
    const QString& key() const { return key_; }
    // True while its entry is on its way into the log (the state file then
    // holds the entry and must not be rewritten).
    bool storing() const { return storing_; }

    // ---- what is stored
    void setDatabase(const QString& database) { database_ = database; }
    // The user named in the entries (empty: none).
    void setUser(const QString& user) { user_ = user; }
    // The entry the timing would be stored as if stopped at `at`.
    LogEntry entryAt(const Instant& at) const;
    // The state file's record at `at`.
    TimingState stateAt(const Instant& at) const;
    const QString& pendingPath() const { return pending_.path(); }

    // ---- changes
    // False (and nothing changes) while a timing runs.
    bool startTiming(int activityId, const QString& activity, const Instant& at,
                     const QString& selectedClient = {}, const QString& comment = {});
    void setSelectedClient(const QString& client);
    void setChosenClient(const QString& client, bool added);
    void setComment(const QString& comment);
    // Time the monotonic clock missed (the machine asleep), counted as timed.
    void addSlept(qint64 ms);

    // The stop's moment is that of the click; the chooser or a refusal
    // may come between.
    void beginStop(const Instant& at);
    void abandonStop();
    // Stores the entry ending at the stop begun (or `at` when none was);
    // the state file goes with it. Raises when the log refuses: the timing
    // then goes on unchanged. False when idle or without a client.
    bool stop(const Instant& at);
    // Stores the timing up to `end` (an absence begins there) and, with
    // `resume`, times the same activity for the same client again from
    // then. Less than a second up to `end` stores nothing. False when idle
    // or without a client; raises as stop() does.
    bool cut(const Instant& end, const std::optional<Instant>& resume);
    // Drops the running timing without storing it.
    void drop();

    // The state file rewritten now (whatever fails is raised once).
    void keep();
    // One tick: the 30-second save, then ticked(). A failing save is told
    // after the tick, never from inside it.
    void tick(const Instant& at);

signals:
    void started();
    // The timing ended; `entry` is what was stored, an empty one (no
    // activity) when nothing was.
    void stopped(const tavix::LogEntry& entry);
    // Client, comment or start changed during the timing.
    void changed();
    void ticked();

private:
    void finish();
    void storeAt(const Instant& at);

    PendingTiming::Log log_;
    PendingTiming pending_;
    QString database_;
    QString user_;
    bool running_ = false;
    int activityId_ = 0;
    QString activity_;
    Instant start_;
    QString selected_;
    QString chosen_;
    bool clientAdded_ = false;
    QString comment_;
    std::optional<Instant> stopping_;
    QString key_;
    bool storing_ = false;
    qint32 keptAt_ = 0;
};

// The entry's end for a timing of `start` measured `elapsedMs` long,
// the wall clock reading `wallEnd` then: the wall clock unless it moved.
DateTime consistentEnd(const DateTime& start, qint64 elapsedMs, const DateTime& wallEnd);

}  // namespace tavix

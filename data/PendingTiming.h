#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "platform/DateTime.h"
#include "platform/Paths.h"

namespace tavix {

// One log entry exactly as it goes into table activites.
struct LogEntry {
    QString user;
    QString client;
    QString activity;
    DateTime start;
    DateTime end;
    qint32 duration = 0;
    QString comment;

    bool operator==(const LogEntry&) const = default;
};

// A timing being stored: its entry, and how many rows equal to it the log
// held before the insert. More rows than that afterwards: it is stored.
struct Stopping {
    LogEntry entry;
    qint64 rowsBefore = 0;

    bool operator==(const Stopping&) const = default;
};

// What is known of a running timing: enough to store it later.
struct TimingState {
    QString database;  // the database the entry belongs to
    int activityId = 0;
    QString activity;
    DateTime start;
    qint32 elapsedSeconds = 0;  // the stopwatch at lastSeen
    QString client;             // empty when none is selected
    QString comment;
    DateTime lastSeen;  // the last moment the program was known to run
    // Names this timing in the log of a server, made once when it starts: a
    // retried insert never gives it twice, and two timings of equal values
    // (two people on one machine) never collapse into one row.
    QString key;
    // Set from just before the entry goes into the log until the file goes
    // away: the entry may be stored already.
    std::optional<Stopping> stopping;

    bool operator==(const TimingState&) const = default;
};

// The file that keeps a running timing across a crash, a power cut or a
// restart, so that the next start can still store it.
class PendingTiming {
public:
    explicit PendingTiming(QString path = paths::pendingTimingPath());
    const QString& path() const { return path_; }

    // Replaces the file atomically. While writes keep failing, only the first
    // failure raises (naming the file): a full disk is told once, not every
    // 30 seconds.
    void save(const TimingState& state);
    // The timing was dropped: nothing is pending any more.
    void remove();

    // How the log is reached: count() tells how many rows hold the entry
    // (on a server: the rows stored under its key), insert() stores it under
    // its key and commits.
    struct Log {
        std::function<qint64(const LogEntry&, const QString& key)> count;
        std::function<void(const LogEntry&, const QString& key)> insert;
    };
    // Stores the entry of the timing kept in `file` (its state `state`) so
    // that no crash or power cut at any moment gives it twice or loses it:
    // the file is first rewritten to hold the entry as it goes into the log,
    // then the entry is inserted, then the file goes away. A refused insert
    // raises and puts the file back as it was.
    static void store(const QString& file, TimingState state, const LogEntry& entry,
                      const Log& log);
    // Whether a timing cut off while being stored reached the log.
    static bool stored(const TimingState& state, const Log& log);

    struct Leftover {
        QString file;
        TimingState state;
    };
    struct Leftovers {
        std::vector<Leftover> timings;  // oldest first
        QStringList reports;            // files set aside, one message each
    };
    // The timings earlier runs left behind for `database`. Each is moved to a
    // name of its own, so a new timing never overwrites one that could not be
    // stored yet; it stays until forget(). A file that cannot be read back or
    // that belongs to another database is set aside under another name, so
    // it is reported once only.
    Leftovers collect(const QString& database);
    static void forget(const Leftover& leftover);

    static QByteArray encode(const TimingState& state);
    // False when the text is not a complete state as encode() writes it.
    // Its times and labels are whatever the clock and the user gave.
    static bool decode(const QByteArray& text, TimingState& state);

private:
    QString path_;
    bool failing_ = false;
};

// A new key for a timing: random, never made from its values.
QString newEntryKey();
// The key earlier versions gave an entry, from its values and the host: a
// timing they left half stored keeps it, so it is not stored twice.
QString legacyEntryKey(const LogEntry& entry);

}  // namespace tavix

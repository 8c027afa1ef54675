#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/DateTime.h"
#include "platform/Paths.h"

namespace tavix {

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
    // The timing was stored or dropped: nothing is pending any more.
    void remove();

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
    static bool decode(const QByteArray& text, TimingState& state);

private:
    QString path_;
    bool failing_ = false;
};

}  // namespace tavix

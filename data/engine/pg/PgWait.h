#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace tavix::db::pg {

enum class Ready { Yes, TimedOut };

// Waits until the socket can be read (or written) or the deadline passes.
// On the program's main thread the event loop keeps turning meanwhile (the
// clock ticks, the windows paint), input to the windows is set aside
// rather than run against a connection that is busy, and a wait longer
// than kShowWaitAfterMs is told to the wait watcher, naming `server`.
// Elsewhere it simply waits.
Ready waitForSocket(int socket, bool forWriting, const QDeadlineTimer& deadline,
                    const QString& server);

}  // namespace tavix::db::pg

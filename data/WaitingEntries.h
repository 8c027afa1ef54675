#pragma once

#include <QString>
#include <vector>

#include "data/PendingTiming.h"
#include "platform/DateTime.h"

namespace tavix {

// Log entries a database server could not take when they were stopped,
// kept on this workstation (one file each, written atomically) until the
// server answers again. Each carries the key the row is stored under, so an
// entry whose insert reached the server before the connection broke is not
// stored twice.
class WaitingEntries {
public:
    explicit WaitingEntries(QString folder = defaultFolder());
    static QString defaultFolder();
    const QString& folder() const { return folder_; }

    // Throws tavix::Error naming the file when it cannot be written.
    void keep(const QString& database, const QString& key, const LogEntry& entry);

    struct Waiting {
        QString file;
        QString key;
        LogEntry entry;
    };
    // The entries waiting for `database`, oldest first.
    std::vector<Waiting> list(const QString& database) const;
    static void done(const Waiting& waiting);

private:
    QString folder_;
};

}  // namespace tavix

#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>

#include "consult/Entries.h"

namespace tavix {

// The entries as an iCalendar file (RFC 5545), written by libical: one
// event per entry with its start and end in the local time zone (with the
// zone's definition), the summary "activity – client", the comment as the
// description and a UID that stays the same for the same entry in every
// export.
class IcsWriter {
public:
    // zoneId: an IANA zone ("Europe/Paris"); empty: the system's. A zone
    // libical does not know gives times in UTC.
    IcsWriter(const QString& zoneId, const DateTime& stamp);
    ~IcsWriter();
    IcsWriter(const IcsWriter&) = delete;
    IcsWriter& operator=(const IcsWriter&) = delete;

    void add(const Entry& e);
    QByteArray take();

    // Made from what names the entry (user, activity, client, start), not
    // from its row number, which a purge or a copy of the base changes;
    // `occurrence` tells apart identical entries.
    static QString uidFor(const Entry& e, int occurrence);

private:
    struct Calendar;
    std::unique_ptr<Calendar> calendar_;
    QHash<QString, int> seen_;
};

}  // namespace tavix

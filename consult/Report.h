#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

#include "platform/DateTime.h"

namespace tavix {

// What "&Voir" selects: the report's statement and the grid's filter.
struct ReportSelection {
    QString statement;
    QString filter;  // empty when everything is shown
};

// activity, client: the lists' texts ("Tous" selects every one);
// start, end: the pickers' date-times; all: "Tout" ticked.
ReportSelection BuildReportSelection(const QString& activity, const QString& client,
                                     const DateTime& start, const DateTime& end, bool all);

// Writes the report as UTF-8 text, one log entry at a time, with the
// widths of its six columns (user, activity, client, start, end, duration)
// and the total.
class ReportWriter {
public:
    struct Entry {
        QString user, activity, client, start, end;  // dates as date-time text
        DateTime startValue, endValue;
        qint32 duration = 0;
        QString comment;
    };

    explicit ReportWriter(bool withComments) : withComments_(withComments) {}

    void add(const Entry& entry);
    // Appends the separator and the total line and hands the text over.
    QByteArray finish();

    int rows() const { return rows_; }
    const std::array<qint32, 6>& widths() const { return widths_; }

private:
    bool withComments_;
    QByteArray text_;
    std::array<qint32, 6> widths_{};
    DateTime first_, last_;  // zero: none yet
    qint64 total_ = 0;
    int rows_ = 0;
};

}  // namespace tavix

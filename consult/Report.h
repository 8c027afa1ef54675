#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "consult/Entries.h"
#include "controls/ReportText.h"
#include "platform/DateTime.h"

namespace tavix {

namespace db {
class Connection;
class Query;
}  // namespace db

class Summary;

// What "&Voir" selects: the report's statement and the grid's filter.
struct ReportSelection {
    QString statement;
    QString filter;  // empty when everything is shown
    // What the report reads: the statement's rows in its order, a period
    // searched between its two dates (empty: the statement itself).
    QString search;
};

// activity, client: the lists' texts ("Tous" selects every one);
// start, end: the pickers' date-times; all: "Tout" ticked.
ReportSelection BuildReportSelection(const QString& activity, const QString& client,
                                     const DateTime& start, const DateTime& end, bool all);

// Writes the report, one log entry at a time, with the widths of its six
// columns (user, activity, client, start, end, duration) and the total.
class ReportWriter {
public:
    struct Entry {
        QString user, activity, client, start, end;  // dates as date-time text
        DateTime startValue, endValue;
        qint32 duration = 0;
        QString comment;
    };
    // The same as UTF-8, as read from the database.
    struct Cells {
        QByteArrayView user, activity, client, start, end;
        DateTime startValue, endValue;
        qint32 duration = 0;
        QByteArrayView comment;
    };

    explicit ReportWriter(bool withComments);

    void add(const Entry& entry);
    void add(const Cells& cells);
    // Appends the separator and the total line; the text is then complete.
    void finishText();
    // finishText(), and the whole text as one array.
    QByteArray finish();

    int rows() const { return rows_; }
    bool withComments() const { return withComments_; }
    const std::array<qint32, 6>& widths() const { return widths_; }
    const std::shared_ptr<ReportText>& text() const { return text_; }

private:
    bool withComments_;
    std::shared_ptr<ReportText> text_;
    std::array<qint32, 6> widths_{};
    DateTime first_, last_;  // zero: none yet
    qint64 total_ = 0;
    int rows_ = 0;
};

// Reads the entries of a selection and writes their report, in slices of
// bounded time so the window keeps answering. Reads through a query of its
// own, so nothing done meanwhile on the shared query touches it.
class ReportReader {
public:
    ReportReader(db::Connection& connection, const ReportSelection& selection, bool withComments);
    ~ReportReader();

    // Reads for about budgetMs (every row when negative); true when the
    // report is complete.
    bool read(qint64 budgetMs);

    const ReportWriter& writer() const { return writer_; }
    const std::shared_ptr<ReportText>& text() const { return writer_.text(); }

    // Each entry read is added to these totals too, so that the billing
    // needs no second reading of the same rows.
    void feed(std::shared_ptr<Summary> totals) { totals_ = std::move(totals); }

private:
    void readRow();

    std::unique_ptr<db::Query> query_;
    ReportWriter writer_;
    bool frenchDates_ = false;
    bool datesTyped_[2] = {false, false};
    // Per row, kept here so that no row pays for making them.
    QByteArray slow_[7];
    ReportWriter::Cells cells_;
    char dates_[2][19];
    std::shared_ptr<Summary> totals_;
    SharedNames names_;
    tavix::Entry entry_;
};

}  // namespace tavix

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "consult/Summary.h"

namespace tavix {

// CSV as a French spreadsheet opens it: UTF-8 with a byte-order mark, ";"
// between fields, CR LF after each record (RFC 4180 otherwise: a field
// holding ";", a quote, a line break or a tab is quoted, quotes doubled,
// line breaks inside kept).
//
// A text that starts as a formula would ("=", "+", "-", "@", tab, CR) is
// written with a leading apostrophe and quoted, so that a spreadsheet shows
// it instead of running it: names and comments are whatever a user typed,
// or a file someone sent. Figures the program computed are written as they
// are and stay numbers.
class CsvWriter {
public:
    // One field of a record: text unless made by figure().
    class Field {
    public:
        Field(const QString& text) : value(text) {}  // NOLINT: a text converts as itself
        QString value;
        bool figure = false;
    };
    static Field figure(const QString& value) {
        Field f(value);
        f.figure = true;
        return f;
    }

    CsvWriter();
    void record(const QList<Field>& fields);
    void record(const QStringList& texts);
    QByteArray take() { return std::move(data_); }

    static QString field(const QString& value);
    static QString field(const Field& f);

private:
    QByteArray data_;
};

// "2026-03-02T08:00:00+01:00": the wall-clock time with the local zone's
// offset at that moment.
QString isoLocal(const DateTime& value);

// A title line, then one record per entry: user, activity, client, start
// and end in ISO 8601 and in the regional form, duration in seconds,
// h:mm:ss and decimal hours (and rounded, when rounding is on), comment.
class EntriesCsv {
public:
    // With rates, each entry's rate and, rounded entry by entry, its amount.
    explicit EntriesCsv(const Rounding& rounding, std::shared_ptr<const Rates> rates = {});
    void add(const Entry& e);
    QByteArray take() { return csv_.take(); }

private:
    Rounding rounding_;
    std::shared_ptr<const Rates> rates_;
    CsvWriter csv_;
};

// One grouping of a summary: a title line, one record per line, a total;
// with rates, each line's amount (empty when none of its entries has a
// rate) and how many of its entries have none.
QByteArray summaryCsv(const Summary& summary, Grouping grouping);

}  // namespace tavix

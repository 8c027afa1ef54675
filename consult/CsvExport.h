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
class CsvWriter {
public:
    CsvWriter();
    void record(const QStringList& fields);
    QByteArray take() { return std::move(data_); }

    static QString field(const QString& value);

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
    explicit EntriesCsv(const Rounding& rounding);
    void add(const Entry& e);
    QByteArray take() { return csv_.take(); }

private:
    Rounding rounding_;
    CsvWriter csv_;
};

// One grouping of a summary: a title line, one record per line, a total.
QByteArray summaryCsv(const Summary& summary, Grouping grouping);

}  // namespace tavix

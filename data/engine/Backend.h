#pragma once

#include "data/engine/Internal.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "data/engine/Field.h"
#include "data/engine/FilterExpression.h"
#include "data/engine/Query.h"
#include "platform/DateTime.h"

namespace tavix::db::detail {

// The rows of one statement, read forward once. A new cursor stands before
// its first row.
class Cursor {
public:
    virtual ~Cursor() = default;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    const QList<FieldDef>& fields() const { return fields_; }

    // Onto the next row; false after the last, and the cursor then holds
    // nothing more (no lock, no rows). Throws EngineError.
    virtual bool next() = 0;

    // Cells of the current row.
    virtual bool isNull(int column) const = 0;
    // As stored; text is UTF-8, valid until next().
    virtual Query::Cell cell(int column) const = 0;
    // The cell as UTF-8 text whatever it holds (a number in decimal); empty
    // for NULL; valid until next().
    virtual QByteArrayView utf8(int column) const = 0;
    // The cell read as a whole number (NULL and other text read as 0).
    virtual qint64 integer(int column) const = 0;
    // Typed as type says: null, qlonglong, double, QString or DateTime.
    virtual QVariant value(int column, FieldType type) const = 0;

    // What the query's readers give, the same on every back end: a
    // date-time column in the regional form, NULL as empty text, 0 or the
    // zero date-time.
    QString text(int column) const;
    int asInteger(int column) const;
    DateTime asDateTime(int column) const;

protected:
    Cursor() = default;
    QList<FieldDef> fields_;
};

// One table's rows, each known by a key: a file's rowid, a server's
// primary key (one the engine added where the layout has none, never a
// field). The table dataset reads and writes through this alone.
class TableStore {
public:
    using Values = QVector<QVariant>;
    virtual ~TableStore() = default;
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;

    const QString& table() const { return table_; }
    // The table's columns in column order.
    const QList<FieldDef>& columns() const { return columns_; }
    // The fields fetch() reads and insert()/update() write, in this order.
    void setFields(const QList<FieldDef>& fields) {
        release();
        fields_ = fields;
    }

    // The keys of the rows where keeps (empty: all), sorted by orderBy (an
    // ORDER BY list; empty: the table's own order), ties by key.
    virtual std::vector<qint64> keys(const FilterSql& where, const QString& orderBy) = 0;
    // One row's values; nullopt when it is gone.
    virtual std::optional<Values> fetch(qint64 key) = 0;
    // How many rows one trip should bring: a server's round trip costs far
    // more than a row, so a view's neighbours come with it; a file reads
    // each row where it is.
    virtual int rowsPerTrip() const = 0;
    virtual std::vector<std::pair<qint64, Values>> fetchMany(const std::vector<qint64>& keys) = 0;
    // Stores the given fields of row as a new row; its key.
    virtual qint64 insert(const std::vector<int>& given, const Values& row) = 0;
    // Writes the changed fields of row. On a shared base the row must still
    // hold saved (as read), else RowChangedError and nothing is written; a
    // row gone meanwhile is an EngineError on both.
    virtual void update(qint64 key, const std::vector<int>& changed, const Values& row,
                        const Values& saved) = 0;
    virtual void remove(qint64 key) = 0;
    // Who wrote and last changed a row, where the database records it (a
    // server, in columns only it fills); empty elsewhere.
    virtual QString rowNote(qint64 /*key*/) { return {}; }
    // Lets go of statements kept between reads.
    virtual void release() {}

protected:
    TableStore() = default;
    QString columnList() const;  // the fields, quoted

    QString table_;
    QList<FieldDef> columns_;
    QList<FieldDef> fields_;
};

// What a connection talks to: a database file or a PostgreSQL server. The
// engine's front classes go through this alone; each back end lives in a
// folder of its own (sqlite/, pg/), and openBackend() alone chooses one.
class Backend {
public:
    virtual ~Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // Where the back ends truly differ, asked rather than guessed:
    // several workstations share a server, so a save checks that the row
    // is still as it was read, a row's key may be one the engine added
    // (hidden from the fields), and a stop that cannot be stored waits on
    // the workstation; a file is one workstation's, locked while written.
    virtual bool shared() const = 0;

    // A statement of the program's dialect that returns no rows.
    virtual void execute(const QString& statement) = 0;
    // A statement of the dialect that returns rows; anything else is
    // refused unrun.
    virtual std::unique_ptr<Cursor> open(const QString& statement) = 0;
    // A SELECT in SQLite's own form with "?" marks, each bound to a value
    // (see bindValue) so no value is ever spliced into the text. A long
    // read (streaming) comes in slices of rows rather than whole: on a
    // server through a connection of its own, so other statements may run
    // meanwhile.
    virtual std::unique_ptr<Cursor> openBound(const QString& sql, const QVariantList& values,
                                              bool streaming) = 0;

    // The columns of a table in column order, read from its declaration
    // alone; throws EngineError when there is no such table.
    virtual QList<FieldDef> tableFields(const QString& table) = 0;
    // A table's rows for a dataset; throws EngineError when there is no such
    // table (or, on a server, it has no key to know its rows by).
    virtual std::unique_ptr<TableStore> openTable(const QString& table) = 0;

    virtual void begin() = 0;
    virtual void commit() = 0;  // throws; the transaction is over either way
    virtual void rollback() noexcept = 0;

    // See Backup.h.
    virtual void copyTo(const QString& target) = 0;
    virtual void purge(const QString& table, const QString& target) = 0;

    // A file: how long to wait for another program's lock; a file opened
    // read-only opened anew once it can be written. A server: nothing.
    virtual void setBusyTimeout(int ms) = 0;
    virtual void reopenIfReadOnly() = 0;
    // A server: how long a statement may wait for it (0: the engine's own
    // limit). A file: nothing (its busy timeout decides).
    virtual void setPatience(int ms) = 0;

    // A server's clock, to compare with the workstation's; nullopt for a
    // file, which has none of its own.
    virtual std::optional<QDateTime> serverTime() { return std::nullopt; }

protected:
    Backend() = default;
};

// The one place that decides, from the database setting, which back end
// opens: a libpq URI or keyword string names a server, anything else a file.
std::unique_ptr<Backend> openBackend(const QString& source, int busyTimeoutMs);

// The form a bound value takes, the same for every back end: null; a whole
// number; a double; a date-time in the stored form 'YYYY-MM-DD HH:MM:SS';
// anything else as its text.
struct BoundValue {
    enum Kind { Null, Integer, Double, Text } kind = Null;
    qint64 integer = 0;
    double real = 0;
    QString text;
};
BoundValue bindValue(const QVariant& value);

}  // namespace tavix::db::detail

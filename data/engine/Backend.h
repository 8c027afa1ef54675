#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

#include "data/engine/Field.h"
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

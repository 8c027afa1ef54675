#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>

#include "platform/DateTime.h"

namespace tavix::db {

class Connection;

// One row of a bound select, valid only inside the callback.
class BoundRow {
public:
    virtual QString text(int column) const = 0;
    // The same cell's UTF-8 bytes, read in place (null for NULL); valid
    // until the next row.
    virtual QByteArrayView utf8(int column) const = 0;
    virtual qint64 integer(int column) const = 0;  // NULL reads as 0
    // The stored date-time; the zero date-time for NULL or a text that is
    // no date.
    virtual DateTime dateTime(int column) const = 0;

protected:
    ~BoundRow() = default;
};

// Runs one SQLite SELECT whose values are bound to its "?" marks (a null
// QVariant, an integer, a tavix::DateTime in the stored form, or text), so
// that no value is ever spliced into the statement. Rows are handed over
// one at a time; nothing is kept after the call. Throws EngineError.
void selectBound(Connection& connection, const QString& sql, const QVariantList& values,
                 const std::function<void(const BoundRow&)>& eachRow);

// The same select read a slice at a time, so that a long one can be spread
// over the event loop. The statement lives as long as the cursor, or until
// its last row has been read.
class BoundCursor {
public:
    BoundCursor(Connection& connection, const QString& sql, const QVariantList& values);
    ~BoundCursor();
    BoundCursor(const BoundCursor&) = delete;
    BoundCursor& operator=(const BoundCursor&) = delete;

    // Hands over rows until the last one or until budgetMs has passed (at
    // least one row; a negative budget reads to the end). True once the
    // last row has been read. Throws EngineError.
    bool read(qint64 budgetMs, const std::function<void(const BoundRow&)>& eachRow);
    bool atEnd() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavix::db

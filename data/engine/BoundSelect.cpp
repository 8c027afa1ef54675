#include "data/engine/BoundSelect.h"

#include <QElapsedTimer>

#include "data/engine/ConnectionImpl.h"

namespace tavix::db {

namespace {

// A row of any back end's cursor.
class Row final : public BoundRow {
public:
    explicit Row(const detail::Cursor& c) : c_(c) {}
    QString text(int column) const override { return QString::fromUtf8(c_.utf8(column)); }
    QByteArrayView utf8(int column) const override { return c_.utf8(column); }
    qint64 integer(int column) const override { return c_.integer(column); }
    DateTime dateTime(int column) const override {
        const QVariant v = c_.value(column, FieldType::DateTime);
        return v.userType() == qMetaTypeId<DateTime>() ? v.value<DateTime>() : DateTime();
    }

private:
    const detail::Cursor& c_;
};

}  // namespace

struct BoundCursor::Impl {
    std::unique_ptr<detail::Cursor> cursor;  // null once the last row is read
};

BoundCursor::BoundCursor(Connection& connection, const QString& sql, const QVariantList& values)
    : impl_(std::make_unique<Impl>()) {
    impl_->cursor = detail::backendOf(connection, sql).openBound(sql, values, true);
}

BoundCursor::~BoundCursor() = default;

bool BoundCursor::atEnd() const { return !impl_->cursor; }

bool BoundCursor::read(qint64 budgetMs, const std::function<void(const BoundRow&)>& eachRow) {
    auto& cursor = impl_->cursor;
    if (!cursor) return true;
    QElapsedTimer clock;
    clock.start();
    const Row row(*cursor);
    try {
        do {
            if (!cursor->next()) {
                cursor.reset();  // the read lock, or the server's rows, go with the last row
                return true;
            }
            eachRow(row);
        } while (budgetMs < 0 || clock.elapsed() < budgetMs);
    } catch (...) {
        cursor.reset();
        throw;
    }
    return false;
}

void selectBound(Connection& connection, const QString& sql, const QVariantList& values,
                 const std::function<void(const BoundRow&)>& eachRow) {
    BoundCursor(connection, sql, values).read(-1, eachRow);
}

}  // namespace tavix::db

#include "data/engine/BoundSelect.h"

#include <QElapsedTimer>

#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Statement.h"
#include "data/engine/Values.h"

namespace tavix::db {

namespace {

class Row final : public BoundRow {
public:
    explicit Row(const detail::Statement& s) : s_(s) {}
    QString text(int column) const override { return s_.text(column); }
    qint64 integer(int column) const override { return sqlite3_column_int64(s_.get(), column); }
    DateTime dateTime(int column) const override {
        const QVariant v = detail::readCell(s_.get(), column, FieldType::DateTime);
        return v.userType() == qMetaTypeId<DateTime>() ? v.value<DateTime>() : DateTime();
    }

private:
    const detail::Statement& s_;
};

}  // namespace

struct BoundCursor::Impl {
    detail::Statement stmt;
};

BoundCursor::BoundCursor(Connection& connection, const QString& sql, const QVariantList& values)
    : impl_(std::make_unique<Impl>()) {
    sqlite3* db = connection.handle();
    if (!db) throw EngineError(QStringLiteral("Connexion fermée"), sql);
    detail::Statement& stmt = impl_->stmt;
    stmt = detail::Statement(db, sql.toUtf8(), sql);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant& v = values[i];
        if (v.isNull()) {
            stmt.bindNull(i + 1);
        } else if (v.userType() == qMetaTypeId<DateTime>()) {
            stmt.bindText(i + 1, v.value<DateTime>().toIso());
        } else if (v.userType() == QMetaType::Int || v.userType() == QMetaType::LongLong) {
            stmt.bindInt64(i + 1, v.toLongLong());
        } else {
            stmt.bindText(i + 1, v.toString());
        }
    }
}

BoundCursor::~BoundCursor() = default;

bool BoundCursor::atEnd() const { return !impl_->stmt; }

bool BoundCursor::read(qint64 budgetMs, const std::function<void(const BoundRow&)>& eachRow) {
    detail::Statement& stmt = impl_->stmt;
    if (!stmt) return true;
    QElapsedTimer clock;
    clock.start();
    const Row row(stmt);
    try {
        do {
            if (!stmt.step()) {
                stmt.finalize();  // the read lock goes with the last row
                return true;
            }
            eachRow(row);
        } while (budgetMs < 0 || clock.elapsed() < budgetMs);
    } catch (...) {
        stmt.finalize();
        throw;
    }
    return false;
}

void selectBound(Connection& connection, const QString& sql, const QVariantList& values,
                 const std::function<void(const BoundRow&)>& eachRow) {
    BoundCursor(connection, sql, values).read(-1, eachRow);
}

}  // namespace tavix::db

#include "data/engine/BoundSelect.h"

#include <QElapsedTimer>

#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/Statement.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgDialect.h"

namespace tavix::db {

namespace {

class Row final : public BoundRow {
public:
    explicit Row(const detail::Statement& s) : s_(s) {}
    QString text(int column) const override { return s_.text(column); }
    QByteArrayView utf8(int column) const override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_.get(), column));
        return p ? QByteArrayView(p, sqlite3_column_bytes(s_.get(), column)) : QByteArrayView();
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(s_.get(), column); }
    DateTime dateTime(int column) const override {
        const QVariant v = detail::readCell(s_.get(), column, FieldType::DateTime);
        return v.userType() == qMetaTypeId<DateTime>() ? v.value<DateTime>() : DateTime();
    }

private:
    const detail::Statement& s_;
};

// The same over a server's result.
class ServerRow final : public BoundRow {
public:
    ServerRow(const pg::Result& r, int row) : r_(r), row_(row) {}
    QString text(int column) const override {
        return r_.isNull(row_, column) ? QString() : r_.text(row_, column);
    }
    QByteArrayView utf8(int column) const override {
        return r_.isNull(row_, column)
                   ? QByteArrayView()
                   : QByteArrayView(r_.raw(row_, column), r_.length(row_, column));
    }
    qint64 integer(int column) const override {
        return r_.isNull(row_, column) ? 0 : QByteArray(r_.raw(row_, column)).toLongLong();
    }
    DateTime dateTime(int column) const override {
        const QVariant v = r_.cell(row_, column, FieldType::DateTime);
        return v.userType() == qMetaTypeId<DateTime>() ? v.value<DateTime>() : DateTime();
    }

private:
    const pg::Result& r_;
    int row_;
};

}  // namespace

// On a server the whole result comes in one reply; it is then handed over
// a slice at a time as the file's rows are.
struct BoundCursor::Impl {
    detail::Statement stmt;
    pg::Result server;
    int next = 0;
    bool onServer = false;
};

BoundCursor::BoundCursor(Connection& connection, const QString& sql, const QVariantList& values)
    : impl_(std::make_unique<Impl>()) {
    if (pg::Session* server = connection.impl().pg.get()) {
        pg::Params params;
        for (const QVariant& v : values) params.push_back(pg::paramOf(v));
        const pg::RawTranslated t = pg::translateRaw(*server, sql);
        impl_->server = server->exec(t.sql, params, sql, t.types);
        impl_->onServer = true;
        return;
    }
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

bool BoundCursor::atEnd() const {
    if (impl_->onServer) return !impl_->server;
    return !impl_->stmt;
}

bool BoundCursor::read(qint64 budgetMs, const std::function<void(const BoundRow&)>& eachRow) {
    if (impl_->onServer) {
        pg::Result& r = impl_->server;
        if (!r) return true;
        QElapsedTimer clock;
        clock.start();
        do {
            if (impl_->next >= r.rows()) {
                r = pg::Result();
                return true;
            }
            eachRow(ServerRow(r, impl_->next++));
        } while (budgetMs < 0 || clock.elapsed() < budgetMs);
        return false;
    }
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

#include "data/engine/BoundSelect.h"

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

void selectBound(Connection& connection, const QString& sql, const QVariantList& values,
                 const std::function<void(const BoundRow&)>& eachRow) {
    if (pg::Session* server = connection.impl().pg.get()) {
        pg::Params params;
        for (const QVariant& v : values) params.push_back(pg::paramOf(v));
        const pg::RawTranslated t = pg::translateRaw(*server, sql);
        const pg::Result r = server->exec(t.sql, params, sql, t.types);
        for (int i = 0; i < r.rows(); ++i) eachRow(ServerRow(r, i));
        return;
    }
    sqlite3* db = connection.handle();
    if (!db) throw EngineError(QStringLiteral("Connexion fermée"), sql);
    detail::Statement stmt(db, sql.toUtf8(), sql);
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
    const Row row(stmt);
    while (stmt.step()) eachRow(row);
}

}  // namespace tavix::db

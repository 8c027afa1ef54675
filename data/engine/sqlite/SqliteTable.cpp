#include <algorithm>

#include "data/engine/EngineError.h"
#include "data/engine/Values.h"
#include "data/engine/sqlite/SqliteBackend.h"

namespace tavix::db::sqlite {

using detail::Statement;

namespace {

// A file's table, its rows known by rowid.
class SqliteTable final : public detail::TableStore {
public:
    SqliteTable(SqliteBackend& backend, const QString& table) : backend_(backend) {
        table_ = table;
        sqlite3* db = this->db();
        for (const auto& column : detail::tableInfo(db, table)) columns_.append(column.field);
        if (columns_.isEmpty()) {
            // Let SQLite name the fault ("no such table").
            const QString probe = QStringLiteral("SELECT * FROM %1").arg(detail::quoteName(table));
            Statement(db, probe.toUtf8(), probe);
            throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
        }
    }

    std::vector<qint64> keys(const detail::FilterSql& where, const QString& orderBy) override {
        QString sql = QStringLiteral("SELECT rowid FROM %1").arg(detail::quoteName(table_));
        if (!where.where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.where;
        if (!orderBy.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + orderBy + QStringLiteral(", rowid");
        Statement stmt(db(), sql.toUtf8(), sql);
        for (size_t i = 0; i < where.values.size(); ++i)
            bind(stmt, static_cast<int>(i) + 1, where.values[i]);
        std::vector<qint64> out;
        while (stmt.step()) out.push_back(sqlite3_column_int64(stmt.get(), 0));
        // Without a sort, the table's own order, whatever index SQLite chose
        // to walk for the filter (sorted here, so it may still use one).
        if (orderBy.isEmpty()) std::sort(out.begin(), out.end());
        out.shrink_to_fit();
        return out;
    }

    std::optional<Values> fetch(qint64 key) override {
        sqlite3* h = db();
        if (!fetch_) {
            const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                    .arg(columnList(), detail::quoteName(table_));
            fetch_ = Statement(h, sql.toUtf8(), sql);
        }
        fetch_.reset();
        fetch_.bindInt64(1, key);
        if (!fetch_.step()) return std::nullopt;
        Values values;
        values.reserve(fields_.size());
        for (int i = 0; i < fields_.size(); ++i)
            values.append(detail::readCell(fetch_.get(), i, fields_[i].type));
        fetch_.reset();  // holds no read lock between fetches
        return values;
    }

    int rowsPerTrip() const override { return 1; }

    std::vector<std::pair<qint64, Values>> fetchMany(const std::vector<qint64>& keys) override {
        std::vector<std::pair<qint64, Values>> out;
        for (const qint64 key : keys)
            if (auto values = fetch(key)) out.emplace_back(key, std::move(*values));
        return out;
    }

    qint64 insert(const std::vector<int>& given, const Values& row) override {
        QString sql;
        if (given.empty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(detail::quoteName(table_));
        } else {
            QStringList names;
            QStringList marks;
            for (const int i : given) {
                names.append(detail::quoteName(fields_[i].name));
                marks.append(QStringLiteral("?"));
            }
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(detail::quoteName(table_), names.join(QStringLiteral(", ")),
                           marks.join(QStringLiteral(", ")));
        }
        Statement stmt(db(), sql.toUtf8(), sql);
        int n = 1;
        for (const int i : given) bind(stmt, n++, row[i]);
        stmt.runToEnd();
        return sqlite3_last_insert_rowid(db());
    }

    // One workstation's file, locked while written: nothing to check.
    void update(qint64 key, const std::vector<int>& changed, const Values& row,
                const Values&) override {
        if (changed.empty()) return;
        QStringList sets;
        for (const int i : changed)
            sets.append(detail::quoteName(fields_[i].name) + QStringLiteral(" = ?"));
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                .arg(detail::quoteName(table_), sets.join(QStringLiteral(", ")));
        Statement stmt(db(), sql.toUtf8(), sql);
        int n = 1;
        for (const int i : changed) bind(stmt, n++, row[i]);
        stmt.bindInt64(n, key);
        stmt.runToEnd();
        if (sqlite3_changes(db()) == 0)
            throw EngineError(
                QStringLiteral("%1 : l'enregistrement n'existe plus dans la table").arg(table_),
                sql);
    }

    void remove(qint64 key) override {
        const QString sql =
            QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(detail::quoteName(table_));
        Statement stmt(db(), sql.toUtf8(), sql);
        stmt.bindInt64(1, key);
        stmt.runToEnd();
    }

    void release() override { fetch_.finalize(); }

private:
    // The back end's handle of the moment: a file opened anew once it
    // could be written again gets a new one.
    sqlite3* db() {
        sqlite3* h = backend_.handle();
        if (h != last_) {
            fetch_.finalize();
            last_ = h;
        }
        return h;
    }

    SqliteBackend& backend_;
    sqlite3* last_ = nullptr;
    Statement fetch_;
};

}  // namespace

std::unique_ptr<detail::TableStore> SqliteBackend::openTable(const QString& table) {
    return std::make_unique<SqliteTable>(*this, table);
}

}  // namespace tavix::db::sqlite

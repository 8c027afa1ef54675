#include "data/engine/EngineError.h"
#include "data/engine/TableDataset.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgAuthors.h"
#include "data/engine/pg/PgBackend.h"
#include "data/engine/pg/PgDialect.h"
#include "data/engine/pg/PgErrors.h"

namespace tavix::db::pg {

namespace {

// A server's table, its rows known by its primary key. Several
// workstations edit the same rows: an update names the values it read, and
// a row someone else changed since is not overwritten.
class PgTable final : public detail::TableStore {
public:
    PgTable(Session& session, const QString& table) : s_(session) {
        const Table* t = s_.table(table);
        if (!t) throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
        if (t->key.isEmpty())
            throw EngineError(QStringLiteral("%1 : la table n'a pas de clé primaire").arg(table));
        table_ = table;
        layout_ = *t;
        key_ = detail::quoteName(t->key);
        name_ = detail::quoteName(t->name);
        for (const auto& c : t->columns) columns_.append(c.field);
    }

    std::vector<qint64> keys(const detail::FilterSql& where, const QString& orderBy) override {
        QString sql = QStringLiteral("SELECT %1 FROM %2").arg(key_, name_);
        Params params;
        if (!where.where.isEmpty()) {
            sql += QStringLiteral(" WHERE ") + placeholders(where.where, 1);
            for (const auto& v : where.values) params.push_back(paramOf(v));
        }
        sql += QStringLiteral(" ORDER BY ") +
               (orderBy.isEmpty() ? QString() : orderBy + QStringLiteral(", ")) + key_;
        const Result r = s_.exec(sql.toUtf8(), params, sql);
        std::vector<qint64> out;
        out.reserve(r.rows());
        for (int i = 0; i < r.rows(); ++i) out.push_back(QByteArray(r.raw(i, 0)).toLongLong());
        return out;
    }

    std::optional<Values> fetch(qint64 key) override {
        const QString sql =
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = $1").arg(columnList(), name_, key_);
        const Result r = s_.exec(sql.toUtf8(), {QByteArray::number(key)}, sql);
        if (r.rows() == 0) return std::nullopt;
        return valuesOf(r, 0);
    }

    int rowsPerTrip() const override { return 64; }

    std::vector<std::pair<qint64, Values>> fetchMany(const std::vector<qint64>& keys) override {
        QByteArray list = "{";
        for (size_t i = 0; i < keys.size(); ++i) {
            if (i) list += ',';
            list += QByteArray::number(keys[i]);
        }
        list += '}';
        const QString sql =
            QStringLiteral("SELECT %1, %2 FROM %3 WHERE %2 = ANY(CAST($1 AS bigint[]))")
                .arg(columnList(), key_, name_);
        const Result r = s_.exec(sql.toUtf8(), {list}, sql);
        const int keyColumn = static_cast<int>(fields_.size());
        std::vector<std::pair<qint64, Values>> out;
        for (int i = 0; i < r.rows(); ++i)
            out.emplace_back(QByteArray(r.raw(i, keyColumn)).toLongLong(), valuesOf(r, i));
        return out;
    }

    qint64 insert(const std::vector<int>& given, const Values& row) override {
        QStringList names;
        QStringList marks;
        Params params;
        for (const int i : given) {
            names.append(detail::quoteName(fields_[i].name));
            params.push_back(paramOf(row[i]));
            marks.append(QStringLiteral("$%1").arg(params.size()));
        }
        const QString sql =
            names.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2").arg(name_, key_)
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                      .arg(name_, names.join(QStringLiteral(", ")),
                           marks.join(QStringLiteral(", ")), key_);
        const Result r = s_.exec(sql.toUtf8(), params, sql);
        return QByteArray(r.raw(0, 0)).toLongLong();
    }

    void update(qint64 key, const std::vector<int>& changed, const Values& row,
                const Values& saved) override {
        if (changed.empty()) return;
        QStringList sets;
        QStringList checks;
        Params params;
        for (const int i : changed) {
            params.push_back(paramOf(row[i]));
            sets.append(detail::quoteName(fields_[i].name) +
                        QStringLiteral(" = $%1").arg(params.size()));
        }
        for (int i = 0; i < fields_.size(); ++i) {
            params.push_back(paramOf(saved[i]));
            checks.append(detail::quoteName(fields_[i].name) +
                          QStringLiteral(" IS NOT DISTINCT FROM $%1").arg(params.size()));
        }
        params.push_back(QByteArray::number(key));
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = $%4 AND %5")
                                .arg(name_, sets.join(QStringLiteral(", ")), key_)
                                .arg(params.size())
                                .arg(checks.join(QStringLiteral(" AND ")));
        const Result r = s_.exec(sql.toUtf8(), params, sql);
        if (r.affected() != 0) return;
        // Still as it was read, yet not written: the server's row-level
        // security keeps it from this role.
        if (unchanged(key, saved))
            throw EngineError(
                changeRefused(s_.server(), s_.role(), writerOf(s_, layout_, key), key, false), sql);
        if (!fetch(key))
            throw EngineError(
                QStringLiteral("%1 : l'enregistrement n'existe plus dans la table").arg(table_),
                sql);
        throw RowChangedError(
            QStringLiteral("L'enregistrement n° %1 de la table « %2 » a été modifié sur un autre "
                           "poste depuis sa lecture : votre modification n'a pas été enregistrée. "
                           "Relisez l'enregistrement (Actualiser) avant de le modifier à nouveau.")
                .arg(key)
                .arg(table_),
            sql);
    }

    void remove(qint64 key) override {
        const QString sql = QStringLiteral("DELETE FROM %1 WHERE %2 = $1").arg(name_, key_);
        const Result r = s_.exec(sql.toUtf8(), {QByteArray::number(key)}, sql);
        // Nothing deleted and yet still there: kept from this role by the
        // server's row-level security (a row gone meanwhile is gone).
        if (r.affected() == 0 && fetch(key))
            throw EngineError(
                changeRefused(s_.server(), s_.role(), writerOf(s_, layout_, key), key, true), sql);
    }

    QString rowNote(qint64 key) override { return authorsNote(s_, layout_, key); }

private:
    bool unchanged(qint64 key, const Values& saved) {
        QStringList checks;
        Params params{QByteArray::number(key)};
        for (int i = 0; i < fields_.size(); ++i) {
            params.push_back(paramOf(saved[i]));
            checks.append(detail::quoteName(fields_[i].name) +
                          QStringLiteral(" IS NOT DISTINCT FROM $%1").arg(params.size()));
        }
        const QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 = $1 AND %3")
                                .arg(name_, key_, checks.join(QStringLiteral(" AND ")));
        return s_.exec(sql.toUtf8(), params, sql).rows() > 0;
    }

    Values valuesOf(const Result& r, int row) const {
        Values values;
        values.reserve(fields_.size());
        for (int c = 0; c < fields_.size(); ++c) values.append(r.cell(row, c, fields_[c].type));
        return values;
    }

    Session& s_;
    Table layout_;
    QString key_;   // quoted
    QString name_;  // quoted, as the catalog spells it
};

}  // namespace

std::unique_ptr<detail::TableStore> PgBackend::openTable(const QString& table) {
    return std::make_unique<PgTable>(*session_, table);
}

}  // namespace tavix::db::pg

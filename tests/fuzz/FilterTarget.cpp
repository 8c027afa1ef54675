#include <QVariant>
#include <memory>

#include "FuzzTargets.h"
#include "LayoutDatabase.h"
#include "data/engine/EngineError.h"
#include "data/engine/FilterExpression.h"
#include "data/engine/Statement.h"
#include "data/engine/Values.h"

namespace tavix::fuzz {

namespace {

const std::vector<db::detail::ColumnInfo>& activites() {
    static const auto columns =
        db::detail::tableInfo(layoutDatabase(), QStringLiteral("activites"));
    return columns;
}

std::optional<db::FieldDef> lookup(const QString& name) {
    for (const auto& c : activites())
        if (c.name.compare(name, Qt::CaseInsensitive) == 0) return c.field;
    return std::nullopt;
}

// SQLite's own bounds on a statement's size; reaching them is an error the
// user is told about, not a fault.
bool beyondSqliteLimits(sqlite3* db) {
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    return message.contains(QLatin1String("too large")) ||
           message.contains(QLatin1String("too many")) ||
           message.contains(QLatin1String("too complex")) ||
           message.contains(QLatin1String("too big"));
}

}  // namespace

void filter(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    db::detail::FilterSql compiled;
    try {
        compiled = db::detail::compileFilter(text, lookup);
    } catch (const db::EngineError&) {
        return;
    }
    sqlite3* db = layoutDatabase();
    const QByteArray sql = "SELECT rowid FROM activites WHERE " + compiled.where.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &raw, &tail);
    const std::unique_ptr<sqlite3_stmt, db::detail::StatementFinalizer> stmt(raw);
    if (rc != SQLITE_OK) {
        if (beyondSqliteLimits(db)) return;
        broken("an accepted filter is valid SQL", text,
               QString::fromUtf8(sql) + u'\n' + QString::fromUtf8(sqlite3_errmsg(db)));
    }
    if (!db::detail::isBlankTail(tail))
        broken("a filter stays one condition", text, QString::fromUtf8(sql));
    if (sqlite3_bind_parameter_count(raw) != static_cast<int>(compiled.values.size()))
        broken("every value of a filter is bound, never spliced", text, QString::fromUtf8(sql));
    for (size_t i = 0; i < compiled.values.size(); ++i) {
        const QVariant& v = compiled.values[i];
        const int index = static_cast<int>(i) + 1;
        if (v.typeId() == QMetaType::LongLong) {
            sqlite3_bind_int64(raw, index, v.toLongLong());
        } else if (v.typeId() == QMetaType::Double) {
            sqlite3_bind_double(raw, index, v.toDouble());
        } else {
            const QByteArray utf8 = v.toString().toUtf8();
            sqlite3_bind_text(raw, index, utf8.constData(), static_cast<int>(utf8.size()),
                              SQLITE_TRANSIENT);
        }
    }
    int step = SQLITE_ROW;
    while (step == SQLITE_ROW) step = sqlite3_step(raw);
    if (step != SQLITE_DONE && !beyondSqliteLimits(db))
        broken("an accepted filter runs", text,
               QString::fromUtf8(sql) + u'\n' + QString::fromUtf8(sqlite3_errmsg(db)));
}

}  // namespace tavix::fuzz

#include "data/engine/Backend.h"

#include <limits>

#include "data/engine/Connection.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgBackend.h"
#include "data/engine/sqlite/SqliteBackend.h"

namespace tavix::db {

void checkDatabaseSetting(const QString& setting) {
    if (pg::isServerTarget(setting)) pg::refuseSecret(setting);
}

QString withoutPassword(const QString& setting) { return pg::withoutSecret(setting); }

QString databaseLabel(const QString& setting) {
    if (pg::isServerTarget(setting)) return QStringLiteral("du ") + pg::describe(setting);
    return QStringLiteral("« %1 »").arg(setting);
}

QString serverDatabaseName(const QString& setting) { return pg::databaseName(setting); }

bool namesServer(const QString& setting) { return pg::isServerTarget(setting); }

}  // namespace tavix::db

namespace tavix::db::detail {

QString Cursor::text(int column) const {
    const Query::Cell c = cell(column);
    switch (c.kind) {
        case Query::Cell::Null:
            return {};
        case Query::Cell::Text:
            if (fields_[column].type == FieldType::DateTime)
                return storedDateTimeText(c.text.data(), static_cast<int>(c.text.size()));
            return QString::fromUtf8(c.text);
        default:
            return cellText(value(column, fields_[column].type));
    }
}

int Cursor::asInteger(int column) const {
    const Query::Cell c = cell(column);
    if (c.kind == Query::Cell::Integer && c.integer >= std::numeric_limits<int>::min() &&
        c.integer <= std::numeric_limits<int>::max())
        return static_cast<int>(c.integer);
    return cellInteger(value(column, fields_[column].type));
}

DateTime Cursor::asDateTime(int column) const {
    return cellDateTime(value(column, FieldType::DateTime));
}

QString TableStore::columnList() const {
    QStringList names;
    for (const auto& f : fields_) names.append(quoteName(f.name));
    return names.join(QStringLiteral(", "));
}

std::unique_ptr<Backend> openBackend(const QString& source, int busyTimeoutMs) {
    if (pg::isServerTarget(source)) return std::make_unique<pg::PgBackend>(source);
    return std::make_unique<sqlite::SqliteBackend>(source, busyTimeoutMs);
}

BoundValue bindValue(const QVariant& value) {
    BoundValue out;
    if (value.isNull()) return out;
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            out.kind = BoundValue::Integer;
            out.integer = value.toLongLong();
            return out;
        case QMetaType::Double:
        case QMetaType::Float:
            out.kind = BoundValue::Double;
            out.real = value.toDouble();
            return out;
        default:
            break;
    }
    out.kind = BoundValue::Text;
    out.text = value.metaType() == QMetaType::fromType<DateTime>() ? value.value<DateTime>().toIso()
                                                                   : value.toString();
    return out;
}

}  // namespace tavix::db::detail

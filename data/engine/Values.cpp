#include "data/engine/Values.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

#include "data/engine/EngineError.h"
#include "data/engine/Statement.h"
#include "platform/Error.h"
#include "platform/Regional.h"

namespace tavix::db::detail {

bool isDateTimeType(const char* declType) {
    if (!declType) return false;
    const QByteArray t = QByteArray(declType).trimmed().toUpper();
    return t.startsWith("DATE") || t.startsWith("TIME");
}

FieldDef fieldFor(const QString& name, const QString& declType, bool integerKey) {
    FieldDef f;
    f.name = name;
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*([A-Za-z ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*\d+\s*)?\))?\s*$)"));
    const auto m = re.match(declType);
    const QString base = m.hasMatch() ? m.captured(1).toUpper() : declType.trimmed().toUpper();
    if (integerKey) {
        f.type = FieldType::AutoIncrement;
        f.readOnly = true;
    } else if (base.contains(QLatin1String("INT")) || base == QLatin1String("LONG") ||
               base == QLatin1String("BYTE") || base == QLatin1String("COUNTER")) {
        f.type = FieldType::Integer;
    } else if (base.startsWith(QLatin1String("DATE")) || base.startsWith(QLatin1String("TIME"))) {
        f.type = FieldType::DateTime;
    } else if (base.contains(QLatin1String("CHAR")) || base.contains(QLatin1String("TEXT")) ||
               base.contains(QLatin1String("CLOB")) || base == QLatin1String("MEMO") ||
               base.isEmpty()) {
        f.type = FieldType::Text;
        if (m.hasMatch() && m.hasCaptured(2)) f.size = m.captured(2).toInt();
    } else if (base.contains(QLatin1String("REAL")) || base.contains(QLatin1String("FLOA")) ||
               base.contains(QLatin1String("DOUB")) || base == QLatin1String("NUMERIC") ||
               base == QLatin1String("DECIMAL") || base == QLatin1String("CURRENCY")) {
        f.type = FieldType::Float;
    } else {
        f.type = FieldType::Other;
    }
    return f;
}

std::vector<ColumnInfo> tableInfo(sqlite3* db, const QString& table) {
    const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteName(table));
    Statement stmt(db, sql.toUtf8(), sql);
    std::vector<ColumnInfo> columns;
    int keyColumns = 0;
    while (stmt.step()) {
        ColumnInfo c;
        c.name = stmt.text(1);
        c.declType = stmt.text(2);
        const bool pk = sqlite3_column_int(stmt.get(), 5) > 0;
        keyColumns += pk ? 1 : 0;
        c.field = fieldFor(c.name, c.declType, pk);
        columns.push_back(std::move(c));
    }
    // Only a lone INTEGER primary key stands for the rowid and is given by
    // the database; any other key is an ordinary field.
    for (auto& c : columns) {
        if (c.field.type != FieldType::AutoIncrement) continue;
        if (keyColumns != 1 ||
            c.declType.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) != 0)
            c.field = fieldFor(c.name, c.declType, false);
    }
    return columns;
}

std::optional<DateTime> parseStored(const char* p, int n) {
    StoredParts t;
    if (splitStored(p, n, t)) {
        const QDate date(t.year, t.month, t.day);
        const QTime time(t.hour, t.minute, t.second);
        if (date.isValid() && time.isValid()) return DateTime(date, time);
        return std::nullopt;
    }
    return DateTime::fromIso(QString::fromUtf8(p, n));
}

std::optional<DateTime> parseDateTimeText(const QString& text) {
    if (auto v = regional::textToDateTime(text)) return v;
    return DateTime::fromIso(text);
}

namespace {
// The French forms are built directly: this runs for every date read.
bool frenchForms() {
    static const bool french = regional::shortDateFormat() == QLatin1String("dd/MM/yyyy") &&
                               regional::longTimeFormat() == QLatin1String("HH:mm:ss");
    return french;
}
}  // namespace

QString storedDateTimeText(const char* p, int n) {
    StoredParts t;
    if (frenchForms() && splitStored(p, n, t) && t.year >= 1000 &&
        QDate::isValid(t.year, t.month, t.day) && QTime::isValid(t.hour, t.minute, t.second)) {
        // 'yyyy-MM-dd HH:mm:ss' -> 'dd/MM/yyyy HH:mm:ss', the time left out at midnight.
        char out[19] = {p[8], p[9], '/', p[5], p[6], '/', p[0], p[1], p[2], p[3]};
        if (n == 10 || (t.hour == 0 && t.minute == 0 && t.second == 0))
            return QString::fromLatin1(out, 10);
        out[10] = ' ';
        std::copy(p + 11, p + 19, out + 11);
        return QString::fromLatin1(out, 19);
    }
    if (const auto v = parseStored(p, n)) return dateTimeText(*v);
    return QString::fromUtf8(p, n);
}

QString dateTimeText(const DateTime& value) {
    const QDate date = value.date();
    if (!frenchForms() || date.year() < 1000 || date.year() > 9999)
        return regional::dateTimeToText(value);
    char buf[20];
    auto two = [&buf](int at, int v) {
        buf[at] = static_cast<char>('0' + v / 10);
        buf[at + 1] = static_cast<char>('0' + v % 10);
    };
    two(0, date.day());
    buf[2] = '/';
    two(3, date.month());
    buf[5] = '/';
    two(6, date.year() / 100);
    two(8, date.year() % 100);
    int n = 10;
    if (!value.isMidnight()) {
        const QTime t = value.truncatedToSeconds().time();
        buf[10] = ' ';
        two(11, t.hour());
        buf[13] = ':';
        two(14, t.minute());
        buf[16] = ':';
        two(17, t.second());
        n = 19;
    }
    return QString::fromLatin1(buf, n);
}

QString notADateMessage(const QString& text) {
    return QStringLiteral("'%1' n'est pas une date et heure correcte").arg(text);
}

int integerFromText(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) throw notAnInteger(text);
    return v;
}

DateTime dateTimeFromText(const QString& text) {
    if (auto v = parseDateTimeText(text)) return *v;
    throw ConvertError(notADateMessage(text));
}

QVariant readCell(sqlite3_stmt* stmt, int column, FieldType type) {
    const int storage = sqlite3_column_type(stmt, column);
    if (storage == SQLITE_NULL) return {};
    switch (type) {
        case FieldType::DateTime:
            if (storage == SQLITE_TEXT) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
                const int n = sqlite3_column_bytes(stmt, column);
                if (auto v = parseStored(p, n)) return QVariant::fromValue(*v);
                return QString::fromUtf8(p, n);
            }
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return QVariant::fromValue(DateTime::fromDays(sqlite3_column_double(stmt, column)));
            break;
        case FieldType::Integer:
        case FieldType::AutoIncrement:
            if (storage == SQLITE_INTEGER) return qlonglong(sqlite3_column_int64(stmt, column));
            if (storage == SQLITE_FLOAT) return sqlite3_column_double(stmt, column);
            break;
        case FieldType::Float:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return sqlite3_column_double(stmt, column);
            break;
        case FieldType::Text:
        case FieldType::Other:
            break;
    }
    if (storage == SQLITE_INTEGER && type == FieldType::Other)
        return qlonglong(sqlite3_column_int64(stmt, column));
    if (storage == SQLITE_FLOAT && type == FieldType::Other)
        return sqlite3_column_double(stmt, column);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt, column));
}

QString cellText(const QVariant& value) {
    if (value.isNull()) return {};
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString();
        case QMetaType::LongLong:
            return QString::number(value.toLongLong());
        case QMetaType::Double:
            return QString::number(value.toDouble(), 'g', 15);
        default:
            if (value.canConvert<DateTime>() && value.metaType() == QMetaType::fromType<DateTime>())
                return dateTimeText(value.value<DateTime>());
            return value.toString();
    }
}

int cellInteger(const QVariant& value) {
    if (value.isNull()) return 0;
    switch (value.typeId()) {
        case QMetaType::LongLong: {
            const qlonglong v = value.toLongLong();
            if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
                throw notAnInteger(QString::number(v));
            return static_cast<int>(v);
        }
        case QMetaType::Double:
            return static_cast<int>(std::llround(value.toDouble()));
        case QMetaType::QString:
            return integerFromText(value.toString());
        default:
            if (value.metaType() == QMetaType::fromType<DateTime>())
                return static_cast<int>(value.value<DateTime>().toDays());
            return integerFromText(value.toString());
    }
}

DateTime cellDateTime(const QVariant& value) {
    if (value.isNull()) return {};
    if (value.metaType() == QMetaType::fromType<DateTime>()) return value.value<DateTime>();
    switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Double:
            return DateTime::fromDays(value.toDouble());
        default:
            return dateTimeFromText(value.toString());
    }
}

std::optional<QString> readQuoted(const QString& s, qsizetype& i) {
    const QChar mark = s[i];
    const qsizetype n = s.size();
    QString value;
    ++i;
    while (i < n) {
        if (s[i] == mark) {
            if (i + 1 < n && s[i + 1] == mark) {
                value += mark;
                i += 2;
                continue;
            }
            ++i;
            return value;
        }
        value += s[i++];
    }
    return std::nullopt;
}

}  // namespace tavix::db::detail

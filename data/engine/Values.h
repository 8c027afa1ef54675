#pragma once

#include <sqlite3.h>

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "data/engine/Field.h"
#include "platform/DateTime.h"

namespace tavix::db::detail {

// A column as the table declares it.
struct ColumnInfo {
    QString name;
    QString declType;
    FieldDef field;
};

// The columns of a table in column order; empty when there is no such table.
std::vector<ColumnInfo> tableInfo(sqlite3* db, const QString& table);

// Field of a declared type: TEXT(n) is text of n characters, DATETIME a
// date-time, an INTEGER primary key the read-only auto-increment.
FieldDef fieldFor(const QString& name, const QString& declType, bool integerKey = false);
bool isDateTimeType(const char* declType);

// "name" for SQLite, with any double quote doubled.
QString quoteName(const QString& name);

// The numbers of the stored form 'YYYY-MM-DD HH:MM:SS' (or the date alone,
// the time then zero), unchecked as a date; false for any other shape.
struct StoredParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// Inline: the report reads two per row.
inline bool splitStored(const char* p, qsizetype n, StoredParts& t) {
    const auto digits = [](const char* q, int count, int& out) {
        int v = 0;
        for (int i = 0; i < count; ++i) {
            if (q[i] < '0' || q[i] > '9') return false;
            v = v * 10 + (q[i] - '0');
        }
        out = v;
        return true;
    };
    t.hour = t.minute = t.second = 0;
    return (n == 10 || n == 19) && p[4] == '-' && p[7] == '-' && digits(p, 4, t.year) &&
           digits(p + 5, 2, t.month) && digits(p + 8, 2, t.day) &&
           (n == 10 || (p[10] == ' ' && p[13] == ':' && p[16] == ':' && digits(p + 11, 2, t.hour) &&
                        digits(p + 14, 2, t.minute) && digits(p + 17, 2, t.second)));
}

// Stored form 'YYYY-MM-DD HH:MM:SS' (or the date alone) read back.
std::optional<DateTime> parseStored(const char* text, int length);

// Regional text or the stored ISO form; nullopt for anything else.
std::optional<DateTime> parseDateTimeText(const QString& text);

// Display form of a date-time: the regional form.
QString dateTimeText(const DateTime& value);
// The same from the stored text (the text itself when it is no date).
QString storedDateTimeText(const char* text, int length);

// Conversions used when a value is read as integer or date-time.
int integerFromText(const QString& text);        // throws ConvertError
DateTime dateTimeFromText(const QString& text);  // throws ConvertError
QString notADateMessage(const QString& text);

// A cell read from a statement, typed by its field: null, qlonglong,
// double, QString or tavix::DateTime.
QVariant readCell(sqlite3_stmt* stmt, int column, FieldType type);

// Conversions of a cell value (see readCell).
QString cellText(const QVariant& value);
int cellInteger(const QVariant& value);
DateTime cellDateTime(const QVariant& value);

// Reads a literal opening at s[i] with the mark s[i] (a doubled mark inside
// stands for itself); i ends after the closing mark. Empty when unterminated.
std::optional<QString> readQuoted(const QString& s, qsizetype& i);

}  // namespace tavix::db::detail

#pragma once

#include "data/engine/Internal.h"

#include <sqlite3.h>

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "data/engine/Field.h"
#include "data/engine/SqlTokens.h"
#include "data/engine/StoredForm.h"
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

using db::splitStored;
using db::StoredParts;

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

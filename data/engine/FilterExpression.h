#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

#include "data/engine/Field.h"

namespace tavix::db::detail {

// A dataset filter turned into an SQLite condition with bound values.
// Syntax: comparisons FIELD op value joined by AND / OR, NOT and
// parentheses; op one of = <> != < > <= >= LIKE, NOT LIKE, or IS [NOT] NULL;
// a value is 'text' ('' for one apostrophe), a number or #m/d/yyyy#. Values
// take the field's type: a date-time field reads 'dd/MM/yyyy[ HH:mm:ss]'.
// LIKE takes '*' or '%' for any run of characters.
struct FilterSql {
    QString where;                 // SQLite condition with ? parameters
    std::vector<QVariant> values;  // qlonglong, double or QString, in order
};

// Resolves a field name (any case) to its column; nullopt when unknown.
using FieldLookup = std::function<std::optional<FieldDef>(const QString&)>;

FilterSql compileFilter(const QString& filter, const FieldLookup& lookup);  // throws EngineError

}  // namespace tavix::db::detail

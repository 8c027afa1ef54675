#pragma once

#include <QString>

namespace tavix::db {

enum class FieldType { Text, Integer, AutoIncrement, DateTime, Float, Other };

// One column as a dataset exposes it.
struct FieldDef {
    QString name;  // as declared in the table
    FieldType type = FieldType::Text;
    int size = 0;  // characters for TEXT(n), 0 otherwise
    bool readOnly = false;
};

}  // namespace tavix::db

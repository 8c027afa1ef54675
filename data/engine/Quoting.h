#pragma once

#include <QString>

namespace tavix::db {

// A text value for a statement of the dialect: between double quotes, every
// double quote doubled, so no value can change the statement around it.
QString quoted(const QString& value);

// A text value for a filter expression: between apostrophes, every
// apostrophe doubled.
QString filterQuoted(const QString& value);

}  // namespace tavix::db

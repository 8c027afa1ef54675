#pragma once

#include <QString>
#include <QStringView>

struct sqlite3;

namespace tavix::db {

// Names (clients, activities, users, comments) sort as in a French
// dictionary whatever the system's language: letters first, then accents,
// then case ("alpha, beta, Éric, L'Atelier, Zoé"). Two different texts
// never compare equal, so an order is the same from one run to the next.
int compareNames(QStringView a, QStringView b);

// The collation's name in the dialect's statements; the one place a back end
// maps it to its own.
QString nameCollation();

// An ORDER BY term that sorts the column's names that way:
// "NOM COLLATE <name>".
QString collated(const QString& column);

namespace detail {
// Makes the collation known to one connection.
void registerNameCollation(sqlite3* db);
}  // namespace detail

}  // namespace tavix::db

#pragma once

#include <QStringList>

namespace tavix::db {

// The statements (in the dialect) that make the three tables of a new
// database: clients, travaux and activites in their current layout.
QStringList defaultSchema();

}  // namespace tavix::db

#pragma once

#include <QString>

namespace tavix::db {

class Connection;

// Copies the open database into a new file at target, page by page through
// SQLite, so the copy is consistent even while the file is in use. An
// existing target is refused; a failed copy leaves no file behind.
// Throws EngineError naming the target.
void backupDatabase(Connection& connection, const QString& target);

}  // namespace tavix::db

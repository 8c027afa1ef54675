#pragma once

#include <QString>

namespace tavix::db {

class Connection;

// Copies the open database into a new file at target, page by page through
// SQLite, so the copy is consistent even while the file is in use. An
// existing target is refused; a failed copy leaves no file behind.
// Throws EngineError naming the target.
void backupDatabase(Connection& connection, const QString& target);

// Copies the open database into a new file at target and deletes every row
// of table, in one snapshot: the rows deleted are exactly those the copy
// holds, and a row another workstation stores meanwhile stays in the base.
// On a file the copy is written under the write lock; on a server, in one
// REPEATABLE READ transaction. A failure deletes nothing and leaves no copy
// behind, unless the server lost the connection while committing: then the
// copy stays, as the rows may be gone. Throws EngineError naming the target.
void purgeTable(Connection& connection, const QString& table, const QString& target);

}  // namespace tavix::db

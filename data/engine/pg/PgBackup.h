#pragma once

#include "data/engine/Internal.h"

#include <QString>

namespace tavix::db::pg {

class Session;

// Copies the program's tables (clients, travaux, activites, and the rates,
// clients' details, numbering and register where present) of the server
// into a new SQLite file at target, in one read-only snapshot. An existing
// target is refused; a failed copy leaves no file behind. Throws
// EngineError naming the target.
void copyToFile(Session& session, const QString& target);

// copyToFile, then the rows of table deleted, in one REPEATABLE READ
// transaction: the DELETE sees the copy's snapshot, so it removes exactly
// the rows the copy holds, and one changed elsewhere meanwhile makes the
// whole purge fail rather than vanish uncopied.
void purgeToFile(Session& session, const QString& table, const QString& target);

}  // namespace tavix::db::pg

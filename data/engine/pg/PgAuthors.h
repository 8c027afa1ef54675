#pragma once

#include <QString>

// Who wrote and who last changed each log entry, as the server records it:
// hidden columns that a trigger fills from the connected role, never the
// workstation; no field shows or edits them.

namespace tavix::db::pg {

class Session;
struct Table;

// Adds the columns and the trigger to activites when it has none (inside
// the layout's transaction); throws EngineError where the role may not.
void addAuthors(Session& session);

bool hasAuthors(const Table& table);

// "Écrite par « r » le …", then "Modifiée par « r » le …" once changed;
// empty when the row is gone or the table records nothing.
QString authorsNote(Session& session, const Table& table, qint64 key);

// The role that wrote a row; empty when unknown.
QString writerOf(Session& session, const Table& table, qint64 key);

}  // namespace tavix::db::pg

#pragma once

#include "data/engine/Internal.h"

#include <sqlite3.h>

#include <QString>

namespace tavix::db::detail {

// Every failure SQLite reports, told as a user reads it: in French, naming
// the database file, and saying what to do. The one place that turns
// SQLite's result codes and messages into words.

// The file could not be opened: "Impossible d'ouvrir la base de données
// « path » : <cause>." then what to do. rc is SQLite's extended result; db,
// when there is one, gives its message.
QString openFailure(const QString& path, sqlite3* db, int rc);

// Why the engine cannot take this path at all (longer than it accepts, or a
// name in it longer than the file system allows), as an openFailure()-like
// message; empty when the path can be used.
QString pathRefusal(const QString& path);

// Opening refused before SQLite was asked: the file is missing, or is a
// folder.
QString missingFile(const QString& path);
QString folderNotFile(const QString& path);
// Empty unless a folder on the way to path refuses this user.
QString closedFolder(const QString& path);

// The cause alone, short and in French, for a sentence of the caller's
// (a copy that could not be made, for instance).
QString shortCause(sqlite3* db, int rc);

// A failure on an open database: rc is SQLite's extended result, db the
// handle it came from (its message and its file).
QString failureMessage(sqlite3* db, int rc);

// Raises EngineError with failureMessage(), keeping the statement.
[[noreturn]] void raiseFailure(sqlite3* db, int rc, const QString& statement);

}  // namespace tavix::db::detail

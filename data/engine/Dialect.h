#pragma once

#include "data/engine/Internal.h"

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/DateTime.h"

namespace tavix::db::detail {

// Translates one statement of the dialect into SQLite's:
//   "text" (with "" for one quote) -> 'text';  [NAME] -> "NAME";
//   #m/d/yyyy[ h:mm[:ss]]# -> 'yyyy-mm-dd hh:mm:ss';  DELETE * FROM -> DELETE FROM;
//   values stored into a date-time column by INSERT ... SELECT/VALUES or
//   UPDATE ... SET go through tavix_datetime(), which reads the regional form.
// Refuses (EngineError) a text holding a second statement, an unterminated
// literal or a malformed date literal. db is used to look up column types.
QByteArray translate(sqlite3* db, const QString& statement);

// The body of a date literal, #m/d/yyyy[ h:mm[:ss][ AM|PM]]# or
// #yyyy-mm-dd[ hh:mm[:ss]]#; nothing when it names no date. Both targets
// read it the same way.
std::optional<DateTime> dateLiteral(const QString& body);

// Registers the engine's SQL functions (tavix_datetime) and the names'
// collation, and sets the connection's options every handle needs.
void prepareHandle(sqlite3* db);

}  // namespace tavix::db::detail

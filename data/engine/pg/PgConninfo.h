#pragma once

#include <QString>

// The database setting read as libpq reads it: whether it names a server,
// whether it holds a secret, and how to name the server in a message
// without ever repeating the setting itself.

namespace tavix::db::pg {

// True when the database setting names a PostgreSQL server: a libpq URI
// (postgresql://, postgres://) or keyword=value pairs in any order, as libpq
// itself reads them. Text that libpq cannot read but that names one of its
// keywords counts too, so that it is refused rather than taken for a file
// (and repeated in a message). Anything else is a file path.
bool isServerTarget(const QString& text);

// Throws EngineError when the text holds a password (password=, the
// user:password@ of a URI, ?password=, sslpassword=) or cannot be read as
// libpq connection text; the message never repeats the text itself.
void refuseSecret(const QString& text);

// The text without its password, for a box that shows a setting an older
// version saved: keyword=value pairs (a URI becomes pairs too); any other
// text unchanged.
QString withoutSecret(const QString& text);

// The database's name (the service's, the user's when none is given).
QString databaseName(const QString& conninfo);

// "serveur PostgreSQL « host », base « db »" for messages: never the
// password, nor any other part of the setting.
QString describe(const QString& conninfo);

// What the server lists for this connection (pg_stat_activity): the program,
// the workstation and the user of the session; the setting's own
// application_name wins over it.
QString applicationName();

}  // namespace tavix::db::pg

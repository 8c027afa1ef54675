#pragma once

#include <QString>
#include <QtGlobal>

// A server's refusals told in French: what went wrong on which server and
// database, and what to do about it; the server's or libpq's own text
// follows only as a detail.

namespace tavix::db::pg {

// Why a connection could not be made. server: describe() of the setting;
// role and database: those libpq used; libpqText: PQerrorMessage.
QString connectionFailure(const QString& server, const QString& role, const QString& database,
                          const QString& libpqText);

// A statement the server refused. sqlstate: its code (may be empty);
// primary: the server's message; statement: what was run (the layout is
// made with CREATE).
QString statementFailure(const QString& server, const QString& role, const QString& sqlstate,
                         const QString& primary, const QString& statement);

// A change or deletion of log entry `key` that the server's row-level
// security kept from `role`; writer: who wrote it (may be empty).
QString changeRefused(const QString& server, const QString& role, const QString& writer, qint64 key,
                      bool deleting);

// A purge that could delete only `deleted` of `total` rows.
QString purgeRefused(const QString& server, const QString& role, qint64 deleted, qint64 total);

// Where the script that prepares a server for the workstations is installed.
QString serverScriptPath();

}  // namespace tavix::db::pg

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "data/engine/EngineError.h"
#include "data/engine/Field.h"

namespace tavix::db {

namespace detail {
struct ConnectionAccess;  // the engine's own way in
}

// The server could not be reached, or the connection went away: the
// statement may be tried again once the server answers.
class ServerUnreachable : public EngineError {
public:
    using EngineError::EngineError;
};

// The server did not answer the statement in time (a lock held elsewhere,
// a server that stopped answering): it was given up.
class ServerNoAnswer : public ServerUnreachable {
public:
    using ServerUnreachable::ServerUnreachable;
};

// Throws EngineError when the database setting names a server and holds a
// password (the message never repeats the setting).
void checkDatabaseSetting(const QString& setting);

// The setting without the password a server's text holds (an older version
// saved it), for a box that shows it; anything else unchanged.
QString withoutPassword(const QString& setting);

// The database a setting names, for a message: a file's path between
// quotes; a server's name and database, never the rest of the setting.
QString databaseLabel(const QString& setting);

// The database's name on the server a setting names (for file names).
QString serverDatabaseName(const QString& setting);

// Whether the database setting names a server rather than a file.
bool namesServer(const QString& setting);

// A value as it goes into a connection string: unchanged unless it holds
// ';' (or starts with a quote or a blank), then between quotes, so that
// any path can be named.
QString connectionStringValue(const QString& value);

// The connection to one database: a file, or a PostgreSQL server when the
// "Data Source=" (up to the next ';', or a value between quotes) is libpq
// connection text; the other keys are accepted and ignored. A file must
// exist and be an SQLite database; opening waits a few seconds on a lock
// held by another program.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& text);
    QString connectionString() const;

    // How long opening and writing wait for a lock held by another program
    // (5000 ms unless set).
    void setBusyTimeout(int ms);
    int busyTimeout() const;

    // A server: how long one statement may wait for it before it is given
    // up (ServerNoAnswer); 0, the engine's own limit. A file: its busy
    // timeout decides.
    void setPatience(int ms);
    int patience() const;

    void open();   // throws EngineError
    void close();  // closes every dataset on it as well; no-op when closed
    bool connected() const;
    QString fileName() const;  // the Data Source of the open connection

    // Runs one statement of the dialect that returns no rows.
    void execute(const QString& statement);

    // A file that could not be written when it was opened keeps its
    // connection read-only; once the file can be written again, opens it
    // anew so that the next write goes through. Called before every write.
    void reopenIfReadOnly();

    // The columns of a table in column order, read from its declaration
    // alone (no row is read, whatever the table's size). Throws EngineError
    // when the connection is closed or there is no such table.
    QList<FieldDef> tableFields(const QString& table) const;

    // Makes a new database file (and its folders) and runs the given
    // statements in it, in one transaction. Fails if the file exists.
    static void createDatabase(const QString& path, const QStringList& statements);

    // True while the base is shared by several workstations (a server):
    // a stop that cannot be stored waits on the workstation, and the copy
    // made before a purge goes to a local folder.
    bool shared() const;

    // The server's clock now; nullopt on a file or a closed connection.
    std::optional<QDateTime> serverTime() const;

    class Impl;

private:
    friend struct detail::ConnectionAccess;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavix::db

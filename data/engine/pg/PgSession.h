#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Field.h"
#include "data/engine/Internal.h"
#include "data/engine/pg/PgConninfo.h"

struct pg_conn;
struct pg_result;

namespace tavix::db::pg {

// The server could not be reached, or the connection went away: the
// statement may be tried again once the server answers.
using ServerUnreachable = db::ServerUnreachable;
using ServerNoAnswer = db::ServerNoAnswer;

// A value travelling as a bound parameter, in PostgreSQL's text form;
// nullopt is NULL.
using Params = std::vector<std::optional<QByteArray>>;
std::optional<QByteArray> paramOf(const QVariant& value);

// One statement's result; rows are all read at once.
class Result {
public:
    Result() = default;
    explicit Result(pg_result* r);
    ~Result();
    Result(Result&& other) noexcept;
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    explicit operator bool() const { return r_ != nullptr; }
    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    const char* raw(int row, int column) const;
    int length(int row, int column) const;
    QString text(int row, int column) const;
    qint64 affected() const;

    // Fields of the columns, typed from their PostgreSQL types.
    QList<FieldDef> fields() const;
    // A cell as the SQLite engine gives it: null, qlonglong, double, QString
    // or tavix::DateTime.
    QVariant cell(int row, int column, FieldType type) const;

private:
    pg_result* r_ = nullptr;
};

struct Column {
    QString name;
    QString declType;
    FieldDef field;
};

struct Table {
    QString name;
    std::vector<Column> columns;  // the program's columns, hidden ones left out
    std::vector<Column> hidden;   // the engine's own keys
    QString key;                  // the primary key column (hidden or not); empty when none
};

// Whether a failed statement's connection is gone, judged by what happened
// (no result, a failure of libpq's own without a server message, a closed
// socket, the server saying it ends the session) and not by PQstatus alone,
// which still reads "fine" after the first statement that meets a closed
// socket.
bool connectionLost(const pg_conn* conn, const pg_result* r);
// The server ended the session (shut down, restarted) before it could
// finish the statement: nothing of it was kept.
bool endedByServer(const pg_result* r);

// The names of the hidden keys the engine adds where the program's layout
// has none (never exposed as fields).
bool isHiddenColumn(const QString& name);

// One connection to a server.
class Session {
public:
    explicit Session(const QString& conninfo);  // throws ServerUnreachable / EngineError
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const QString& server() const { return server_; }
    QString role() const;  // the role the server knows this connection by

    // Runs one statement with its parameters, the window's event loop
    // turning while the server is waited for (see PgWait.h). A lost
    // connection is made again before a statement that is not inside a
    // transaction; a statement the server never ran because it went away
    // (restarted, shut down), or one that only reads, is run once more on
    // the new connection. A statement the server has not answered within
    // the patience is given up: ServerUnreachable.
    // types: PostgreSQL type of each parameter (0: let the server decide).
    Result exec(const QByteArray& sql, const Params& params, const QString& original,
                const std::vector<unsigned>& types = {});
    void command(const char* sql);  // a fixed statement of the engine's own
    // A fixed statement sent without waiting: the server works on it while
    // the caller goes on; take() then waits for its result.
    void send(const QByteArray& sql, const QString& original);
    Result take(const QString& original);
    // How long a statement may wait for the server (0: kDefaultPatienceMs).
    void setPatience(int ms) { patienceMs_ = ms; }
    // The server's own limit on a statement, and the wait for it beyond:
    // a server that stops answering altogether is given up then.
    static constexpr int kStatementTimeoutMs = 30000;
    static constexpr int kDefaultPatienceMs = kStatementTimeoutMs + 5000;
    static constexpr int kConnectPatienceMs = 10000;
    bool inTransaction() const;
    bool transactionFailed() const;  // a statement failed: only ROLLBACK is left

    // Tables of the database as the search path sees them; read once and
    // read again after any change of layout.
    const Table* table(const QString& name);
    bool isTableName(const QString& name);
    std::optional<QString> columnName(const QString& name);  // any table's column, exact case
    const Column* findColumn(const QString& name);           // the same, with its type
    void invalidate() { catalogRead_ = false; }

    // Makes clients, travaux and activites when the database has none of
    // them; otherwise adds the engine's keys a table lacks, where it may.
    void createLayoutIfEmpty();

private:
    void connect();
    void setUpSession();
    // Sends one statement and waits for its result; null when it was given
    // up (the connection is then dropped) or never sent.
    // simple: several statements of the engine's own, without parameters.
    pg_result* run(const QByteArray& text, const std::vector<const char*>& values,
                   const std::vector<unsigned>& types, bool simple, int patienceMs, bool& timedOut);
    void dropConnection();
    void readCatalog();
    [[noreturn]] void fail(const QString& original, pg_result* r, bool lost);

    QString conninfo_;
    QString server_;
    pg_conn* conn_ = nullptr;
    bool catalogRead_ = false;
    bool transactionOpen_ = false;
    bool lost_ = false;  // judged gone: the next statement connects anew
    bool busy_ = false;  // a statement waits for the server
    int patienceMs_ = 0;
    QByteArray namesCollation_;  // the server's French collation, when it has one  // between BEGIN
                                 // and COMMIT/ROLLBACK
    std::vector<Table> tables_;
};

}  // namespace tavix::db::pg

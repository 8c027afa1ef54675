#pragma once

#include "data/engine/Internal.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Field.h"
#include "data/engine/pg/PgConninfo.h"

struct pg_conn;
struct pg_result;

namespace tavix::db::pg {

// The server could not be reached, or the connection went away: the
// statement may be tried again once the server answers.
using ServerUnreachable = db::ServerUnreachable;

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

    // Runs one statement with its parameters. A lost connection is made
    // again once before a statement that is not inside a transaction.
    // types: PostgreSQL type of each parameter (0: let the server decide).
    Result exec(const QByteArray& sql, const Params& params, const QString& original,
                const std::vector<unsigned>& types = {});
    void command(const char* sql);  // a fixed statement of the engine's own
    // A fixed statement sent without waiting: the server works on it while
    // the caller goes on; take() then waits for its result.
    void send(const QByteArray& sql, const QString& original);
    Result take(const QString& original);
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
    void readCatalog();
    [[noreturn]] void fail(const QString& original, pg_result* r);

    QString conninfo_;
    QString server_;
    pg_conn* conn_ = nullptr;
    bool catalogRead_ = false;
    bool transactionOpen_ = false;
    QByteArray namesCollation_;  // the server's French collation, when it has one  // between BEGIN
                                 // and COMMIT/ROLLBACK
    std::vector<Table> tables_;
};

}  // namespace tavix::db::pg

#include "data/engine/Transaction.h"

#include <sqlite3.h>

#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"
#include "data/engine/Statement.h"

namespace tavix::db {

Transaction::Transaction(Connection& connection) : connection_(connection) {
    if (pg::Session* server = connection_.impl().pg.get()) {
        server->command("BEGIN");
        active_ = true;
        return;
    }
    detail::exec(connection_.handle(), "BEGIN IMMEDIATE");
    active_ = true;
}

Transaction::~Transaction() {
    if (!active_) return;
    if (pg::Session* server = connection_.impl().pg.get()) {
        try {
            if (server->inTransaction()) server->command("ROLLBACK");
        } catch (const Error&) {
            // The connection went away: the server has undone it already.
        }
        server->invalidate();
        return;
    }
    // Some failures (disk full, I/O) already ended the transaction.
    sqlite3* db = connection_.handle();
    if (db && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    if (!active_) throw EngineError(QStringLiteral("Aucune transaction en cours"));
    if (pg::Session* server = connection_.impl().pg.get()) {
        active_ = false;
        if (server->transactionFailed()) {
            server->command("ROLLBACK");
            server->invalidate();
            throw EngineError(QStringLiteral("La transaction a été annulée"));
        }
        try {
            server->command("COMMIT");
        } catch (...) {
            server->invalidate();
            throw;
        }
        return;
    }
    sqlite3* db = connection_.handle();
    if (!db || sqlite3_get_autocommit(db)) {
        active_ = false;
        throw EngineError(QStringLiteral("La transaction a été annulée"));
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = detail::failureMessage(db, sqlite3_extended_errcode(db));
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        active_ = false;
        throw EngineError(message, QStringLiteral("COMMIT"));
    }
    active_ = false;
}

}  // namespace tavix::db

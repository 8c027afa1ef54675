#pragma once

#include "data/engine/Internal.h"

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <memory>

namespace tavix::db::detail {

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};

// Raises EngineError with SQLite's last message on db.
[[noreturn]] void fail(sqlite3* db, const QString& statement);

// True when text holds nothing but blanks, comments and ';'.
bool isBlankTail(const char* text);

// One prepared SQLite statement. Preparing refuses a text that holds more
// than one statement before anything of it runs.
class Statement {
public:
    Statement() = default;
    // sql: SQLite text; original: the statement as the caller wrote it, for
    // error messages.
    Statement(sqlite3* db, const QByteArray& sql, const QString& original);

    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_.get(); }
    const QString& original() const { return original_; }

    bool step();  // true on a row, false when done; throws EngineError
    void runToEnd();
    void reset() noexcept;
    void finalize() noexcept { stmt_.reset(); }

    void bindNull(int index);
    void bindInt64(int index, qint64 value);
    void bindDouble(int index, double value);
    void bindText(int index, const QString& text);

    QString text(int column) const;

private:
    void check(int rc);

    std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
    sqlite3* db_ = nullptr;
    QString original_;
};

// Runs a fixed statement of the engine's own, with no rows.
void exec(sqlite3* db, const char* sql);

}  // namespace tavix::db::detail

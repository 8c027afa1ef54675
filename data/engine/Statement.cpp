#include "data/engine/Statement.h"

#include <QFileInfo>

#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"

namespace tavix::db::detail {

void fail(sqlite3* db, const QString& statement) {
    if (!db) throw EngineError(QStringLiteral("Base de données fermée"), statement);
    raiseFailure(db, sqlite3_extended_errcode(db), statement);
}

bool isBlankTail(const char* p) {
    if (!p) return true;
    for (;;) {
        const char c = *p;
        if (c == '\0') return true;
        if (c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++p;
        } else if (c == '-' && p[1] == '-') {
            while (*p && *p != '\n') ++p;
        } else if (c == '/' && p[1] == '*') {
            p += 2;
            while (*p && !(p[0] == '*' && p[1] == '/')) ++p;
            if (*p) p += 2;
        } else {
            return false;
        }
    }
}

Statement::Statement(sqlite3* db, const QByteArray& sql, const QString& original)
    : db_(db), original_(original) {
    if (!db) throw notOpen(original);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    stmt_.reset(raw);
    if (rc != SQLITE_OK) fail(db, original);
    if (!stmt_) throw EngineError(QStringLiteral("Instruction vide"), original);
    if (!isBlankTail(tail)) {
        stmt_.reset();
        throw EngineError(QStringLiteral("Une seule instruction SQL est admise"), original);
    }
}

void Statement::check(int rc) {
    if (rc != SQLITE_OK) fail(db_, original_);
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // The statement's error, then reset so it holds no lock.
    const QString message = failureMessage(db_, sqlite3_extended_errcode(db_));
    sqlite3_reset(stmt_.get());
    throw EngineError(message, original_);
}

void Statement::runToEnd() {
    // SQLite keeps writing into a file deleted while it is open, and what it
    // writes is then lost: refuse instead of reporting success.
    if (!sqlite3_stmt_readonly(stmt_.get())) {
        const char* file = sqlite3_db_filename(db_, "main");
        if (file && *file && !QFileInfo::exists(QString::fromUtf8(file)))
            throw EngineError(QStringLiteral("Fichier de base de données introuvable : %1")
                                  .arg(QString::fromUtf8(file)),
                              original_);
    }
    while (step()) {
    }
}

void Statement::reset() noexcept {
    if (stmt_) sqlite3_reset(stmt_.get());
}

void Statement::bindNull(int index) { check(sqlite3_bind_null(stmt_.get(), index)); }

void Statement::bindInt64(int index, qint64 value) {
    check(sqlite3_bind_int64(stmt_.get(), index, value));
}

void Statement::bindDouble(int index, double value) {
    check(sqlite3_bind_double(stmt_.get(), index, value));
}

void Statement::bindText(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text(stmt_.get(), index, utf8.constData(), static_cast<int>(utf8.size()),
                            SQLITE_TRANSIENT));
}

QString Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt_.get(), column));
}

void exec(sqlite3* db, const char* sql) {
    if (!db) throw notOpen(QString::fromUtf8(sql));
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, QString::fromUtf8(sql));
}

}  // namespace tavix::db::detail

#include "data/engine/sqlite/SqliteBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/engine/ConnectionImpl.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"
#include "data/engine/Values.h"

namespace tavix::db::sqlite {

using detail::DbHandle;
using detail::Statement;

namespace {

DbHandle openHandle(const QString& path, int flags, int busyTimeoutMs) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   flags | SQLITE_OPEN_NOMUTEX, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK)
        throw EngineError(detail::openFailure(path, raw, raw ? sqlite3_extended_errcode(raw) : rc));
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    detail::prepareHandle(db.get());
    return db;
}

void run(sqlite3* db, const QString& statement) {
    Statement(db, detail::translate(db, statement), statement).runToEnd();
}

// Opens an existing file (read-only when it cannot be written) and reads
// from it: SQLite opens lazily, and only a real read tells a database from
// any other file and meets a lock held by another program.
DbHandle openExisting(const QString& path, int busyTimeoutMs) {
    if (const QString refusal = detail::pathRefusal(path); !refusal.isEmpty())
        throw EngineError(refusal);
    if (const QString closed = detail::closedFolder(path); !closed.isEmpty())
        throw EngineError(closed);
    const QFileInfo info(path);
    if (!info.exists()) throw EngineError(detail::missingFile(path));
    if (info.isDir()) throw EngineError(detail::folderNotFile(path));
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    DbHandle db(raw);
    const auto refuse = [&](int result) {
        throw EngineError(
            detail::openFailure(path, db.get(), db ? sqlite3_extended_errcode(db.get()) : result));
    };
    if (rc != SQLITE_OK) refuse(rc);
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    detail::prepareHandle(db.get());
    rc = sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) refuse(rc);
    return db;
}

// The rows of one prepared statement.
class SqliteCursor final : public detail::Cursor {
public:
    SqliteCursor(Statement stmt, QList<FieldDef> fields) : stmt_(std::move(stmt)) {
        fields_ = std::move(fields);
    }
    bool next() override {
        if (!stmt_) return false;
        try {
            if (stmt_.step()) return true;
        } catch (...) {
            stmt_.finalize();
            throw;
        }
        stmt_.finalize();  // the read lock goes with the last row
        return false;
    }
    bool isNull(int column) const override {
        return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL;
    }
    Query::Cell cell(int column) const override {
        sqlite3_stmt* s = stmt_.get();
        Query::Cell c;
        switch (sqlite3_column_type(s, column)) {
            case SQLITE_INTEGER:
                c.kind = Query::Cell::Integer;
                c.integer = sqlite3_column_int64(s, column);
                break;
            case SQLITE_FLOAT:
                c.kind = Query::Cell::Float;
                break;
            case SQLITE_TEXT:
                c.kind = Query::Cell::Text;
                c.text =
                    QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                   sqlite3_column_bytes(s, column));
                break;
            case SQLITE_BLOB:
                c.kind = Query::Cell::Blob;
                break;
            default:
                break;
        }
        return c;
    }
    QByteArrayView utf8(int column) const override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
        return p ? QByteArrayView(p, sqlite3_column_bytes(stmt_.get(), column)) : QByteArrayView();
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(stmt_.get(), column); }
    QVariant value(int column, FieldType type) const override {
        return detail::readCell(stmt_.get(), column, type);
    }

private:
    Statement stmt_;
};

[[noreturn]] void refuseCopy(const QString& target, const QString& why) {
    throw EngineError(
        QStringLiteral("Copie de sauvegarde impossible vers « %1 » : %2").arg(target, why));
}

// The layout of the file (tables and indexes), as declared.
QStringList declarations(sqlite3* db) {
    QStringList out;
    Statement read(db,
                   "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                   "'sqlite\\_%' ESCAPE '\\' ORDER BY type = 'index', rowid",
                   QString());
    while (read.step()) out << read.text(0);
    return out;
}

QStringList tableNames(sqlite3* db) {
    QStringList out;
    Statement read(db,
                   "SELECT name FROM main.sqlite_master WHERE type = 'table' AND name NOT LIKE "
                   "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid",
                   QString());
    while (read.step()) out << read.text(0);
    return out;
}

}  // namespace

sqlite3* handleOf(const Connection& connection) {
    auto* file = dynamic_cast<SqliteBackend*>(detail::implOf(connection).backend.get());
    return file ? file->handle() : nullptr;
}

void bind(Statement& stmt, int index, const QVariant& value) {
    const detail::BoundValue v = detail::bindValue(value);
    switch (v.kind) {
        case detail::BoundValue::Null:
            stmt.bindNull(index);
            break;
        case detail::BoundValue::Integer:
            stmt.bindInt64(index, v.integer);
            break;
        case detail::BoundValue::Double:
            stmt.bindDouble(index, v.real);
            break;
        case detail::BoundValue::Text:
            stmt.bindText(index, v.text);
            break;
    }
}

SqliteBackend::SqliteBackend(const QString& path, int busyTimeoutMs)
    : path_(path), busyTimeoutMs_(busyTimeoutMs), db_(openExisting(path, busyTimeoutMs)) {}

SqliteBackend::~SqliteBackend() { rollback(); }

void SqliteBackend::execute(const QString& statement) {
    reopenIfReadOnly();
    run(db_.get(), statement);
}

std::unique_ptr<detail::Cursor> SqliteBackend::open(const QString& sql) {
    Statement stmt(db_.get(), detail::translate(db_.get(), sql), sql);
    const int count = sqlite3_column_count(stmt.get());
    if (count == 0)
        throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
    QList<FieldDef> fields;
    for (int i = 0; i < count; ++i) {
        const char* decl = sqlite3_column_decltype(stmt.get(), i);
        fields.append(detail::fieldFor(QString::fromUtf8(sqlite3_column_name(stmt.get(), i)),
                                       decl ? QString::fromUtf8(decl) : QStringLiteral("?")));
    }
    return std::make_unique<SqliteCursor>(std::move(stmt), std::move(fields));
}

std::unique_ptr<detail::Cursor> SqliteBackend::openBound(const QString& sql,
                                                         const QVariantList& values, bool) {
    // A file's rows come one step at a time already.
    Statement stmt(db_.get(), sql.toUtf8(), sql);
    for (int i = 0; i < values.size(); ++i) bind(stmt, i + 1, values[i]);
    QList<FieldDef> fields;
    const int count = sqlite3_column_count(stmt.get());
    for (int i = 0; i < count; ++i) {
        const char* decl = sqlite3_column_decltype(stmt.get(), i);
        fields.append(detail::fieldFor(QString::fromUtf8(sqlite3_column_name(stmt.get(), i)),
                                       decl ? QString::fromUtf8(decl) : QStringLiteral("?")));
    }
    return std::make_unique<SqliteCursor>(std::move(stmt), std::move(fields));
}

QList<FieldDef> SqliteBackend::tableFields(const QString& table) {
    QList<FieldDef> fields;
    for (const auto& column : detail::tableInfo(db_.get(), table)) fields.append(column.field);
    if (fields.isEmpty()) throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
    return fields;
}

void SqliteBackend::begin() { detail::exec(db_.get(), "BEGIN IMMEDIATE"); }

void SqliteBackend::commit() {
    sqlite3* db = db_.get();
    // Some failures (disk full, I/O) already ended the transaction.
    if (!db || sqlite3_get_autocommit(db))
        throw EngineError(QStringLiteral("La transaction a été annulée"));
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = detail::failureMessage(db, sqlite3_extended_errcode(db));
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw EngineError(message, QStringLiteral("COMMIT"));
    }
}

void SqliteBackend::rollback() noexcept {
    sqlite3* db = db_.get();
    if (db && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteBackend::copyTo(const QString& target) {
    sqlite3* source = db_.get();
    if (QFileInfo::exists(target)) refuseCopy(target, QStringLiteral("le fichier existe déjà"));
    QString failure;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        DbHandle copy(raw);
        if (rc != SQLITE_OK) {
            failure = detail::shortCause(raw, raw ? sqlite3_extended_errcode(raw) : rc);
        } else if (sqlite3_backup* backup = sqlite3_backup_init(raw, "main", source, "main")) {
            const int step = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            if (step != SQLITE_DONE) failure = detail::shortCause(nullptr, step);
        } else {
            failure = detail::shortCause(raw, sqlite3_extended_errcode(raw));
        }
    }
    if (!failure.isEmpty()) {
        QFile::remove(target);
        refuseCopy(target, failure);
    }
}

void SqliteBackend::purge(const QString& table, const QString& target) {
    reopenIfReadOnly();
    sqlite3* source = db_.get();
    if (QFileInfo::exists(target)) refuseCopy(target, QStringLiteral("le fichier existe déjà"));
    if (!sqlite3_get_autocommit(source))
        refuseCopy(target, QStringLiteral("une transaction est en cours"));

    // The copy's layout first, in a file of its own; its rows then come
    // inside the write lock that also covers the delete, so nothing stored
    // meanwhile can fall between the copy and the delete.
    QString failure;
    bool attached = false;
    bool began = false;
    try {
        {
            DbHandle copy = openHandle(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 5000);
            detail::exec(copy.get(), "PRAGMA synchronous=FULL");
            detail::exec(copy.get(), "BEGIN IMMEDIATE");
            for (const QString& sql : declarations(source))
                Statement(copy.get(), sql.toUtf8(), sql).runToEnd();
            detail::exec(copy.get(), "COMMIT");
            if (sqlite3_close(copy.get()) != SQLITE_OK) detail::fail(copy.get(), {});
            copy.release();
        }
        {
            Statement attach(source, "ATTACH DATABASE ? AS tavix_copie", target);
            attach.bindText(1, target);
            attach.runToEnd();
            attached = true;
        }
        detail::exec(source, "BEGIN IMMEDIATE");
        began = true;
        for (const QString& name : tableNames(source)) {
            const QString copy = QStringLiteral("INSERT INTO tavix_copie.%1 SELECT * FROM main.%1")
                                     .arg(detail::quoteName(name));
            Statement(source, copy.toUtf8(), copy).runToEnd();
        }
        const QString purge = QStringLiteral("DELETE FROM main.%1").arg(detail::quoteName(table));
        Statement(source, purge.toUtf8(), purge).runToEnd();
        detail::exec(source, "COMMIT");
        began = false;
    } catch (const Error& e) {
        failure = e.message();
    }
    if (began) sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
    if (attached) sqlite3_exec(source, "DETACH DATABASE tavix_copie", nullptr, nullptr, nullptr);
    if (!failure.isEmpty()) {
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
        refuseCopy(target, failure);
    }
}

void SqliteBackend::setBusyTimeout(int ms) {
    busyTimeoutMs_ = ms;
    sqlite3_busy_timeout(db_.get(), ms);
}

void SqliteBackend::reopenIfReadOnly() {
    sqlite3* db = db_.get();
    if (!db || sqlite3_db_readonly(db, "main") != 1 || !sqlite3_get_autocommit(db)) return;
    DbHandle fresh;
    try {
        fresh = openExisting(path_, busyTimeoutMs_);
    } catch (const EngineError&) {
        return;  // the write itself will say why
    }
    if (sqlite3_db_readonly(fresh.get(), "main") == 1) return;
    // Statements still prepared on the old handle keep it alive until they
    // are finalized; everything prepared from now on uses the new one.
    db_ = std::move(fresh);
}

void createDatabase(const QString& path, const QStringList& statements) {
    if (path.isEmpty()) throw EngineError(QStringLiteral("Nom de fichier vide"));
    if (const QString refusal = detail::pathRefusal(path); !refusal.isEmpty())
        throw EngineError(refusal);
    const QFileInfo info(path);
    if (info.exists()) throw EngineError(QStringLiteral("Le fichier existe déjà : %1").arg(path));
    if (!QDir().mkpath(info.absolutePath()))
        throw EngineError(
            QStringLiteral("Impossible de créer le dossier %1").arg(info.absolutePath()));
    try {
        DbHandle db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 5000);
        detail::exec(db.get(), "PRAGMA synchronous=FULL");
        detail::exec(db.get(), "BEGIN IMMEDIATE");
        for (const QString& s : statements) run(db.get(), s);
        detail::exec(db.get(), "COMMIT");
        if (sqlite3_close(db.get()) != SQLITE_OK) detail::fail(db.get(), {});
        db.release();
    } catch (...) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw;
    }
}

}  // namespace tavix::db::sqlite

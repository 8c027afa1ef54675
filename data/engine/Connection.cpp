#include "data/engine/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/engine/ConnectionImpl.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgDialect.h"

namespace tavix::db {

using detail::DbHandle;
using detail::Statement;

namespace detail {

// The value of "Data Source=": up to the next ';', or between double or
// single quotes (the quote doubled inside stands for itself); other keys are
// ignored.
QString dataSource(const QString& connectionString) {
    const QString& s = connectionString;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype eq = s.indexOf(u'=', i);
        const qsizetype semicolon = s.indexOf(u';', i);
        if (eq < 0) break;
        if (semicolon >= 0 && semicolon < eq) {  // a part without '='
            i = semicolon + 1;
            continue;
        }
        const QString key = s.mid(i, eq - i).trimmed();
        qsizetype v = eq + 1;
        while (v < s.size() && s.at(v) == u' ') ++v;
        QString value;
        if (v < s.size() && (s.at(v) == u'"' || s.at(v) == u'\'')) {
            const QChar mark = s.at(v);
            for (++v; v < s.size(); ++v) {
                if (s.at(v) == mark) {
                    if (v + 1 < s.size() && s.at(v + 1) == mark) {
                        value += mark;
                        ++v;
                        continue;
                    }
                    ++v;
                    break;
                }
                value += s.at(v);
            }
            const qsizetype end = s.indexOf(u';', v);
            i = end < 0 ? s.size() : end + 1;
        } else {
            const qsizetype end = s.indexOf(u';', eq + 1);
            value = s.mid(eq + 1, end < 0 ? -1 : end - eq - 1);
            i = end < 0 ? s.size() : end + 1;
        }
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

}  // namespace detail

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

}  // namespace

QString connectionStringValue(const QString& value) {
    const bool plain = !value.contains(u';') && !value.startsWith(u'"') &&
                       !value.startsWith(u'\'') && !value.startsWith(u' ');
    if (plain) return value;
    if (!value.contains(u'"')) return u'"' + value + u'"';
    if (!value.contains(u'\'')) return u'\'' + value + u'\'';
    QString doubled = value;
    doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

Connection::Connection() : impl_(std::make_unique<Impl>()) {}

Connection::~Connection() {
    close();
    const auto clients = impl_->clients;
    for (auto* c : clients) c->connectionDestroyed();
}

void Connection::setConnectionString(const QString& text) { impl_->connectionString = text; }

QString Connection::connectionString() const { return impl_->connectionString; }

void Connection::setBusyTimeout(int ms) {
    impl_->busyTimeoutMs = ms;
    if (impl_->db) sqlite3_busy_timeout(impl_->db.get(), ms);
}

int Connection::busyTimeout() const { return impl_->busyTimeoutMs; }

void Connection::open() {
    if (impl_->db || impl_->pg) return;
    const QString path = detail::dataSource(impl_->connectionString);
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Aucune source de données dans la chaîne de connexion"));
    if (pg::isServerTarget(path)) {
        auto session = std::make_unique<pg::Session>(path);
        session->createLayoutIfEmpty();
        impl_->pg = std::move(session);
        impl_->fileName = path;
        return;
    }
    impl_->db = openExisting(path, impl_->busyTimeoutMs);
    impl_->fileName = path;
}

void Connection::reopenIfReadOnly() {
    sqlite3* db = impl_->db.get();
    if (!db || sqlite3_db_readonly(db, "main") != 1 || !sqlite3_get_autocommit(db)) return;
    DbHandle fresh;
    try {
        fresh = openExisting(impl_->fileName, impl_->busyTimeoutMs);
    } catch (const EngineError&) {
        return;  // the write itself will say why
    }
    if (sqlite3_db_readonly(fresh.get(), "main") == 1) return;
    // Statements still prepared on the old handle keep it alive until they
    // are finalized; everything prepared from now on uses the new one.
    impl_->db = std::move(fresh);
}

void Connection::close() {
    if (impl_->pg) {
        const auto clients = impl_->clients;
        for (auto* c : clients) {
            if (std::find(impl_->clients.begin(), impl_->clients.end(), c) != impl_->clients.end())
                c->connectionClosing();
        }
        impl_->pg.reset();
        impl_->fileName.clear();
        return;
    }
    if (!impl_->db) return;
    const auto clients = impl_->clients;
    for (auto* c : clients) {
        if (std::find(impl_->clients.begin(), impl_->clients.end(), c) != impl_->clients.end())
            c->connectionClosing();
    }
    if (!sqlite3_get_autocommit(impl_->db.get()))
        sqlite3_exec(impl_->db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    impl_->db.reset();
    impl_->fileName.clear();
}

bool Connection::connected() const { return impl_->db != nullptr || impl_->pg != nullptr; }

bool Connection::server() const { return impl_->pg != nullptr; }

QString Connection::fileName() const { return impl_->fileName; }

sqlite3* Connection::handle() const { return impl_->db.get(); }

void Connection::execute(const QString& statement) {
    if (impl_->pg) {
        const pg::Translated t = pg::translate(*impl_->pg, statement);
        impl_->pg->exec(t.sql, t.params, statement);
        if (pg::changesLayout(statement)) impl_->pg->invalidate();
        return;
    }
    if (!impl_->db) throw notOpen(statement);
    reopenIfReadOnly();
    run(impl_->db.get(), statement);
}

QList<FieldDef> Connection::tableFields(const QString& table) const {
    if (impl_->pg) {
        QList<FieldDef> fields;
        if (const pg::Table* t = impl_->pg->table(table))
            for (const auto& c : t->columns) fields.append(c.field);
        if (fields.isEmpty())
            throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
        return fields;
    }
    if (!impl_->db) throw notOpen(table);
    QList<FieldDef> fields;
    for (const auto& column : detail::tableInfo(impl_->db.get(), table))
        fields.append(column.field);
    if (fields.isEmpty()) throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
    return fields;
}

void Connection::createDatabase(const QString& path, const QStringList& statements) {
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

}  // namespace tavix::db

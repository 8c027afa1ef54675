#include "data/engine/Backup.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"
#include "data/engine/Statement.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgBackup.h"

namespace tavix::db {

void backupDatabase(Connection& connection, const QString& target) {
    if (pg::Session* server = connection.impl().pg.get()) {
        pg::copyToFile(*server, target);
        return;
    }
    sqlite3* source = connection.handle();
    if (!source) throw notOpen();
    auto refuse = [&](const QString& why) {
        throw EngineError(
            QStringLiteral("Copie de sauvegarde impossible vers « %1 » : %2").arg(target, why));
    };
    if (QFileInfo::exists(target)) refuse(QStringLiteral("le fichier existe déjà"));

    QString failure;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        detail::DbHandle copy(raw);
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
        refuse(failure);
    }
}

namespace {

[[noreturn]] void refuseCopy(const QString& target, const QString& why) {
    throw EngineError(
        QStringLiteral("Copie de sauvegarde impossible vers « %1 » : %2").arg(target, why));
}

// The layout of the file (tables and indexes), as declared.
QStringList declarations(sqlite3* db) {
    QStringList out;
    detail::Statement read(db,
                           "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT "
                           "LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type = 'index', rowid",
                           QString());
    while (read.step()) out << read.text(0);
    return out;
}

QStringList tableNames(sqlite3* db, const char* schema) {
    QStringList out;
    detail::Statement read(db,
                           QByteArray("SELECT name FROM ") + schema +
                               ".sqlite_master WHERE type = 'table' AND name NOT LIKE "
                               "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid",
                           QString());
    while (read.step()) out << read.text(0);
    return out;
}

void purgeFile(Connection& connection, const QString& table, const QString& target) {
    connection.reopenIfReadOnly();
    sqlite3* source = connection.handle();
    if (!source) throw notOpen();
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
            sqlite3* raw = nullptr;
            const int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
            detail::DbHandle copy(raw);
            if (rc != SQLITE_OK)
                throw EngineError(
                    detail::shortCause(raw, raw ? sqlite3_extended_errcode(raw) : rc));
            detail::prepareHandle(copy.get());  // the collations the layout may name
            detail::exec(copy.get(), "PRAGMA synchronous=FULL");
            detail::exec(copy.get(), "BEGIN IMMEDIATE");
            for (const QString& sql : declarations(source))
                detail::Statement(copy.get(), sql.toUtf8(), sql).runToEnd();
            detail::exec(copy.get(), "COMMIT");
            if (sqlite3_close(copy.get()) != SQLITE_OK) detail::fail(copy.get(), {});
            copy.release();
        }
        {
            detail::Statement attach(source, "ATTACH DATABASE ? AS tavix_copie", target);
            attach.bindText(1, target);
            attach.runToEnd();
            attached = true;
        }
        detail::exec(source, "BEGIN IMMEDIATE");
        began = true;
        for (const QString& name : tableNames(source, "main")) {
            const QString n = detail::quoteName(name);
            const QString copy =
                QStringLiteral("INSERT INTO tavix_copie.%1 SELECT * FROM main.%1").arg(n);
            detail::Statement(source, copy.toUtf8(), copy).runToEnd();
        }
        const QString purge = QStringLiteral("DELETE FROM main.%1").arg(detail::quoteName(table));
        detail::Statement(source, purge.toUtf8(), purge).runToEnd();
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

}  // namespace

void purgeTable(Connection& connection, const QString& table, const QString& target) {
    if (pg::Session* server = connection.impl().pg.get()) {
        pg::purgeToFile(*server, table, target);
        return;
    }
    purgeFile(connection, table, target);
}

}  // namespace tavix::db

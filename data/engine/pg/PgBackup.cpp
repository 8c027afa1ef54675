#include "data/engine/pg/PgBackup.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/engine/Statement.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgErrors.h"
#include "data/engine/pg/PgSession.h"
#include "data/engine/sqlite/SqliteBackend.h"

namespace tavix::db::pg {

namespace {

QString declaration(const Column& c, bool key) {
    switch (c.field.type) {
        case FieldType::Text:
            return c.field.size > 0 ? QStringLiteral("TEXT(%1)").arg(c.field.size)
                                    : QStringLiteral("TEXT");
        case FieldType::Integer:
        case FieldType::AutoIncrement:
            return key ? QStringLiteral("INTEGER PRIMARY KEY") : QStringLiteral("INTEGER");
        case FieldType::DateTime:
            return QStringLiteral("DATETIME");
        case FieldType::Float:
            return QStringLiteral("REAL");
        case FieldType::Other:
            break;
    }
    return QStringLiteral("TEXT");
}

void copyTable(Session& session, sqlite3* db, const Table& table) {
    QStringList declared;
    QStringList names;
    QStringList marks;
    for (const Column& c : table.columns) {
        declared << detail::quoteName(c.name) + u' ' + declaration(c, c.name == table.key);
        names << detail::quoteName(c.name);
        marks << QStringLiteral("?");
    }
    const QString create =
        QStringLiteral("CREATE TABLE %1 (%2)")
            .arg(detail::quoteName(table.name), declared.join(QStringLiteral(", ")));
    detail::exec(db, create.toUtf8().constData());
    const QString select =
        QStringLiteral("SELECT %1 FROM %2")
            .arg(names.join(QStringLiteral(", ")), detail::quoteName(table.name));
    const Result rows = session.exec(select.toUtf8(), {}, select);
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(detail::quoteName(table.name), names.join(QStringLiteral(", ")),
                                    marks.join(QStringLiteral(", ")));
    detail::Statement stmt(db, insert.toUtf8(), insert);
    for (int r = 0; r < rows.rows(); ++r) {
        stmt.reset();
        for (int c = 0; c < rows.columns(); ++c) {
            sqlite::bind(stmt, c + 1, rows.cell(r, c, table.columns[c].field.type));
        }
        stmt.runToEnd();
    }
}

}  // namespace

namespace {

[[noreturn]] void refuse(const QString& target, const QString& why) {
    throw EngineError(
        QStringLiteral("Copie de sauvegarde impossible vers « %1 » : %2").arg(target, why));
}

// Writes the program's tables into a new file at target, read inside the
// session's open transaction.
void writeCopy(Session& session, const QString& target) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    detail::DbHandle db(raw);
    if (rc != SQLITE_OK)
        throw EngineError(raw ? QString::fromUtf8(sqlite3_errmsg(raw))
                              : QString::fromUtf8(sqlite3_errstr(rc)));
    detail::exec(db.get(), "PRAGMA synchronous=FULL");
    detail::exec(db.get(), "BEGIN IMMEDIATE");
    // The log's tables, then the billing's beside them where the base has them.
    for (const char* name : {"clients", "travaux", "activites", "tarifs", "coordonnees_clients",
                             "numerotation", "registre_factures"})
        if (const Table* t = session.table(QString::fromLatin1(name)))
            copyTable(session, db.get(), *t);
    detail::exec(db.get(), "COMMIT");
    if (sqlite3_close(db.get()) != SQLITE_OK) detail::fail(db.get(), {});
    db.release();
}

void removeCopy(const QString& target) {
    QFile::remove(target);
    QFile::remove(target + QStringLiteral("-journal"));
}

void rollback(Session& session) {
    if (!session.inTransaction()) return;
    try {
        session.command("ROLLBACK");
    } catch (const Error&) {
    }
}

void checkTarget(const QString& target) {
    if (QFileInfo::exists(target)) refuse(target, QStringLiteral("le fichier existe déjà"));
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        refuse(target, QStringLiteral("le dossier ne peut pas être créé"));
}

}  // namespace

void copyToFile(Session& session, const QString& target) {
    checkTarget(target);
    QString failure;
    const bool ownTransaction = !session.inTransaction();
    try {
        // One snapshot of the three tables, whatever other workstations write meanwhile.
        if (ownTransaction) session.command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        writeCopy(session, target);
        if (ownTransaction) session.command("COMMIT");
    } catch (const Error& e) {
        failure = e.message();
    }
    if (!failure.isEmpty()) {
        if (ownTransaction) rollback(session);
        removeCopy(target);
        refuse(target, failure);
    }
}

void purgeToFile(Session& session, const QString& table, const QString& target) {
    if (session.inTransaction()) refuse(target, QStringLiteral("une transaction est en cours"));
    const Table* t = session.table(table);
    if (!t) throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
    const QString name = t->name;
    checkTarget(target);
    QString failure;
    QString refused;
    try {
        session.command("BEGIN ISOLATION LEVEL REPEATABLE READ");
        writeCopy(session, target);
        const QString count =
            QStringLiteral("SELECT count(*) FROM %1").arg(detail::quoteName(name));
        const qint64 total = session.exec(count.toUtf8(), {}, count).text(0, 0).toLongLong();
        const QString purge = QStringLiteral("DELETE FROM %1").arg(detail::quoteName(name));
        const qint64 deleted = session.exec(purge.toUtf8(), {}, purge).affected();
        // Row-level security lets a workstation delete its own rows only:
        // a purge is all or nothing.
        if (deleted < total)
            refused = purgeRefused(session.server(), session.role(), deleted, total);
    } catch (const Error& e) {
        failure = e.message();
    }
    if (!failure.isEmpty() || !refused.isEmpty()) {
        rollback(session);
        removeCopy(target);
        if (!refused.isEmpty()) throw EngineError(refused);
        refuse(target, failure);
    }
    try {
        session.command("COMMIT");
    } catch (const ServerUnreachable& e) {
        // The server may have committed before the connection went: the
        // copy stays, so no row can be lost.
        throw EngineError(QStringLiteral("La purge n'a peut-être pas abouti (%1) ; la copie « %2 » "
                                         "est conservée")
                              .arg(e.message(), target));
    } catch (const Error& e) {
        rollback(session);
        removeCopy(target);
        refuse(target, e.message());
    }
}

}  // namespace tavix::db::pg

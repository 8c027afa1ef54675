#include "data/engine/pg/PgBackup.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/engine/Statement.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgSession.h"

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
            const QVariant v = rows.cell(r, c, table.columns[c].field.type);
            if (v.isNull())
                stmt.bindNull(c + 1);
            else if (v.metaType() == QMetaType::fromType<DateTime>())
                stmt.bindText(c + 1, v.value<DateTime>().toIso());
            else if (v.typeId() == QMetaType::LongLong)
                stmt.bindInt64(c + 1, v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                stmt.bindDouble(c + 1, v.toDouble());
            else
                stmt.bindText(c + 1, v.toString());
        }
        stmt.runToEnd();
    }
}

}  // namespace

void copyToFile(Session& session, const QString& target) {
    auto refuse = [&](const QString& why) {
        throw EngineError(
            QStringLiteral("Copie de sauvegarde impossible vers « %1 » : %2").arg(target, why));
    };
    if (QFileInfo::exists(target)) refuse(QStringLiteral("le fichier existe déjà"));
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        refuse(QStringLiteral("le dossier ne peut pas être créé"));
    QString failure;
    const bool ownTransaction = !session.inTransaction();
    try {
        // One snapshot of the three tables, whatever other workstations write meanwhile.
        if (ownTransaction) session.command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        detail::DbHandle db(raw);
        if (rc != SQLITE_OK)
            throw EngineError(raw ? QString::fromUtf8(sqlite3_errmsg(raw))
                                  : QString::fromUtf8(sqlite3_errstr(rc)));
        detail::exec(db.get(), "PRAGMA synchronous=FULL");
        detail::exec(db.get(), "BEGIN IMMEDIATE");
        for (const char* name : {"clients", "travaux", "activites"})
            if (const Table* t = session.table(QString::fromLatin1(name)))
                copyTable(session, db.get(), *t);
        detail::exec(db.get(), "COMMIT");
        if (sqlite3_close(db.get()) != SQLITE_OK) detail::fail(db.get(), {});
        db.release();
        if (ownTransaction) session.command("COMMIT");
    } catch (const Error& e) {
        failure = e.message();
    }
    if (!failure.isEmpty()) {
        if (ownTransaction && session.inTransaction()) {
            try {
                session.command("ROLLBACK");
            } catch (const Error&) {
            }
        }
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
        refuse(failure);
    }
}

}  // namespace tavix::db::pg

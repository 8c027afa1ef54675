#include "data/engine/Backup.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqliteErrors.h"
#include "data/engine/Statement.h"
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

}  // namespace tavix::db

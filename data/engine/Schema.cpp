#include "data/engine/Schema.h"

namespace tavix::db {

QStringList defaultSchema() {
    return {
        QStringLiteral("CREATE TABLE clients (NOM TEXT(255))"),
        QStringLiteral("CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "TRAVAUX TEXT(255), ORDRE INTEGER)"),
        QStringLiteral("CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "SURVEILLANCES TEXT(32), CLIENTS TEXT(255), DEBUT DATETIME, FIN DATETIME, "
                       "DUREE INTEGER, COMMENTAIRE TEXT(255), [USER] TEXT(255))"),
    };
}

}  // namespace tavix::db

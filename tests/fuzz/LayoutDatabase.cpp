#include "LayoutDatabase.h"

#include <QString>

#include "FuzzTargets.h"
#include "data/engine/Dialect.h"
#include "data/engine/Schema.h"
#include "data/engine/Statement.h"

namespace tavix::fuzz {

namespace {

db::detail::DbHandle makeLayout() {
    sqlite3* raw = nullptr;
    if (sqlite3_open(":memory:", &raw) != SQLITE_OK)
        broken("an in-memory database opens", QStringLiteral(":memory:"));
    db::detail::DbHandle db(raw);
    db::detail::prepareHandle(db.get());
    for (const QString& statement : db::defaultSchema())
        db::detail::exec(db.get(), db::detail::translate(db.get(), statement).constData());
    // One row per table, so conditions are evaluated and not only compiled.
    db::detail::exec(db.get(), "INSERT INTO clients VALUES ('Dupont')");
    db::detail::exec(db.get(), "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 1)");
    db::detail::exec(db.get(),
                     "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
                     "('Saisie', 'Dupont', '2009-12-25 10:00:00', '2009-12-25 11:00:00', 3600)");
    return db;
}

}  // namespace

sqlite3* layoutDatabase() {
    static const db::detail::DbHandle db = makeLayout();
    return db.get();
}

}  // namespace tavix::fuzz

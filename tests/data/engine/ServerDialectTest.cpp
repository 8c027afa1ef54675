// The server's translation of the dialect, checked against the program's
// layout held in memory: what is sent to PostgreSQL, without a server.

#include <gtest/gtest.h>

#include "common/ServerLayout.h"
#include "data/engine/EngineError.h"

using namespace tavix;

namespace {

QStringList paramsOf(const db::pg::Translated& t) {
    QStringList out;
    for (const auto& p : t.params) out << (p ? QString::fromUtf8(*p) : QStringLiteral("NULL"));
    return out;
}

// Where the file's and the server's translations used to differ: the
// conflict clauses, and the dates stored after them.
TEST(ServerDialectTest, StatementsAsSentToTheServer) {
    auto catalog = test::serverLayoutCatalog();
    const struct {
        const char* statement;
        const char* sql;
        QStringList params;
    } cases[] = {
        {R"(INSERT INTO activites ([USER],[DEBUT]) SELECT "moi", "25/12/2009 10:00:00")",
         R"(INSERT INTO activites ("USER","DEBUT") SELECT $1, CAST($2 AS timestamp))",
         {"moi", "2009-12-25 10:00:00"}},
        {R"(INSERT OR REPLACE INTO activites ([DEBUT]) SELECT "25/12/2009")",
         R"(INSERT   INTO activites ("DEBUT") SELECT CAST($1 AS timestamp) ON CONFLICT ("ID") DO UPDATE SET "DEBUT" = EXCLUDED."DEBUT")",
         {"2009-12-25 00:00:00"}},
        {R"(insert or ignore into clients ([NOM]) select "Dupont" -- fin)",
         R"(insert   into clients ("NOM") select $1 ON CONFLICT DO NOTHING  )",
         {"Dupont"}},
        {R"(REPLACE INTO travaux ([ID], [TRAVAUX]) VALUES (3, "Appel"))",
         R"(INSERT INTO travaux ("ID", "TRAVAUX") VALUES (3, $1) ON CONFLICT ("ID") DO UPDATE SET "TRAVAUX" = EXCLUDED."TRAVAUX")",
         {"Appel"}},
        {R"(INSERT OR ABORT INTO clients ([NOM]) VALUES ('l''ami'))",
         R"(INSERT   INTO clients ("NOM") VALUES ($1))",
         {"l'ami"}},
        {R"(UPDATE OR ABORT activites SET [FIN] = "25/12/2009 11:00:00")",
         R"(UPDATE   activites SET "FIN" = CAST($1 AS timestamp))",
         {"2009-12-25 11:00:00"}},
        {R"(DELETE * FROM activites WHERE [DEBUT] >= #12/1/2009# ;  -- fin)",
         R"(DELETE  FROM "activites" WHERE "DEBUT" >= CAST($1 AS timestamp)    )",
         {"2009-12-01 00:00:00"}},
        {R"(SELECT [NOM] FROM clients WHERE nom == "a""b" /* ouvert)",
         R"(SELECT "NOM" FROM "clients" WHERE "NOM" = $1  )",
         {"a\"b"}},
        // A literal joined to a word; a comment PostgreSQL would read as
        // nested around code.
        {R"(SELECT E"\" /* /* */ FROM clients)", R"(SELECT E $1   FROM "clients")", {"\\"}},
        {R"(CREATE TABLE t (a TEXT(5) DEFAULT U&"x"))",
         R"(CREATE TABLE t (a varchar(5) DEFAULT U& 'x'))",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        const auto t = db::pg::translate(catalog, QString::fromUtf8(c.statement));
        EXPECT_EQ(QString::fromUtf8(t.sql), QString::fromUtf8(c.sql));
        EXPECT_EQ(paramsOf(t), c.params);
    }
}

TEST(ServerDialectTest, RefusesWhatTheServerCannotDo) {
    auto catalog = test::serverLayoutCatalog();
    for (const char* statement : {
             "INSERT OR ROLLBACK INTO clients ([NOM]) SELECT \"x\"",
             "INSERT OR FAIL INTO clients ([NOM]) SELECT \"x\"",
             "UPDATE OR REPLACE activites SET [DUREE] = 1",
             "INSERT OR REPLACE INTO inconnue (a) VALUES (1)",
             "INSERT OR",
             "SELECT 1; SELECT 2",
             "SELECT \"ouvert",
             "SELECT [ ]",
             "SELECT #31/31/2009#",
             "SELECT ($1)",
             "SELECT $$ x $$",
         }) {
        EXPECT_THROW(db::pg::translate(catalog, QString::fromUtf8(statement)), db::EngineError)
            << statement;
    }
}

}  // namespace

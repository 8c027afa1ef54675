// The program's own statements, in the dialect, run on real files.

#include "EngineSupport.h"
#include "data/engine/EngineError.h"
#include "data/engine/Quoting.h"
#include "data/engine/Transaction.h"

using namespace tavix;
using namespace tavix::test;
using tavix::db::quoted;

namespace {

// The log entry statement as the data module builds it.
QString logEntry(const QString& user, const QString& activity, const QString& client,
                 const QString& start, const QString& end, int duration, const QString& comment) {
    return "INSERT INTO activites ([USER],[SURVEILLANCES],[CLIENTS],[DEBUT],[FIN],[DUREE],"
           "[COMMENTAIRE]) SELECT " +
           quoted(user) + ", " + quoted(activity) + ", " + quoted(client) + ", " + quoted(start) +
           ", " + quoted(end) + ", " + QString::number(duration) + ", " + quoted(comment);
}

const QString kReportSelect =
    "SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE] FROM "
    "activites ";
const QStringList kReportFields = {"USER", "SURVEILLANCES", "CLIENTS",    "DEBUT",
                                   "FIN",  "DUREE",         "COMMENTAIRE"};

using DialectTest = EngineTest;

TEST_F(DialectTest, LogEntriesStoreIsoAndReadBackRegional) {
    const struct {
        QString user, activity, client, start, end;
        int duration;
        QString comment;
        QString stored;    // raw row as SQLite holds it
        QString readBack;  // the report's reading of it
    } cases[] = {
        {"", "Saisie", "Dupont", "25/12/2009", "25/12/2009 10:15:30", 0, "",
         "|Saisie|Dupont|2009-12-25 00:00:00|2009-12-25 10:15:30|0|",
         "|Saisie|Dupont|25/12/2009|25/12/2009 10:15:30|0|"},
        // Quotes of every kind and a line break survive; a time inside the
        // spring-forward gap stays as the clock showed it.
        {"marie", "Appel", "Le \"Grand\" l'ami", "29/03/2026 01:59:30", "29/03/2026 02:30:00", 1830,
         "Il a dit \"\"oui\"\"\net l'a noté",
         "marie|Appel|Le \"Grand\" l'ami|2026-03-29 01:59:30|2026-03-29 02:30:00|1830|"
         "Il a dit \"\"oui\"\"\net l'a noté",
         "marie|Appel|Le \"Grand\" l'ami|29/03/2026 01:59:30|29/03/2026 02:30:00|1830|"
         "Il a dit \"\"oui\"\"\net l'a noté"},
        {"x", "Appel", "Martin", "1/2/2010 9:05", "01/02/2010 09:05:07", -5, "négatif",
         "x|Appel|Martin|2010-02-01 09:05:00|2010-02-01 09:05:07|-5|négatif",
         "x|Appel|Martin|01/02/2010 09:05:00|01/02/2010 09:05:07|-5|négatif"},
    };
    RawDb raw(path);
    for (const auto& c : cases) {
        run("DELETE * FROM activites");
        run(logEntry(c.user, c.activity, c.client, c.start, c.end, c.duration, c.comment));
        EXPECT_EQ(raw.rows("SELECT [USER], SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
                           "FROM activites"),
                  QStringList{c.stored});
        EXPECT_EQ(raw.scalar("SELECT typeof(DEBUT) || typeof(FIN) || typeof(DUREE) FROM activites"),
                  "texttextinteger");
        EXPECT_EQ(select(kReportSelect + " ORDER BY DEBUT", kReportFields),
                  QStringList{c.readBack});
    }
}

TEST_F(DialectTest, SelectsOfTheProgram) {
    for (const QString name : {"Martin", "Dupont", "O'Brien \"Bob\""})
        run("INSERT INTO clients (NOM) SELECT " + quoted(name));
    RawDb raw(path);
    ASSERT_TRUE(
        raw.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 2), "
                 "('Appel', 1), ('Relecture', 3)"));
    const struct {
        const char *client, *activity, *start, *end;
    } entries[] = {
        {"Dupont", "Saisie", "25/12/2009", "25/12/2009 10:15:30"},
        {"Dupont", "Saisie", "24/12/2009 23:00:00", "25/12/2009 01:00:00"},  // started before
        {"Dupont", "Appel", "25/12/2009 11:00:00", "25/12/2009 11:30:00"},   // other activity
        {"Martin", "Saisie", "25/12/2009 12:00:00", "25/12/2009 12:30:00"},  // other client
        {"Dupont", "Saisie", "26/12/2009 08:00:00", "26/12/2009 09:00:00"},  // ends after
        {"Dupont", "Saisie", "25/12/2009 22:00:00", "26/12/2009"},           // ends at midnight
    };
    for (const auto& e : entries) run(logEntry("", e.activity, e.client, e.start, e.end, 60, ""));

    const struct {
        QString statement;
        QStringList fields;
        QStringList rows;
    } cases[] = {
        {"select * from clients where NOM=" + quoted("O'Brien \"Bob\""),
         {"nom"},
         {"O'Brien \"Bob\""}},
        {"SELECT NOM FROM Clients ORDER BY NOM", {"NOM"}, {"Dupont", "Martin", "O'Brien \"Bob\""}},
        {"select ID, TRAVAUX from travaux ORDER BY ORDRE",
         {"ID", "TRAVAUX"},
         {"2|Appel", "1|Saisie", "3|Relecture"}},
        {"SELECT TRAVAUX FROM Travaux ORDER BY Ordre",
         {"TRAVAUX"},
         {"Appel", "Saisie", "Relecture"}},
        {kReportSelect + " WHERE CLIENTS =\"Dupont\" AND SURVEILLANCES =\"Saisie\" AND "
                         "DEBUT>=#12/25/2009#  AND FIN<=#12/26/2009#  ORDER BY DEBUT",
         {"CLIENTS", "DEBUT", "FIN"},
         {"Dupont|25/12/2009|25/12/2009 10:15:30", "Dupont|25/12/2009 22:00:00|26/12/2009"}},
        {kReportSelect + " WHERE DEBUT>=#12/25/2009#  AND FIN<=#12/26/2009#  ORDER BY DEBUT",
         {"SURVEILLANCES", "CLIENTS", "DEBUT"},
         {"Saisie|Dupont|25/12/2009", "Appel|Dupont|25/12/2009 11:00:00",
          "Saisie|Martin|25/12/2009 12:00:00", "Saisie|Dupont|25/12/2009 22:00:00"}},
        {kReportSelect + " ORDER BY DEBUT",
         {"DEBUT"},
         {"24/12/2009 23:00:00", "25/12/2009", "25/12/2009 11:00:00", "25/12/2009 12:00:00",
          "25/12/2009 22:00:00", "26/12/2009 08:00:00"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(select(c.statement, c.fields), c.rows) << c.statement.toStdString();

    QStringList all = select("select * from clients", {"NOM"});
    all.sort();
    EXPECT_EQ(all, (QStringList{"Dupont", "Martin", "O'Brien \"Bob\""}));

    run("DELETE * FROM activites");
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM activites"), "0");
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM clients"), "3");
}

// The conflict clauses, where the server's translation once differed: the
// dates after them are stored in the stored form all the same.
TEST_F(DialectTest, ConflictClausesStoreDatesAlike) {
    RawDb raw(path);
    for (const char* statement : {
             R"(INSERT OR REPLACE INTO activites ([USER], [DEBUT]) SELECT "a", "25/12/2009")",
             R"(insert or ignore into activites ([USER], [DEBUT]) values ("a", "25/12/2009"))",
             R"(REPLACE INTO activites ([USER], [DEBUT]) VALUES ("a", "25/12/2009"))",
         }) {
        run("DELETE * FROM activites");
        run(QString::fromUtf8(statement));
        EXPECT_EQ(raw.rows("SELECT [USER], DEBUT FROM activites"),
                  QStringList{"a|2009-12-25 00:00:00"})
            << statement;
    }
}

TEST_F(DialectTest, LiteralsAndNames) {
    run("INSERT INTO clients (NOM) SELECT \"Dupont\"");
    const struct {
        QString statement;
        QString value;
    } cases[] = {
        {R"(SELECT "a""b" AS v)", R"(a"b)"},
        {R"(SELECT """" AS v)", R"(")"},
        {R"(SELECT "l'ami" AS v)", "l'ami"},
        {"SELECT 'l''ami' AS v", "l'ami"},
        {R"(SELECT "#1/2/2009#" AS v)", "#1/2/2009#"},
        {R"(SELECT "[NOM]; DELETE * FROM clients" AS v)", "[NOM]; DELETE * FROM clients"},
        {R"(SELECT "-- /* rien */" AS v)", "-- /* rien */"},
        {"SELECT #12/25/2009# AS v", "2009-12-25 00:00:00"},
        {"SELECT #3/29/2026 2:30:00 AM# AS v", "2026-03-29 02:30:00"},
        {"SELECT #12/25/2009 2:30 PM# AS v", "2009-12-25 14:30:00"},
        {"SELECT 1 AS v;", "1"},
        {"SELECT 1 AS v ; ; -- fin\n/* rien */", "1"},
        {R"(select [NOM] AS v from CLIENTS where [nom] = "Dupont")", "Dupont"},
        {R"(select [nom] AS [v] from clients where NOM = "dupont")", ""},  // values keep case
    };
    for (const auto& c : cases) {
        const QStringList rows = select(c.statement, {"v"});
        EXPECT_EQ(rows, c.value.isEmpty() ? QStringList{} : QStringList{c.value})
            << c.statement.toStdString();
    }
}

TEST_F(DialectTest, RefusedStatementsChangeNothing) {
    run("INSERT INTO clients (NOM) SELECT \"Dupont\"");
    run(logEntry("", "Saisie", "Dupont", "25/12/2009", "25/12/2009 10:00:00", 36000, ""));
    RawDb raw(path);
    auto snapshot = [&raw] {
        return raw.rows("SELECT * FROM clients") + raw.rows("SELECT * FROM activites") +
               raw.rows("SELECT name || ' ' || type FROM pragma_table_info('activites')");
    };
    const QStringList before = snapshot();
    const QString refused[] = {
        "INSERT INTO clients (NOM) SELECT \"X\"; DELETE * FROM clients",
        "DELETE * FROM clients; SELECT 1",
        "select * from clients; select * from travaux",
        "select * from absente",
        "DELETE * FROM absente",
        "ALTER TABLE activites ADD COLUMN [USER] TEXT(255)",
        "ALTER TABLE activites ADD COLUMN [user] TEXT(255)",  // names ignore case
        "ALTER TABLE activites ADD temp TEXT(32), ADD temp2 TEXT(32)",
        "UPDATE activites SET [SURVEILLANCES] = [TRAVAUX]",  // missing column is no text
        logEntry("", "Saisie", "Dupont", "demain", "25/12/2009", 0, ""),
        logEntry("", "Saisie", "Dupont", "25/12/2009", "32/12/2009", 0, ""),
        logEntry("", "Saisie", "Dupont", "", "25/12/2009", 0, ""),
        "UPDATE activites SET FIN = \"25-12-2009\"",
        "UPDATE activites SET DUREE = 1, DEBUT = \"n'importe quoi\"",
        "INSERT INTO clients (NOM) SELECT \"Le \"Chef\"\"",  // unescaped quote (old style)
        "select * from clients where NOM=\"Dupont",
        "select * from clients where [NOM=\"Dupont\"",
        "SELECT * FROM activites WHERE DEBUT>=#13/45/2009#",
        "SELECT * FROM activites WHERE DEBUT>=#12/25/2009",
        "",
        "  -- rien",
    };
    for (const QString& statement : refused) {
        db::Query q(connection);
        q.add(statement);
        try {
            q.execute();
            ADD_FAILURE() << "accepted: " << statement.toStdString();
        } catch (const db::EngineError& e) {
            EXPECT_FALSE(e.message().isEmpty());
            EXPECT_EQ(e.statement(), statement);
        }
        EXPECT_EQ(snapshot(), before) << statement.toStdString();
    }
}

TEST_F(DialectTest, RefusedDateNamesTheText) {
    try {
        run(logEntry("", "Saisie", "Dupont", "demain", "25/12/2009", 0, ""));
        FAIL();
    } catch (const db::EngineError& e) {
        EXPECT_TRUE(e.message().contains("'demain'")) << e.message().toStdString();
    }
}

class OldLayoutTest : public EngineTest {
protected:
    QStringList schema() const override {
        return {"CREATE TABLE clients (NOM TEXT(255))",
                "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX TEXT(255), "
                "ORDRE INTEGER)",
                "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX TEXT(32), "
                "CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, COMMENTAIRE "
                "TEXT(255))"};
    }
    void SetUp() override {
        EngineTest::SetUp();
        run("INSERT INTO activites ([TRAVAUX],[CLIENT],[DEBUT],[FIN],[DUREE],[COMMENTAIRE]) "
            "SELECT \"Saisie\", \"Dupont\", \"25/12/2009 08:00:00\", \"25/12/2009 09:00:00\", "
            "3600, \"vieux\"");
    }
    static QStringList changeColumn(const QString& oldName, const QString& newName) {
        return {"ALTER TABLE activites ADD temp TEXT(32)",
                "UPDATE activites SET temp = [" + oldName + "]",
                "ALTER TABLE activites DROP [" + oldName + "]",
                "ALTER TABLE activites ADD [" + newName + "] TEXT(32)",
                "UPDATE activites SET [" + newName + "] = [temp]",
                "ALTER TABLE activites DROP temp"};
    }
    QStringList columns() {
        RawDb raw(path);
        return raw.rows("SELECT name || ' ' || type FROM pragma_table_info('activites')");
    }
};

TEST_F(OldLayoutTest, ConversionStatementsKeepTheValues) {
    run("ALTER TABLE activites ADD COLUMN [USER] TEXT(255)");
    for (const QString& s : changeColumn("TRAVAUX", "SURVEILLANCES")) run(s);
    for (const QString& s : changeColumn("CLIENT", "CLIENTS")) run(s);
    EXPECT_EQ(columns(), (QStringList{"ID INTEGER", "DEBUT DATETIME", "FIN DATETIME",
                                      "DUREE INTEGER", "COMMENTAIRE TEXT(255)", "USER TEXT(255)",
                                      "SURVEILLANCES TEXT(32)", "CLIENTS TEXT(32)"}));
    run(logEntry("u", "Appel", "Martin", "26/12/2009", "26/12/2009 00:00:01", 1, ""));
    EXPECT_EQ(select(kReportSelect + " ORDER BY DEBUT", kReportFields),
              (QStringList{"|Saisie|Dupont|25/12/2009 08:00:00|25/12/2009 09:00:00|3600|vieux",
                           "u|Appel|Martin|26/12/2009|26/12/2009 00:00:01|1|"}));
}

TEST_F(OldLayoutTest, ChangeColumnStopsWhereTheTableIsWrong) {
    // No such column: the copy fails once temp is in, and a second attempt
    // fails at once since temp is still there.
    const QStringList steps = changeColumn("ABSENTE", "SURVEILLANCES");
    run(steps[0]);
    EXPECT_THROW(run(steps[1]), db::EngineError);
    EXPECT_THROW(run(steps[0]), db::EngineError);
    EXPECT_TRUE(columns().contains("temp TEXT(32)"));
}

TEST_F(OldLayoutTest, TransactionMakesAStepAtomic) {
    const QStringList before = columns();
    {
        db::Transaction t(connection);
        const QStringList steps = changeColumn("TRAVAUX", "SURVEILLANCES");
        for (int i = 0; i < 3; ++i) run(steps[i]);
        // Leaving without commit undoes the DDL as well.
    }
    EXPECT_EQ(columns(), before);
    {
        db::Transaction t(connection);
        for (const QString& s : changeColumn("TRAVAUX", "SURVEILLANCES")) connection.execute(s);
        t.commit();
        EXPECT_FALSE(t.active());
    }
    EXPECT_TRUE(columns().contains("SURVEILLANCES TEXT(32)"));
    EXPECT_FALSE(columns().contains("TRAVAUX TEXT(32)"));
    EXPECT_EQ(select("SELECT SURVEILLANCES FROM activites", {"SURVEILLANCES"}),
              QStringList{"Saisie"});
}

}  // namespace

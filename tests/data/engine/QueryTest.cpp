// The query: rows, flags and reading columns.

#include "EngineSupport.h"
#include "data/engine/EngineError.h"
#include "platform/Error.h"

using namespace tavix;
using namespace tavix::test;

namespace {

class QueryTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        run("INSERT INTO activites ([USER],[SURVEILLANCES],[CLIENTS],[DEBUT],[FIN],[DUREE],"
            "[COMMENTAIRE]) SELECT \"u\", \"Saisie\", \"Dupont\", \"25/12/2009\", "
            "\"29/03/2026 02:30:00\", 42, \"c\"");
        RawDb(path).exec("INSERT INTO activites (ID) VALUES (10)");  // every other column NULL
    }
};

TEST_F(QueryTest, WalksRowsAndReadsByName) {
    db::Query q(connection);
    q.add("SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE]");
    q.add("FROM activites ORDER BY ID");
    q.open();
    ASSERT_TRUE(q.active());
    EXPECT_TRUE(q.bof());
    EXPECT_FALSE(q.eof());
    EXPECT_EQ(q.asString("user"), "u");
    EXPECT_EQ(q.asString("Debut"), "25/12/2009");
    EXPECT_EQ(q.asString("FIN"), "29/03/2026 02:30:00");
    EXPECT_EQ(q.asDateTime("FIN"), DateTime(QDate(2026, 3, 29), QTime(2, 30)));
    EXPECT_EQ(q.asInteger("duree"), 42);
    EXPECT_EQ(q.asString("DUREE"), "42");
    EXPECT_FALSE(q.isNull("COMMENTAIRE"));
    EXPECT_THROW(q.asString("ABSENT"), db::EngineError);
    EXPECT_THROW(q.asInteger("CLIENTS"), ConvertError);

    q.next();
    EXPECT_FALSE(q.bof());
    EXPECT_FALSE(q.eof());
    for (const char* f : {"USER", "DEBUT", "COMMENTAIRE"}) {
        EXPECT_TRUE(q.isNull(f));
        EXPECT_EQ(q.asString(f), "");
    }
    EXPECT_EQ(q.asInteger("DUREE"), 0);
    EXPECT_EQ(q.asDateTime("DEBUT"), DateTime());

    q.next();
    EXPECT_TRUE(q.eof());
    EXPECT_FALSE(q.bof());
    q.next();  // stays at the end
    EXPECT_TRUE(q.eof());
    EXPECT_THROW(q.asString("USER"), db::EngineError);

    // Changing the text closes the query.
    q.clear();
    EXPECT_FALSE(q.active());
    q.add("select * from clients");
    q.open();
    EXPECT_TRUE(q.bof() && q.eof());  // an empty result has both flags
    EXPECT_EQ(q.fields().size(), 1);
    q.close();
    EXPECT_FALSE(q.active());
}

TEST_F(QueryTest, OpenRunsOnlyASelect) {
    db::Query q(connection);
    q.add("DELETE * FROM activites");
    EXPECT_THROW(q.open(), db::EngineError);
    EXPECT_FALSE(q.active());
    EXPECT_EQ(RawDb(path).scalar("SELECT count(*) FROM activites"), "2");
    q.execute();
    EXPECT_EQ(RawDb(path).scalar("SELECT count(*) FROM activites"), "0");
}

TEST_F(QueryTest, FinishedQueryHoldsNoLock) {
    // The report leaves its query open at its end; another program must
    // still be able to write.
    db::Query q(connection);
    q.add("select * from activites");
    q.open();
    while (!q.eof()) q.next();
    RawDb other(path);
    EXPECT_TRUE(other.exec("INSERT INTO clients (NOM) VALUES ('autre')"));
}

}  // namespace

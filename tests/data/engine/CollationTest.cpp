// Names sort as in a French dictionary, whatever the system's language (the
// tests run under the C locale).

#include <QLocale>

#include "EngineSupport.h"
#include "data/engine/Collation.h"
#include "data/engine/TableDataset.h"

using namespace tavix;
using namespace tavix::test;

namespace {

const QStringList kDictionary = {"alpha", "beta", "éric", "Éric", "L'Atelier", "Zoé"};

class CollationTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Stored in byte order, the order a plain ORDER BY gives.
        RawDb(path).exec(
            "INSERT INTO clients (NOM) VALUES ('L''Atelier'), ('Zoé'), ('alpha'), ('beta'), "
            "('Éric'), ('éric')");
    }
    static QStringList names(db::TableDataset& t) {
        QStringList out;
        for (int row = 0; row < t.recordCount(); ++row) out << t.textAt(row, 0);
        return out;
    }
};

TEST_F(CollationTest, TheSystemLocaleIsNotFrench) {
    // What the other tests here prove holds only if the process is not French.
    EXPECT_NE(QLocale::system().language(), QLocale::French);
}

TEST_F(CollationTest, StatementsAndDatasetSortsFollowTheDictionary) {
    EXPECT_EQ(select("SELECT NOM FROM Clients ORDER BY " + db::collated("NOM"), {"NOM"}),
              kDictionary);
    QStringList reversed(kDictionary.rbegin(), kDictionary.rend());
    EXPECT_EQ(select("SELECT NOM FROM Clients ORDER BY " + db::collated("NOM") + " DESC", {"NOM"}),
              reversed);

    db::TableDataset clients(connection, "clients");
    clients.open();
    clients.setSort("NOM ASC");
    EXPECT_EQ(names(clients), kDictionary);
    clients.setSort("nom desc");
    EXPECT_EQ(names(clients), reversed);
}

TEST_F(CollationTest, OnlyEqualTextsCompareEqual) {
    const struct {
        QString a, b;
        int expected;
    } cases[] = {
        {"alpha", "beta", -1}, {"Zoé", "beta", 1},    {"éric", "Éric", -1},
        {"Eric", "éric", -1},  {"Éric", "Erica", -1}, {"L'Atelier", "Laurent", -1},
        {"Émile", "Émile", 0}, {"a", "a ", -1},       {"", "a", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(db::compareNames(c.a, c.b), c.expected) << (c.a + " " + c.b).toStdString();
        EXPECT_EQ(db::compareNames(c.b, c.a), -c.expected) << (c.b + " " + c.a).toStdString();
    }
}

}  // namespace

// Table datasets: fields, filter, sort and editing written back at once.

#include <QSignalSpy>

#include "EngineSupport.h"
#include "data/engine/EngineError.h"
#include "data/engine/TableDataset.h"
#include "platform/Error.h"

using namespace tavix;
using namespace tavix::test;
using db::TableDataset;

namespace {

const QStringList kActivitesFields = {"ID",  "SURVEILLANCES", "CLIENTS",     "DEBUT",
                                      "FIN", "DUREE",         "COMMENTAIRE", "USER"};

class TableDatasetTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        RawDb raw(path);
        ASSERT_TRUE(raw.exec(
            "INSERT INTO activites (ID, SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE) "
            "VALUES "
            "(1, 'Saisie', 'Dupont',  '2009-12-25 00:00:00', '2009-12-25 10:00:00', 36000, 'a'),"
            "(2, 'Saisie', 'Dupont',  '2009-12-24 23:00:00', '2009-12-25 01:00:00', 7200, 'b'),"
            "(3, 'Appel',  'Dupont',  '2009-12-25 11:00:00', '2009-12-25 11:30:00', 1800, 'c'),"
            "(4, 'Saisie', 'O''Brien','2009-12-25 12:00:00', '2009-12-25 12:00:30', 30, 'd'),"
            "(5, 'Saisie', 'Martin',  '2009-12-26 08:00:00', '2009-12-27 09:00:00', 90000, '50_%'),"
            "(6, 'Appel',  'Durand',  '2009-12-25 22:00:00', '2009-12-26 00:00:00', 7200, '5x0')"));
    }

    // COMMENTAIRE of every row, in the dataset's order.
    static QString keys(TableDataset& t) {
        QString out;
        for (int row = 0; row < t.recordCount(); ++row)
            out += t.textAt(row, t.fieldIndex("COMMENTAIRE")) + u' ';
        return out.trimmed();
    }
};

TEST_F(TableDatasetTest, FieldsOfEachTable) {
    TableDataset activites(connection, "activites", kActivitesFields);
    activites.open();
    const auto f = activites.fields();
    ASSERT_EQ(f.size(), 8);
    QStringList names;
    for (const auto& d : f) names << d.name;
    EXPECT_EQ(names, kActivitesFields);
    EXPECT_EQ(f[0].type, db::FieldType::AutoIncrement);
    EXPECT_TRUE(f[0].readOnly);
    EXPECT_EQ(f[1].type, db::FieldType::Text);
    EXPECT_EQ(f[1].size, 32);
    EXPECT_EQ(f[2].size, 255);
    EXPECT_EQ(f[3].type, db::FieldType::DateTime);
    EXPECT_EQ(f[5].type, db::FieldType::Integer);
    EXPECT_FALSE(f[5].readOnly);

    TableDataset travaux(connection, "travaux", {"TRAVAUX", "ORDRE"});
    travaux.open();
    EXPECT_EQ(travaux.fields().size(), 2);
    EXPECT_EQ(travaux.fieldIndex("ID"), -1);
    EXPECT_THROW(travaux.value("ID"), db::EngineError);

    // Every column in column order when none is chosen.
    TableDataset all(connection, "activites");
    all.open();
    EXPECT_EQ(all.fields().last().name, "USER");

    TableDataset missing(connection, "absente");
    EXPECT_THROW(missing.open(), db::EngineError);
    TableDataset badField(connection, "clients", {"NOM", "PRENOM"});
    EXPECT_THROW(badField.open(), db::EngineError);
    EXPECT_FALSE(badField.active());
}

TEST_F(TableDatasetTest, Filter) {
    TableDataset t(connection, "activites", kActivitesFields);
    t.open();
    const struct {
        QString filter;
        QString keys;
    } cases[] = {
        // The consultation window's own forms.
        {"CLIENTS ='Dupont' AND SURVEILLANCES ='Saisie' AND DEBUT>='25/12/2009'  AND "
         "FIN<='26/12/2009' ",
         "a"},
        {"DEBUT>='25/12/2009'  AND FIN<='26/12/2009' ", "a c d 5x0"},
        {"CLIENTS ='O''Brien' AND DEBUT>='25/12/2009'  AND FIN<='26/12/2009' ", "d"},
        {"DEBUT = '25/12/2009 11:00:00'", "c"},
        {"DEBUT >= #12/25/2009 12:00#", "d 50_% 5x0"},
        {"(CLIENTS = 'Martin' OR CLIENTS = 'Durand') AND DUREE > 8000", "50_%"},
        {"CLIENTS = 'Martin' OR CLIENTS = 'Durand' AND DUREE > 8000", "50_%"},
        {"NOT (SURVEILLANCES = 'Saisie') OR ID = 1", "a c 5x0"},
        {"CLIENTS LIKE 'Du*'", "a b c 5x0"},
        {"clients like '%rand'", "5x0"},
        {"COMMENTAIRE LIKE '50_*'", "50_%"},  // '_' is no wildcard
        {"[SURVEILLANCES] <> 'Saisie' AND DUREE >= 1800", "c 5x0"},
        {"USER IS NULL AND ID < 3", "a b"},
        {"", "a b c d 50_% 5x0"},
    };
    t.setFiltered(true);
    for (const auto& c : cases) {
        t.setFilter(c.filter);
        EXPECT_EQ(keys(t), c.keys) << c.filter.toStdString();
    }
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 6);

    t.setFilter("CLIENTS = 'Martin'");
    t.setFiltered(true);
    const QString bad[] = {
        "CLIENTS = 'O'Brien'", "CLIENTS =",     "CLIENTS = 'x' AND",      "(CLIENTS = 'x'",
        "ABSENT = 'x'",        "DUREE > 'dix'", "DEBUT >= '32/12/2009'",  "DEBUT >= #13/45/2009#",
        "CLIENTS = 'x')",      "CLIENTS 'x'",   "CLIENTS = 'x' ; DELETE",
    };
    for (const QString& filter : bad) {
        EXPECT_THROW(t.setFilter(filter), db::EngineError) << filter.toStdString();
        EXPECT_EQ(keys(t), "50_%");  // the previous filter still holds
        EXPECT_EQ(t.filter(), "CLIENTS = 'Martin'");
    }
    // A closed dataset takes any text and refuses it when opened.
    t.close();
    t.setFilter(bad[0]);
    EXPECT_THROW(t.open(), db::EngineError);
    EXPECT_FALSE(t.active());
}

TEST_F(TableDatasetTest, Sort) {
    TableDataset t(connection, "activites", kActivitesFields);
    EXPECT_THROW(t.setSort("DEBUT ASC"), db::EngineError);  // closed
    t.open();
    const struct {
        QString sort;
        QString keys;
    } cases[] = {
        {"DEBUT ASC", "b a c d 5x0 50_%"},  {"DEBUT DESC", "50_% 5x0 d c a b"},
        {"duree desc", "50_% a b 5x0 c d"}, {"SURVEILLANCES ASC, CLIENTS DESC", "5x0 c d 50_% a b"},
        {"[FIN]", "b a c d 5x0 50_%"},      {"", "a b c d 50_% 5x0"},
    };
    for (const auto& c : cases) {
        t.setSort(c.sort);
        EXPECT_EQ(keys(t), c.keys) << c.sort.toStdString();
        EXPECT_EQ(t.sort(), c.sort);
    }
    t.setSort("DEBUT DESC");
    for (const QString bad : {"ABSENT ASC", "DEBUT UP", "DEBUT ASC,", "; DROP"})
        EXPECT_THROW(t.setSort(bad), db::EngineError) << bad.toStdString();
    EXPECT_EQ(t.sort(), "DEBUT DESC");
    // The sort lasts while the table stays open.
    t.close();
    t.open();
    EXPECT_EQ(t.sort(), "");
    EXPECT_EQ(keys(t), "a b c d 50_% 5x0");
}

TEST_F(TableDatasetTest, EditPostAndCancel) {
    TableDataset t(connection, "activites", kActivitesFields);
    t.open();
    RawDb raw(path);
    auto stored = [&raw](int id) {
        return raw.scalar(
            QString("SELECT CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE FROM activites WHERE ID = %1")
                .arg(id));
    };
    t.setRecNo(2);
    EXPECT_EQ(t.asInteger("ID"), 3);
    t.edit();
    t.setFieldText("CLIENTS", "Le \"Chef\"");
    t.setFieldText("DEBUT", "29/03/2026 02:30:00");
    t.setFieldText("FIN", "29/03/2026");
    t.setFieldText("DUREE", " 1800 ");
    t.setFieldText("COMMENTAIRE", "");
    EXPECT_EQ(t.state(), TableDataset::State::Edit);
    EXPECT_TRUE(t.modified());
    EXPECT_EQ(stored(3), "Dupont|2009-12-25 11:00:00|2009-12-25 11:30:00|1800|c");  // not yet
    t.post();
    EXPECT_EQ(t.state(), TableDataset::State::Browse);
    EXPECT_EQ(stored(3), "Le \"Chef\"|2026-03-29 02:30:00|2026-03-29 00:00:00|1800|<null>");
    EXPECT_EQ(t.asString("DEBUT"), "29/03/2026 02:30:00");
    EXPECT_EQ(t.asString("FIN"), "29/03/2026");
    EXPECT_EQ(t.asDateTime("DEBUT"), DateTime(QDate(2026, 3, 29), QTime(2, 30)));

    // Cancel puts the row back; nothing is written.
    t.setFieldText("CLIENTS", "Autre");  // a browsing row goes into Edit
    EXPECT_EQ(t.state(), TableDataset::State::Edit);
    EXPECT_EQ(t.asString("CLIENTS"), "Autre");
    t.cancel();
    EXPECT_EQ(t.asString("CLIENTS"), "Le \"Chef\"");
    EXPECT_EQ(stored(3), "Le \"Chef\"|2026-03-29 02:30:00|2026-03-29 00:00:00|1800|<null>");

    // Texts that are no value for the field.
    const struct {
        const char *field, *text, *message;
    } refused[] = {
        {"DUREE", "12a", "'12a' n'est pas une valeur entière correcte pour le champ 'DUREE'"},
        {"DUREE", "99999999999",
         "'99999999999' n'est pas une valeur entière correcte pour le champ 'DUREE'"},
        {"DEBUT", "31/02/2009",
         "'31/02/2009' n'est pas une date et heure correcte pour le champ 'DEBUT'"},
    };
    for (const auto& r : refused) {
        try {
            t.setFieldText(r.field, r.text);
            ADD_FAILURE() << r.text;
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(r.message));
        }
    }
    EXPECT_THROW(t.setFieldText("ID", "7"), db::EngineError);  // read-only
    EXPECT_EQ(t.state(), TableDataset::State::Browse);
}

TEST_F(TableDatasetTest, InsertAndDelete) {
    TableDataset t(connection, "activites", kActivitesFields);
    t.open();
    QSignalSpy inserted(&t, &TableDataset::rowInserted);
    QSignalSpy removed(&t, &TableDataset::rowRemoved);
    RawDb raw(path);

    t.setRecNo(1);
    t.insert();
    EXPECT_EQ(t.state(), TableDataset::State::Insert);
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.recordCount(), 7);
    t.cancel();
    EXPECT_EQ(t.recordCount(), 6);
    EXPECT_EQ(t.asInteger("ID"), 2);
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM activites"), "6");

    t.append();
    t.setFieldText("CLIENTS", "Nouveau");
    t.setFieldText("DEBUT", "01/01/2010 08:00:00");
    t.post();
    EXPECT_EQ(t.recNo(), 6);
    EXPECT_EQ(t.asInteger("ID"), 7);  // given by the table
    EXPECT_EQ(raw.scalar("SELECT ID, CLIENTS, DEBUT, FIN FROM activites WHERE ID = 7"),
              "7|Nouveau|2010-01-01 08:00:00|<null>");

    t.setRecNo(0);
    t.deleteRecord();
    EXPECT_EQ(t.asInteger("ID"), 2);
    EXPECT_EQ(raw.scalar("SELECT group_concat(ID) FROM activites"), "2,3,4,5,6,7");
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.asInteger("ID"), 6);
    EXPECT_EQ(inserted.size(), 2);
    EXPECT_EQ(removed.size(), 3);
}

TEST_F(TableDatasetTest, RefreshPostsAPendingEdit) {
    TableDataset t(connection, "activites", kActivitesFields);
    t.open();
    t.setSort("DEBUT DESC");
    t.setRecNo(3);
    const int id = t.asInteger("ID");
    t.edit();
    t.setFieldText("DUREE", "5");
    RawDb(path).exec("INSERT INTO activites (COMMENTAIRE) VALUES ('ailleurs')");
    t.refresh();
    EXPECT_EQ(t.state(), TableDataset::State::Browse);
    EXPECT_EQ(RawDb(path).scalar(QString("SELECT DUREE FROM activites WHERE ID = %1").arg(id)),
              "5");
    EXPECT_EQ(t.recordCount(), 7);     // rows read again
    EXPECT_EQ(t.asInteger("ID"), id);  // on the same record

    t.edit();  // holding no change: cancelled
    t.refresh();
    EXPECT_EQ(t.state(), TableDataset::State::Browse);

    // A failing post leaves the edit pending.
    TableDataset clients(connection, "clients", {"NOM"});
    clients.open();
    clients.append();
    clients.setFieldText("NOM", "Le \"Chef\" d'équipe");
    clients.refresh();
    EXPECT_EQ(RawDb(path).rows("SELECT NOM FROM clients"), QStringList{"Le \"Chef\" d'équipe"});
}

TEST_F(TableDatasetTest, NavigatesLikeTheEditors) {
    RawDb(path).exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 2), ('Appel', 1)");
    TableDataset t(connection, "travaux", {"TRAVAUX", "ORDRE"});
    t.open();
    QStringList seen;
    for (t.first(); !t.eof(); t.next()) seen << t.asString("TRAVAUX") + t.asString("ORDRE");
    EXPECT_EQ(seen, (QStringList{"Saisie2", "Appel1"}));
    EXPECT_EQ(t.recNo(), 1);
    t.prior();
    t.prior();
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(t.recNo(), 0);

    // Moving posts a changed row; ID is given by the table though hidden.
    t.append();
    t.setFieldText("TRAVAUX", "Relecture");
    t.setFieldText("ORDRE", "3");
    t.first();
    EXPECT_EQ(t.state(), TableDataset::State::Browse);
    EXPECT_EQ(RawDb(path).rows("SELECT ID, TRAVAUX, ORDRE FROM travaux ORDER BY ID"),
              (QStringList{"1|Saisie|2", "2|Appel|1", "3|Relecture|3"}));

    TableDataset empty(connection, "clients", {"NOM"});
    empty.open();
    EXPECT_TRUE(empty.bof() && empty.eof());
    EXPECT_EQ(empty.recNo(), -1);
    EXPECT_EQ(empty.asString("NOM"), "");
    EXPECT_THROW(empty.deleteRecord(), db::EngineError);
    empty.edit();  // nothing to edit: a new row
    EXPECT_EQ(empty.state(), TableDataset::State::Insert);
}

}  // namespace

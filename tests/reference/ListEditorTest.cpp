#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "common/Fakes.h"
#include "common/PgCluster.h"
#include "common/TempDatabase.h"
#include "controls/ColorButton.h"
#include "controls/DBNavigator.h"
#include "data/Unit2.h"
#include "reference/Unit3.h"
#include "reference/Unit4.h"

using namespace tavix;
using test::TempDatabase;
using Button = TDBNavigator::Button;
using State = db::TableDataset::State;

namespace {

class ListEditorTest : public ::testing::Test {
public:
    void SetUp() override {
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin'), ('Durand')");
        db.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 2), ('Appels', 1)");
        module.DatabasePath = db.path();
        ASSERT_TRUE(module.OpenDatabase());
        module.tblClients.open();
        module.tblTravaux.open();
    }

    template <class Form>
    Form& show() {
        auto form = std::make_unique<Form>();
        Form& ref = *form;
        editor = std::move(form);
        editor->show();
        editor->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(editor.get()));
        return ref;
    }
    // Types into a cell of the editor's grid, as the user would, and leaves
    // the text in the cell editor.
    void type(int row, int column, const QString& text) {
        TDBGrid* grid = editor->DBGrid1;
        const QModelIndex cell = grid->model()->index(row, column);
        grid->setCurrentIndex(cell);
        grid->edit(cell);
        auto* line = qobject_cast<QLineEdit*>(grid->cellEditor());
        ASSERT_NE(line, nullptr);
        line->selectAll();
        line->insert(text);
    }
    void validate() {
        editor->ColorButton2->click();
        QCoreApplication::processEvents();
    }
    QStringList clients() const {
        QStringList out;
        for (const auto& r : db.rows("SELECT NOM FROM clients ORDER BY rowid"))
            out << r[0].toString();
        return out;
    }
    QString activities() const {
        QStringList out;
        for (const auto& r : db.rows("SELECT TRAVAUX, ORDRE FROM travaux ORDER BY ID"))
            out << r[0].toString() + "=" + (r[1].isNull() ? QString("null") : r[1].toString());
        return out.join(", ");
    }

    TempDatabase db;
    test::ScriptedBoxes boxes;
    TDataModule2 module;
    std::unique_ptr<TListEditor> editor;
};

TEST_F(ListEditorTest, BothEditorsShareTheirLayout) {
    const struct {
        std::function<TListEditor&(ListEditorTest&)> make;
        const char* title;
        QList<TDBGrid::Column> columns;
        db::TableDataset* dataSet;
    } cases[] = {
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm3>(); },
         "Edition des clients",
         {{"NOM", 580, "NOM"}},
         &module.tblClients},
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm4>(); },
         "Edition des surveillances",
         {{"TRAVAUX", 500, "TRAVAUX"}, {"ORDRE", 64, "ORDRE"}},
         &module.tblTravaux},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TListEditor& form = c.make(*this);
        EXPECT_EQ(form.windowTitle(), "Tavix");
        EXPECT_EQ(form.size(), QSize(658, 462));
        EXPECT_EQ(form.Label1->text(), c.title);
        EXPECT_EQ(form.DBGrid1->geometry(), QRect(8, 104, 625, 233));
        EXPECT_EQ(form.DBNavigator1->geometry(), QRect(8, 344, 620, 18));
        EXPECT_EQ(form.ColorButton2->geometry(), QRect(480, 374, 153, 33));
        EXPECT_EQ(form.ColorButton2->text(), "&Valider et fermer");
        EXPECT_EQ(form.ColorButton2->BorderColor(), clBlack);
        EXPECT_FALSE(form.DBGrid1->horizontalHeader()->isVisible());
        EXPECT_TRUE(form.DBGrid1->verticalHeader()->isVisible());
        EXPECT_EQ(form.DataSource1->dataSet(), c.dataSet);
        ASSERT_EQ(form.DBGrid1->columns().size(), c.columns.size());
        for (int i = 0; i < c.columns.size(); ++i) {
            EXPECT_EQ(form.DBGrid1->columns()[i].field, c.columns[i].field);
            EXPECT_EQ(form.DBGrid1->columnWidth(i), c.columns[i].width);
        }
        EXPECT_EQ(form.DBGrid1->model()->rowCount(), 2);
        EXPECT_TRUE(form.DBGrid1->hasFocus());
    }
}

TEST_F(ListEditorTest, BothEditorsListTheNamesAsADictionaryDoes) {
    db.exec("INSERT INTO clients (NOM) VALUES ('Zoé'), ('alpha'), ('Éric'), ('L''Atelier')");
    db.exec(
        "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('écrire', 3), ('Zèle', 0), ('accueil', 9)");
    module.tblClients.refresh();
    module.tblTravaux.refresh();
    const struct {
        std::function<TListEditor&(ListEditorTest&)> make;
        QStringList names;
    } cases[] = {
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm3>(); },
         {"alpha", "Durand", "Éric", "L'Atelier", "Martin", "Zoé"}},
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm4>(); },
         {"accueil", "Appels", "écrire", "Saisie", "Zèle"}},
    };
    for (const auto& c : cases) {
        TListEditor& form = c.make(*this);
        QStringList shown;
        for (int row = 0; row < form.DBGrid1->model()->rowCount(); ++row)
            shown << form.DBGrid1->model()->index(row, 0).data().toString();
        EXPECT_EQ(shown, c.names);
    }
}

TEST_F(ListEditorTest, AClientAddedWithTheNavigatorIsStoredExactlyAsTyped) {
    TForm3& form = show<TForm3>();
    form.DBNavigator1->button(Button::Insert)->click();
    const QString name = "Dupont \"&\" fils; l'aîné";
    type(0, 0, name);
    validate();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(clients(), QStringList({"Martin", "Durand", name}));
    EXPECT_EQ(module.tblClients.state(), State::Browse);
    EXPECT_TRUE(module.tblClients.active()) << "the dataset stays open";
}

TEST_F(ListEditorTest, ValidateWithoutChangeRereadsAndCloses) {
    TForm4& form = show<TForm4>();
    db.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Ailleurs', 3)");
    form.DBNavigator1->button(Button::Insert)->click();  // a new row left unchanged
    validate();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(activities(), "Saisie=2, Appels=1, Ailleurs=3");
    EXPECT_EQ(module.tblTravaux.recordCount(), 3);
    EXPECT_EQ(module.tblTravaux.state(), State::Browse);
}

TEST_F(ListEditorTest, ActivitiesEditedAndPostedOnRowChange) {
    TForm4& form = show<TForm4>();
    type(0, 1, "5");                                            // Appels, first by name
    QTest::keyClick(form.DBGrid1->cellEditor(), Qt::Key_Down);  // leaves the row
    QCoreApplication::processEvents();
    EXPECT_EQ(activities(), "Saisie=2, Appels=5");
    type(1, 1, "");
    validate();
    EXPECT_EQ(activities(), "Saisie=null, Appels=5") << "an empty ORDRE stores no value";
}

TEST_F(ListEditorTest, ATextNotAnIntegerInOrdreKeepsTheWindowOpen) {
    TForm4& form = show<TForm4>();
    type(0, 1, "premier");
    validate();
    EXPECT_EQ(boxes.errors,
              QStringList{"'premier' n'est pas une valeur entière correcte pour le champ 'ORDRE'"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(activities(), "Saisie=2, Appels=1");

    // Alt+V takes the focus from the cell (which asks once) then clicks.
    boxes.errors.clear();
    QTest::keyClick(&form, Qt::Key_V, Qt::AltModifier);
    QTest::qWait(300);  // the shortcut's click comes after its animation
    EXPECT_EQ(boxes.errors.size(), 1) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(form.isVisible());
}

TEST_F(ListEditorTest, ARefusedPostKeepsTheWindowOpenAndTheRowPending) {
    TForm3& form = show<TForm3>();
    db.exec(
        "CREATE TRIGGER lecture_seule BEFORE INSERT ON clients "
        "BEGIN SELECT RAISE(ABORT, 'base en lecture seule'); END");
    form.DBNavigator1->btnClick(Button::Insert);
    type(0, 0, "Nouveau");
    validate();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("lecture seule")) << boxes.errors[0].toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(module.tblClients.state(), State::Insert);
    EXPECT_EQ(module.tblClients.asString("NOM"), "Nouveau");
    EXPECT_EQ(clients(), QStringList({"Martin", "Durand"}));

    db.exec("DROP TRIGGER lecture_seule");
    validate();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(clients(), QStringList({"Martin", "Durand", "Nouveau"}));
}

TEST_F(ListEditorTest, DeleteAsksAndAnnulerKeepsTheRow) {
    TForm3& form = show<TForm3>();
    boxes.answers = {false, true};
    form.DBNavigator1->button(Button::Delete)->click();
    EXPECT_EQ(clients(), QStringList({"Martin", "Durand"}));
    form.DBNavigator1->button(Button::Delete)->click();
    EXPECT_EQ(clients(), QStringList{"Martin"}) << "Durand, first by name, went";
    EXPECT_EQ(boxes.confirms.size(), 2);
    EXPECT_EQ(boxes.confirms[0], "Supprimer l'enregistrement ?");
    validate();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ListEditorTest, ClosingByTheTitleBarPostsNothing) {
    TForm3& form = show<TForm3>();
    form.DBNavigator1->btnClick(Button::Insert);
    type(0, 0, "Martin et fils");
    form.DBGrid1->commitEditor();
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(module.tblClients.state(), State::Insert) << "still pending in the dataset";
    EXPECT_EQ(clients(), QStringList({"Martin", "Durand"}));
}

// Typing over a stored name renames that row only once the user said so,
// told how many log entries keep the old name, which may follow it; on a
// file and on a server, for clients and activities alike.
class RenameTest : public ListEditorTest, public ::testing::WithParamInterface<bool> {
public:
    void SetUp() override {
        if (GetParam()) {
            cluster = test::PgCluster::get();
            if (!cluster)
                GTEST_SKIP() << "PostgreSQL indisponible : "
                             << test::PgCluster::reason().toStdString();
            path = cluster->createDatabase();
        } else {
            path = db.path();
        }
        module.DatabasePath = path;
        ASSERT_TRUE(module.OpenDatabase());
        for (db::TableDataset* list : {&module.tblClients, &module.tblTravaux}) {
            list->open();
            for (const char* name : {"Garage Tremblay", "Durand"}) {
                list->append();
                list->setFieldText(list->fields()[0].name, name);
                list->post();
            }
        }
        const DateTime start(QDate(2026, 3, 2), QTime(8, 0));
        for (int i = 0; i < 3; ++i)
            module.AddLogEntry("", "Garage Tremblay", "Garage Tremblay", start.addSecs(i * 60),
                               start.addSecs(i * 60 + 30), 30, "");
        module.AddLogEntry("", "Durand", "Durand", start, start.addSecs(30), 30, "");
    }

    // "name=count" for each name the log's column holds, by name.
    QStringList logNames(const QString& column) const {
        const QString sql =
            QString("SELECT \"%1\", COUNT(*) FROM activites GROUP BY \"%1\" ORDER BY \"%1\"")
                .arg(column);
        if (cluster) {
            QStringList out = cluster->rows(path, sql);
            out.replaceInStrings("|", "=");
            return out;
        }
        QStringList out;
        for (const auto& r : db.rows(sql)) out << r[0].toString() + "=" + r[1].toString();
        return out;
    }
    QStringList listNames(db::TableDataset& list) const {
        list.refresh();
        QStringList out;
        for (int row = 0; row < list.recordCount(); ++row) out << list.textAt(row, 0);
        out.sort();
        return out;
    }

    test::PgCluster* cluster = nullptr;
    QString path;
};

TEST_P(RenameTest, TypingOverAStoredNameAsksFirst) {
    const struct {
        std::function<TListEditor&(ListEditorTest&)> make;
        db::TableDataset* list;
        const char* noun;
        const char* logColumn;
    } cases[] = {
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm3>(); }, &module.tblClients,
         "le client", "CLIENTS"},
        {[](ListEditorTest& t) -> TListEditor& { return t.show<TForm4>(); }, &module.tblTravaux,
         "la surveillance", "SURVEILLANCES"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.noun);
        boxes.questions.clear();
        boxes.offers.clear();
        // Rows in dictionary order: Durand, Garage Tremblay. Typed over, then
        // Down, as a user goes on to the next row: "Annuler" keeps it all.
        TListEditor* form = &c.make(*this);
        type(1, 0, "Nouveau");
        boxes.choices = {0};
        QTest::keyClick(form->DBGrid1->cellEditor(), Qt::Key_Down);
        QCoreApplication::processEvents();
        ASSERT_EQ(boxes.questions.size(), 1);
        EXPECT_EQ(boxes.questions[0],
                  QString("Renommer %1 « Garage Tremblay » en « Nouveau » ?\n3 entrées portent ce "
                          "nom : elles le gardent, sauf si vous les renommez aussi.")
                      .arg(c.noun));
        EXPECT_EQ(boxes.offers[0], (QStringList{"Annuler", "Renommer sans les entrées",
                                                "Renommer aussi les 3 entrées"}));
        EXPECT_EQ(form->DBGrid1->model()->index(1, 0).data().toString(), "Garage Tremblay");
        validate();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(listNames(*c.list), (QStringList{"Durand", "Garage Tremblay"}));

        // Renamed alone: the entries keep the old name.
        form = &c.make(*this);
        type(1, 0, "Nouveau");
        boxes.choices = {1};
        validate();
        EXPECT_EQ(listNames(*c.list), (QStringList{"Durand", "Nouveau"}));
        EXPECT_EQ(logNames(c.logColumn), (QStringList{"Durand=1", "Garage Tremblay=3"}));

        // A name no entry carries is still not replaced unasked.
        form = &c.make(*this);
        type(1, 0, "Garage Tremblay & fils");
        boxes.choices = {1};
        validate();
        ASSERT_EQ(boxes.questions.size(), 3);
        EXPECT_TRUE(boxes.questions[2].endsWith("?\nAucune entrée ne porte ce nom."));
        EXPECT_EQ(boxes.offers[2], (QStringList{"Annuler", "Renommer"}));
        EXPECT_EQ(listNames(*c.list), (QStringList{"Durand", "Garage Tremblay & fils"}));

        // Renamed with its entry, a name holding quotes.
        form = &c.make(*this);
        type(0, 0, "Durand \"l'aîné\"");
        boxes.choices = {2};
        validate();
        ASSERT_EQ(boxes.questions.size(), 4);
        EXPECT_EQ(boxes.offers[3],
                  (QStringList{"Annuler", "Renommer sans l'entrée", "Renommer aussi l'entrée"}));
        EXPECT_EQ(listNames(*c.list), (QStringList{"Durand \"l'aîné\"", "Garage Tremblay & fils"}));
        EXPECT_EQ(logNames(c.logColumn), (QStringList{"Durand \"l'aîné\"=1", "Garage Tremblay=3"}));
        EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    }
}

// A rename the database refuses renames no entry, and the next try asks
// again and renames both.
TEST_P(RenameTest, ARefusedRenameRenamesNoEntryAndIsAskedAgain) {
    if (cluster)
        cluster->exec(path,
                      "CREATE FUNCTION refus() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                      "'base en lecture seule'; END $$ LANGUAGE plpgsql; CREATE TRIGGER "
                      "lecture_seule BEFORE UPDATE ON clients FOR EACH ROW EXECUTE FUNCTION "
                      "refus()");
    else
        db.exec(
            "CREATE TRIGGER lecture_seule BEFORE UPDATE ON clients "
            "BEGIN SELECT RAISE(ABORT, 'base en lecture seule'); END");
    TListEditor& form = show<TForm3>();
    type(1, 0, "Nouveau");
    boxes.choices = {2};
    validate();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("lecture seule")) << boxes.errors[0].toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(logNames("CLIENTS"), (QStringList{"Durand=1", "Garage Tremblay=3"}));

    EXPECT_EQ(form.DBGrid1->model()->index(1, 0).data().toString(), "Garage Tremblay");

    if (cluster)
        cluster->exec(path, "DROP TRIGGER lecture_seule ON clients");
    else
        db.exec("DROP TRIGGER lecture_seule");
    type(1, 0, "Nouveau");
    boxes.choices = {2};
    // A new click: one click is told a refusal once.
    QTest::mouseClick(form.ColorButton2, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.questions.size(), 2) << "asked again";
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(listNames(module.tblClients), (QStringList{"Durand", "Nouveau"}));
    EXPECT_EQ(logNames("CLIENTS"), (QStringList{"Durand=1", "Nouveau=3"}));
}

INSTANTIATE_TEST_SUITE_P(FileAndServer, RenameTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Server" : "File"; });

}  // namespace

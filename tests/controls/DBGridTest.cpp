#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <functional>

#include "common/AccessibleEvents.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "controls/DataSource.h"
#include "data/engine/TableDataset.h"
#include "platform/Error.h"

using namespace tavix;
using test::TempDatabase;
using Button = TDBNavigator::Button;
using State = db::TableDataset::State;

namespace {

// A window with a grid and a navigator on table travaux (TRAVAUX, ORDRE) and
// a line edit to take the focus away.
class DBGridTest : public ::testing::Test {
public:
    void SetUp() override {
        db.exec(
            "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 2), ('Appels', 1), "
            "('Devis', 3)");
        connection.setConnectionString("Data Source=" + db.path());
        connection.open();
        source.setDataSet(&travaux);
        grid = new TDBGrid(&window);
        navigator = new TDBNavigator(&window);
        other = new QLineEdit(&window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
        layout->addWidget(navigator);
        layout->addWidget(other);
        grid->setDataSource(&source);
        navigator->setDataSource(&source);
        window.resize(500, 300);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void openTravaux() {
        travaux.open();
        grid->setFocus();
    }
    QModelIndex cell(int row, int column) const { return grid->model()->index(row, column); }
    QString shown(int row, int column) const { return cell(row, column).data().toString(); }
    QLineEdit* editor() const { return qobject_cast<QLineEdit*>(grid->cellEditor()); }

    // Opens the cell's editor and types text into it (replacing what it held).
    QLineEdit* type(int row, int column, const QString& text) {
        grid->setCurrentIndex(cell(row, column));
        grid->edit(cell(row, column));
        QLineEdit* line = editor();
        EXPECT_NE(line, nullptr);
        if (line) {
            line->setFocus();
            line->selectAll();
            line->insert(text);
        }
        return line;
    }
    // Runs what the event loop runs between two user actions.
    static void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    // Keys typed as a user does: each to the control that has the focus.
    static void typeKeys(const QString& text) {
        for (const QChar c : text) {
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            settle();
        }
    }
    // The editor takes Enter after its own handling: let that run too.
    void key(QWidget* target, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(target, k, mods);
        settle();
    }
    std::vector<std::vector<QVariant>> stored() const {
        return db.rows("SELECT TRAVAUX, ORDRE FROM travaux ORDER BY ID");
    }
    QString storedText() const {
        QStringList out;
        for (const auto& r : stored())
            out << r[0].toString() + (r[1].isNull() ? QString("=null") : "=" + r[1].toString());
        return out.join(", ");
    }

    TempDatabase db;
    test::ScriptedBoxes boxes;
    db::Connection connection;
    db::TableDataset travaux{connection, "travaux", {"TRAVAUX", "ORDRE"}};
    TDataSource source;
    QWidget window;
    TDBGrid* grid = nullptr;
    TDBNavigator* navigator = nullptr;
    QLineEdit* other = nullptr;
};

// ---- showing -----------------------------------------------------------------

TEST_F(DBGridTest, ShowsTheExposedFieldsAndFollowsTheCurrentRow) {
    openTravaux();
    ASSERT_EQ(grid->model()->columnCount(), 2);
    ASSERT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), "TRAVAUX");
    EXPECT_EQ(shown(0, 0), "Saisie");
    EXPECT_EQ(shown(1, 1), "1");
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_FALSE(grid->model()->headerData(0, Qt::Vertical).toString().isEmpty());
    EXPECT_TRUE(grid->model()->headerData(1, Qt::Vertical).toString().isEmpty());

    travaux.last();
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_TRUE(grid->model()->headerData(0, Qt::Vertical).toString().isEmpty());

    key(grid, Qt::Key_Up);
    EXPECT_EQ(travaux.recNo(), 1);
    EXPECT_EQ(travaux.asString("TRAVAUX"), "Appels");
}

TEST_F(DBGridTest, ColumnsWidthsTitlesAndTheirClicks) {
    grid->setColumns({{"ORDRE", 40, "Ordre"}, {"TRAVAUX", 500, {}}});
    openTravaux();
    EXPECT_EQ(grid->columnWidth(0), 40);
    EXPECT_EQ(grid->columnWidth(1), 500);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), "Ordre");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "TRAVAUX");
    EXPECT_EQ(shown(0, 0), "2");

    QSignalSpy titles(grid, &TDBGrid::titleClick);
    QSignalSpy cells(grid, &TDBGrid::cellClick);
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(grid->horizontalHeader()->sectionViewportPosition(1) + 10, 5));
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(titles[0][0].toString(), "TRAVAUX");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell(2, 0)).center());
    ASSERT_EQ(cells.size(), 1);
    EXPECT_EQ(cells[0][0].toString(), "Ordre");
    EXPECT_EQ(travaux.recNo(), 2);

    grid->setShowTitles(false);
    grid->setShowIndicator(false);
    EXPECT_FALSE(grid->horizontalHeader()->isVisible());
    EXPECT_FALSE(grid->verticalHeader()->isVisible());
}

TEST_F(DBGridTest, DateTimeCellsShowTheDateTimeText) {
    db.exec(
        "INSERT INTO activites (SURVEILLANCES, DEBUT, FIN, DUREE) VALUES "
        "('Saisie', '2026-03-02 09:05:07', '2026-03-02 00:00:00', 65)");
    db::TableDataset log(connection, "activites", {"SURVEILLANCES", "DEBUT", "FIN", "DUREE"});
    TDataSource logSource;
    logSource.setDataSet(&log);
    grid->setDataSource(&logSource);
    log.open();
    EXPECT_EQ(shown(0, 1), "02/03/2026 09:05:07");
    EXPECT_EQ(shown(0, 2), "02/03/2026");
    EXPECT_EQ(shown(0, 3), "65");
}

TEST_F(DBGridTest, TextEditorsTakeAtMostTheFieldsWidth) {
    openTravaux();
    ASSERT_NE(type(0, 0, QString(300, 'x')), nullptr);
    EXPECT_EQ(editor()->maxLength(), 255);
    EXPECT_EQ(editor()->text().size(), 255);
    key(editor(), Qt::Key_Escape);
    type(0, 1, "123");
    EXPECT_EQ(editor()->maxLength(), 32767) << "no limit on an integer";
}

TEST_F(DBGridTest, EditingNeverShortensTextTheUserDidNotDelete) {
    const QString comment = QString(391, u'c') + u'é';  // COMMENTAIRE is 255 wide
    const QString activity = QString(55, u'a') + u'z';  // SURVEILLANCES is 32 wide
    db.exec(QString("INSERT INTO activites (ID, SURVEILLANCES, COMMENTAIRE) VALUES (1, '%1', '%2')")
                .arg(activity, comment));
    db::TableDataset log(connection, "activites", {"SURVEILLANCES", "COMMENTAIRE"});
    TDataSource logSource;
    logSource.setDataSet(&log);
    grid->setDataSource(&logSource);
    log.open();
    const struct {
        const char* keys;
        int column;
        std::function<void(DBGridTest&)> type;
        QString stored;
    } cases[] = {
        {"F2, End, '.' on a 392-character comment", 1,
         [](DBGridTest& t) {
             t.key(t.grid, Qt::Key_F2);
             t.key(t.editor(), Qt::Key_End);
             QTest::keyClicks(t.editor(), ".");
             t.key(t.editor(), Qt::Key_Return);
         },
         comment + "."},
        {"F2, Enter on a 56-character activity", 0,
         [](DBGridTest& t) {
             t.key(t.grid, Qt::Key_F2);
             t.key(t.editor(), Qt::Key_Return);
         },
         activity},
        {"F2, End, two Backspaces on the comment ending in '.'", 1,
         [](DBGridTest& t) {
             t.key(t.grid, Qt::Key_F2);
             t.key(t.editor(), Qt::Key_End);
             t.key(t.editor(), Qt::Key_Backspace);
             t.key(t.editor(), Qt::Key_Backspace);
             t.key(t.editor(), Qt::Key_Return);
         },
         comment.left(391)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        grid->setFocus();
        grid->setCurrentIndex(cell(0, c.column));
        c.type(*this);
        EXPECT_EQ(editor(), nullptr);
        if (log.state() != State::Browse) log.post();
        const char* column = c.column == 0 ? "SURVEILLANCES" : "COMMENTAIRE";
        EXPECT_EQ(db.scalar(QString("SELECT %1 FROM activites WHERE ID = 1").arg(column)),
                  c.stored);
    }
}

// ---- editing -----------------------------------------------------------------

TEST_F(DBGridTest, EnterTakesTheCellAndMovingToAnotherRowPostsIt) {
    openTravaux();
    type(0, 0, "Saisie 2");
    key(editor(), Qt::Key_Return);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(travaux.state(), State::Edit);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toString(), "I");
    EXPECT_EQ(stored()[0][0].toString(), "Saisie") << "not posted yet";

    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(travaux.recNo(), 1);
    EXPECT_EQ(stored()[0][0].toString(), "Saisie 2");
    EXPECT_EQ(shown(0, 0), "Saisie 2");
}

TEST_F(DBGridTest, NamesAreStoredAndShownExactlyAsTyped) {
    openTravaux();
    const QString name = "Dupont \"&\" fils; l'été";
    type(1, 0, name);
    key(editor(), Qt::Key_Return);
    key(grid, Qt::Key_Return);  // posts the row
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(stored()[1][0].toString(), name);
    EXPECT_EQ(shown(1, 0), name);
}

TEST_F(DBGridTest, TabMovesFromCellToCellThenToTheNextRow) {
    openTravaux();
    grid->setCurrentIndex(cell(0, 0));
    key(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex(), cell(0, 1));
    key(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex(), cell(1, 0));
    EXPECT_EQ(travaux.recNo(), 1);

    // While editing, Tab takes the cell and edits the next one.
    type(1, 0, "Appels 2");
    key(editor(), Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex(), cell(1, 1));
    EXPECT_EQ(travaux.asString("TRAVAUX"), "Appels 2");
    ASSERT_NE(editor(), nullptr);
    key(editor(), Qt::Key_Escape);

    // Past the last cell the focus leaves the grid.
    grid->setFocus();
    grid->setCurrentIndex(cell(2, 1));
    key(grid, Qt::Key_Tab);
    EXPECT_FALSE(grid->hasFocus());
}

TEST_F(DBGridTest, EscapeUndoesTheRowsEdit) {
    openTravaux();
    type(0, 0, "Autre");
    key(editor(), Qt::Key_Return);
    type(0, 1, "9");
    key(editor(), Qt::Key_Escape);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(shown(0, 0), "Saisie");

    type(0, 0, "Autre");
    key(editor(), Qt::Key_Return);
    key(grid, Qt::Key_Escape);
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(shown(0, 0), "Saisie");
    EXPECT_EQ(storedText(), "Saisie=2, Appels=1, Devis=3");
}

TEST_F(DBGridTest, F2AndTypingOpenTheEditor) {
    openTravaux();
    grid->setCurrentIndex(cell(1, 0));
    key(grid, Qt::Key_F2);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "Appels");
    key(editor(), Qt::Key_Escape);
    grid->setFocus();
    QTest::keyClicks(grid, "Z");
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "Z");
}

TEST_F(DBGridTest, InsertKeyAddsARowThatIsPostedOnLeavingIt) {
    openTravaux();
    grid->setCurrentIndex(cell(1, 1));
    key(grid, Qt::Key_Insert);
    EXPECT_EQ(travaux.state(), State::Insert);
    ASSERT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->currentIndex(), cell(1, 0)) << "a new row is typed from its first cell";
    EXPECT_EQ(grid->model()->headerData(1, Qt::Vertical).toString(), "*");
    type(1, 0, "Relance");
    key(editor(), Qt::Key_Tab);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(grid->currentIndex(), cell(1, 1));
    QTest::keyClicks(editor(), "4");
    EXPECT_EQ(editor()->text(), "4");
    key(editor(), Qt::Key_Return);
    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(storedText(), "Saisie=2, Appels=1, Devis=3, Relance=4");
}

TEST_F(DBGridTest, DownOnTheLastRowAddsAnEmptyRowDroppedWhenLeftUnchanged) {
    openTravaux();
    grid->setCurrentIndex(cell(2, 1));
    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.state(), State::Insert);
    ASSERT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->currentIndex(), cell(3, 0));
    key(grid, Qt::Key_Down);
    EXPECT_EQ(grid->model()->rowCount(), 4) << "one empty new row at a time";
    key(grid, Qt::Key_Up);
    EXPECT_EQ(grid->model()->rowCount(), 3) << "left unchanged: dropped";
    EXPECT_EQ(travaux.recNo(), 2);

    // What is typed next goes into the new row, never over the last one.
    key(grid, Qt::Key_Down);
    typeKeys("Relance");
    ASSERT_NE(editor(), nullptr);
    key(editor(), Qt::Key_Down);  // takes the cell, posts the row, adds the next
    EXPECT_EQ(storedText(), "Saisie=2, Appels=1, Devis=3, Relance=null");
    EXPECT_EQ(grid->model()->rowCount(), 5);
    EXPECT_EQ(grid->currentIndex(), cell(4, 0));
    other->setFocus();
    settle();
    EXPECT_EQ(grid->model()->rowCount(), 4);

    // An empty table: Down gives the first row.
    db.exec("DELETE FROM travaux");
    travaux.refresh();
    grid->setFocus();
    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.state(), State::Insert);
    EXPECT_EQ(grid->model()->rowCount(), 1);
}

TEST_F(DBGridTest, TheNavigatorsInsertAndEditGiveTheKeyboardToTheRow) {
    openTravaux();
    const struct {
        Button button;
        int row;
        const char* typed;
        const char* stored;
    } cases[] = {
        {Button::Insert, 0, "Relance", "Saisie=2, Appels=1, Devis=3, Relance=null"},
        {Button::Edit, 2, "Rappel", "Saisie=2, Rappel=1, Devis=3, Relance=null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        travaux.setRecNo(c.row);
        other->setFocus();
        navigator->button(c.button)->click();
        settle();
        EXPECT_TRUE(grid->hasFocus());
        typeKeys(c.typed);
        EXPECT_TRUE(other->text().isEmpty()) << "nothing typed into another control";
        ASSERT_NE(editor(), nullptr);
        EXPECT_EQ(editor()->text(), c.typed);
        navigator->button(Button::Post)->click();
        EXPECT_EQ(storedText(), c.stored);
    }
}

TEST_F(DBGridTest, TheRowBeingEditedIsMarkedForEyesAndScreenReaders) {
    openTravaux();
    const auto mark = [this](int row, int role) {
        return grid->model()->headerData(row, Qt::Vertical, role).toString();
    };
    const struct {
        const char* how;
        std::function<void(DBGridTest&)> act;
        int row;
        QString indicator;
        QString spoken;
        bool tinted;
    } cases[] = {
        {"browsing", [](DBGridTest&) {}, 0, "\u25B6", "Ligne courante", false},
        {"editing", [](DBGridTest& t) { t.travaux.edit(); }, 0, "I",
         "Ligne courante en modification", true},
        {"new row",
         [](DBGridTest& t) {
             t.travaux.cancel();
             t.travaux.last();
             t.key(t.grid, Qt::Key_Down);
         },
         3, "*", "Nouvelle ligne en cours", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        c.act(*this);
        EXPECT_EQ(mark(c.row, Qt::DisplayRole), c.indicator);
        EXPECT_EQ(mark(c.row, Qt::AccessibleTextRole), c.spoken);
        EXPECT_EQ(mark(1, Qt::AccessibleTextRole), "Ligne 2");
        // Each cell of a row being edited tells it too; browsing, the cells
        // say nothing more than their text.
        EXPECT_EQ(cell(c.row, 0).data(Qt::AccessibleDescriptionRole).toString(),
                  c.tinted ? c.spoken : QString());
        EXPECT_TRUE(cell(1, 0).data(Qt::AccessibleDescriptionRole).toString().isEmpty());
        EXPECT_EQ(cell(c.row, 1).data(Qt::BackgroundRole).isValid(), c.tinted);
        EXPECT_FALSE(cell(1, 1).data(Qt::BackgroundRole).isValid());
    }
}

// A stored edit changes nothing on screen: it is said in words; a cancelled
// one says nothing.
TEST_F(DBGridTest, AStoredEditIsSaidInWords) {
    openTravaux();
    test::AccessibleEvents heard;
    type(0, 0, "Saisie 2");
    navigator->button(Button::Cancel)->click();
    EXPECT_TRUE(heard.announcements().isEmpty());
    type(0, 0, "Saisie 2");
    key(grid, Qt::Key_Down);
    EXPECT_EQ(stored()[0][0].toString(), "Saisie 2");
    EXPECT_EQ(heard.announcements(), QStringList{"Ligne enregistrée"});
}

TEST_F(DBGridTest, AnUnchangedNewRowIsDropped) {
    openTravaux();
    struct Case {
        const char* leave;
        std::function<void(DBGridTest&)> act;
    };
    const Case cases[] = {
        {"focus to another control", [](DBGridTest& t) { t.other->setFocus(); }},
        {"move to another row", [](DBGridTest& t) { t.key(t.grid, Qt::Key_Down); }},
        {"editor opened and left empty",
         [](DBGridTest& t) {
             t.grid->edit(t.grid->currentIndex());
             t.editor()->setFocus();
             t.other->setFocus();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leave);
        grid->setFocus();
        grid->setCurrentIndex(cell(0, 0));
        key(grid, Qt::Key_Insert);
        ASSERT_EQ(grid->model()->rowCount(), 4);
        c.act(*this);
        EXPECT_EQ(travaux.state(), State::Browse);
        EXPECT_EQ(grid->model()->rowCount(), 3);
        EXPECT_EQ(travaux.recordCount(), 3);
    }
    EXPECT_EQ(stored().size(), 3u);
    EXPECT_EQ(travaux.asString("TRAVAUX"), "Saisie") << "the row the new one stood before";
}

TEST_F(DBGridTest, AnIntegerFieldRefusesOtherTextAndTakesAnEmptyCellAsNoValue) {
    openTravaux();
    type(0, 1, "deux");
    key(editor(), Qt::Key_Return);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0],
              "'deux' n'est pas une valeur entière correcte pour le champ 'ORDRE'");
    ASSERT_NE(editor(), nullptr) << "the text stays in front of the user";
    EXPECT_EQ(editor()->text(), "deux");
    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.recNo(), 0) << "no leaving the row with refused text";
    EXPECT_EQ(boxes.errors.size(), 2) << "the attempt shows the error again";
    // A click on another row asks through the focus and the current cell: one box.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell(2, 0)).center());
    settle();
    EXPECT_EQ(boxes.errors.size(), 3);
    EXPECT_EQ(travaux.recNo(), 0);
    ASSERT_NE(editor(), nullptr);

    editor()->clear();
    key(editor(), Qt::Key_Return);
    EXPECT_EQ(boxes.errors.size(), 3);
    key(grid, Qt::Key_Down);
    EXPECT_EQ(storedText(), "Saisie=null, Appels=1, Devis=3");
}

TEST_F(DBGridTest, ARefusedPostIsReportedAndKeepsTheRowPending) {
    openTravaux();
    db.exec(
        "CREATE TRIGGER lecture_seule BEFORE UPDATE ON travaux "
        "BEGIN SELECT RAISE(ABORT, 'base en lecture seule'); END");
    type(0, 0, "Saisie 2");
    key(editor(), Qt::Key_Return);
    key(grid, Qt::Key_Down);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("lecture seule")) << boxes.errors[0].toStdString();
    EXPECT_EQ(travaux.state(), State::Edit);
    EXPECT_EQ(travaux.recNo(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(shown(0, 0), "Saisie 2");

    db.exec("DROP TRIGGER lecture_seule");
    key(grid, Qt::Key_Down);
    EXPECT_EQ(travaux.recNo(), 1);
    EXPECT_EQ(stored()[0][0].toString(), "Saisie 2");
}

TEST_F(DBGridTest, CtrlDeleteAsksThenDeletesOnOk) {
    openTravaux();
    grid->setCurrentIndex(cell(1, 0));
    boxes.answers = {false};
    key(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(boxes.confirms, QStringList{"Supprimer l'enregistrement ?"});
    EXPECT_EQ(boxes.destructive, boxes.confirms);  // a stray Enter answers "Annuler"
    EXPECT_EQ(stored().size(), 3u);
    boxes.answers = {true};
    key(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(storedText(), "Saisie=2, Devis=3");
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(shown(1, 0), "Devis");
}

// ---- navigator ---------------------------------------------------------------

TEST_F(DBGridTest, NavigatorButtonsCarryFrenchTipsAndNames) {
    const std::pair<Button, const char*> tips[] = {
        {Button::First, "Premier"},  {Button::Prior, "Précédent"},
        {Button::Next, "Suivant"},   {Button::Last, "Dernier"},
        {Button::Insert, "Insérer"}, {Button::Delete, "Supprimer"},
        {Button::Edit, "Modifier"},  {Button::Post, "Enregistrer"},
        {Button::Cancel, "Annuler"}, {Button::Refresh, "Rafraîchir"},
    };
    for (const auto& [which, tip] : tips) {
        ASSERT_NE(navigator->button(which), nullptr);
        EXPECT_EQ(navigator->button(which)->toolTip(), QString(tip));
        EXPECT_EQ(navigator->button(which)->accessibleName(), QString(tip));
    }
}

TEST_F(DBGridTest, NavigatorButtonsAreEnabledOnlyWhenTheirActionApplies) {
    // First Prior Next Last Insert Delete Edit Post Cancel Refresh
    struct Case {
        const char* name;
        std::function<void(DBGridTest&)> setUp;
        const char* enabled;
    };
    const Case cases[] = {
        {"closed", [](DBGridTest&) {}, "0000000000"},
        {"first row", [](DBGridTest& t) { t.travaux.open(); }, "0011111001"},
        {"middle row", [](DBGridTest& t) { t.travaux.next(); }, "1111111001"},
        {"last row", [](DBGridTest& t) { t.travaux.last(); }, "1100111001"},
        {"editing", [](DBGridTest& t) { t.travaux.edit(); }, "1100110111"},
        {"inserting", [](DBGridTest& t) { t.travaux.cancel(), t.travaux.insert(); }, "1111110111"},
        {"empty",
         [](DBGridTest& t) {
             t.travaux.cancel();
             t.db.exec("DELETE FROM travaux");
             t.travaux.refresh();
         },
         "0000100001"},
    };
    for (const Case& c : cases) {
        c.setUp(*this);
        QString got;
        for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
            got += navigator->button(static_cast<Button>(i))->isEnabled() ? '1' : '0';
        EXPECT_EQ(got, QString(c.enabled)) << c.name;
    }
}

TEST_F(DBGridTest, NavigatorMovesEditsPostsAndCancels) {
    openTravaux();
    navigator->button(Button::Last)->click();
    EXPECT_EQ(grid->currentIndex().row(), 2);
    navigator->button(Button::Prior)->click();
    EXPECT_EQ(travaux.recNo(), 1);
    navigator->button(Button::First)->click();
    navigator->button(Button::Next)->click();
    EXPECT_EQ(travaux.recNo(), 1);

    // Cancel drops the row's edit, typed text included.
    type(1, 0, "Appels 2");
    key(editor(), Qt::Key_Return);
    type(1, 1, "8");
    navigator->button(Button::Cancel)->click();
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(shown(1, 0), "Appels");
    EXPECT_EQ(travaux.state(), State::Browse);

    // Post takes the text still being typed.
    navigator->button(Button::Edit)->click();
    EXPECT_EQ(travaux.state(), State::Edit);
    type(1, 1, "7");
    navigator->button(Button::Post)->click();
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(storedText(), "Saisie=2, Appels=7, Devis=3");

    // Insert, type, then a move posts the new row.
    navigator->button(Button::Insert)->click();
    type(1, 0, "Relance");
    navigator->button(Button::Last)->click();
    EXPECT_EQ(storedText(), "Saisie=2, Appels=7, Devis=3, Relance=null");
    EXPECT_EQ(travaux.recNo(), 3);
}

TEST_F(DBGridTest, NavigatorDeleteAsksAndDeletesOnlyOnOk) {
    openTravaux();
    for (const bool ok : {false, true}) {
        boxes.answers = {ok};
        navigator->btnClick(Button::Delete);
        EXPECT_EQ(stored().size(), ok ? 2u : 3u);
    }
    EXPECT_EQ(boxes.confirms,
              QStringList({"Supprimer l'enregistrement ?", "Supprimer l'enregistrement ?"}));
    EXPECT_EQ(boxes.destructive, boxes.confirms);  // a stray Enter answers "Annuler"
    EXPECT_EQ(storedText(), "Appels=1, Devis=3");
}

TEST_F(DBGridTest, NavigatorRefreshPostsAChangeDropsNoneAndRereads) {
    openTravaux();
    db.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Ailleurs', 5)");
    type(0, 0, "Saisie 2");  // still in the editor
    navigator->btnClick(Button::Refresh);
    EXPECT_EQ(travaux.state(), State::Browse);
    EXPECT_EQ(storedText(), "Saisie 2=2, Appels=1, Devis=3, Ailleurs=5");
    EXPECT_EQ(grid->model()->rowCount(), 4);

    navigator->btnClick(Button::Insert);
    navigator->btnClick(Button::Refresh);
    EXPECT_EQ(stored().size(), 4u) << "an unchanged new row is not stored";
    EXPECT_EQ(grid->model()->rowCount(), 4);

    // Refused text stops the refresh with the error, the editor keeps it.
    type(0, 1, "x");
    EXPECT_THROW(navigator->btnClick(Button::Refresh), Error);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "x");
}

}  // namespace

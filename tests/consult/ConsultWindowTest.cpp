// The consultation window over a small database: lists, report, editing
// mode commands and purge.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <functional>
#include <memory>

#include "app/Unit1.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "consult/PeriodPresets.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "controls/ReportView.h"
#include "data/Unit2.h"
#include "platform/Paths.h"
#include "settings/outils.h"

using namespace tavix;
using test::TempDatabase;

namespace {

const QString kLine(208, u'-');
const QString kDupont = "Dupont \"&\" fils";

class ConsultWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin'), ('Dupont \"&\" fils'), ('L''Oréal')");
        db.exec(
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Saisie', 2), (2, 'Appel', 1)");
        db.exec(
            "INSERT INTO activites (ID, \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
            "COMMENTAIRE) VALUES "
            "(1, 'marie', 'Saisie', 'Dupont \"&\" fils', '2009-12-25 08:00:00', "
            "'2009-12-25 10:30:00', 9000, 'note a'),"
            "(2, NULL, 'Appel', 'Dupont \"&\" fils', '2009-12-25 14:00:00', '2009-12-26 00:00:00', "
            "36000, NULL),"
            "(3, 'marie', 'Saisie', 'Martin', '2009-12-25 09:00:00', '2009-12-25 09:30:00', 1800, "
            "'m'),"
            "(4, 'marie', 'Saisie', 'Dupont \"&\" fils', '2009-12-24 23:00:00', "
            "'2009-12-25 01:00:00', 7200, 'veille'),"
            "(5, 'paul', 'Saisie', 'L''Oréal', '2009-12-26 23:00:00', '2009-12-27 00:00:00', 3600, "
            "'o'),"
            "(6, 'paul', 'Appel', 'Dupont \"&\" fils', '2009-12-27 08:00:00', "
            "'2009-12-27 09:00:00', 3600, 'après')");
        module = std::make_unique<TDataModule2>();
        module->DatabasePath = db.path();
        ASSERT_TRUE(module->OpenDatabase());
    }
    void TearDown() override {
        form.reset();
        module.reset();
    }

    void open() {
        form = std::make_unique<TForm5>();
        form->show();
    }

    // "&Voir" for a client and activity over two days.
    QString report(const QString& activity, const QString& client, QDate from, QDate to,
                   bool comments = false, bool all = false) {
        form->cbTravaux->setCurrentText(activity);
        form->cbClients->setCurrentText(client);
        form->dateDebut->setDateTime(QDateTime(from, QTime(15, 0)));
        form->DateFin->setDateTime(QDateTime(to, QTime(15, 0)));
        form->chkComm->setChecked(comments);
        form->chkTout->setChecked(all);
        form->Commenter->click();
        return form->RichEdit1->text();
    }

    // The grid's entries: its table opens when the grid is first shown.
    QStringList tableIds() {
        const bool wasHidden = !form->Panel4->isVisible();
        if (wasHidden) form->Button2Click();
        QStringList ids;
        const auto& t = module->ADOTable1;
        for (int row = 0; row < t.recordCount(); ++row) ids << t.textAt(row, t.fieldIndex("ID"));
        if (wasHidden) form->Button2Click();
        return ids;
    }

    // Entries enough for a report read in several slices.
    void addManyEntries(int count) {
        db.exec(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                        "i < %1) INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, "
                        "FIN, DUREE, COMMENTAIRE) SELECT 'u' || i, 'Saisie', 'Martin', "
                        "'2010-01-04 08:00:00', '2010-01-04 09:00:00', i, 'c' || i FROM n")
                    .arg(count));
    }

    void waitForReport() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->reportRunning(); }, 20000));
    }

    void goToId(int id) {
        auto& t = module->ADOTable1;
        for (int row = 0; row < t.recordCount(); ++row)
            if (t.textAt(row, t.fieldIndex("ID")) == QString::number(id)) t.setRecNo(row);
        ASSERT_EQ(t.asInteger("ID"), id);
    }

    // Dupont's report, the grid, and entry 1's comment open in its cell
    // editor; null when no editor opened.
    QLineEdit* editFirstComment() {
        report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26));
        form->Button2->click();
        TDBGrid* grid = form->DBGrid1;
        goToId(1);
        const QModelIndex comment = grid->model()->index(module->ADOTable1.recNo(), 6);
        grid->setCurrentIndex(comment);
        grid->edit(comment);
        return qobject_cast<QLineEdit*>(grid->cellEditor());
    }

    TempDatabase db;
    test::FakeClock clock{DateTime(QDate(2009, 12, 26), QTime(15, 0, 7))};
    test::ScriptedBoxes boxes;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm5> form;
};

// Weeks from Monday to Sunday, months whole, across a year's turn and a
// short February.
TEST(PeriodPresetsTest, EachPeriodHoldsOrPrecedesToday) {
    using P = PeriodPresets::Period;
    const struct {
        QDate today;
        P period;
        QDate first, last;
    } cases[] = {
        {QDate(2009, 12, 26), P::ThisWeek, QDate(2009, 12, 21), QDate(2009, 12, 27)},
        {QDate(2009, 12, 21), P::ThisWeek, QDate(2009, 12, 21), QDate(2009, 12, 27)},
        {QDate(2009, 12, 27), P::ThisWeek, QDate(2009, 12, 21), QDate(2009, 12, 27)},
        {QDate(2010, 1, 2), P::LastWeek, QDate(2009, 12, 21), QDate(2009, 12, 27)},
        {QDate(2009, 12, 26), P::ThisMonth, QDate(2009, 12, 1), QDate(2009, 12, 31)},
        {QDate(2024, 2, 10), P::ThisMonth, QDate(2024, 2, 1), QDate(2024, 2, 29)},
        {QDate(2010, 1, 15), P::LastMonth, QDate(2009, 12, 1), QDate(2009, 12, 31)},
        {QDate(2023, 3, 31), P::LastMonth, QDate(2023, 2, 1), QDate(2023, 2, 28)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PeriodPresets::range(c.period, c.today), std::pair(c.first, c.last))
            << c.today.toString(Qt::ISODate).toStdString() << ' ' << int(c.period);
}

TEST_F(ConsultWindowTest, APeriodInOneClickAndTheDatesOutliveTheWindow) {
    open();
    const QString week = report("Tous", "Tous", QDate(2009, 12, 21), QDate(2009, 12, 27));
    waitForReport();
    ASSERT_TRUE(week.contains("L'Oréal"));
    form->RichEdit1->clear();
    form->dateDebut->setDate(QDate(2001, 1, 1));
    form->chkTout->setChecked(true);
    QPushButton* thisWeek = form->Presets->button(PeriodPresets::Period::ThisWeek);
    EXPECT_EQ(thisWeek->text(), "Cette semaine");
    EXPECT_FALSE(thisWeek->accessibleDescription().isEmpty());
    thisWeek->click();
    waitForReport();
    EXPECT_EQ(form->dateDebut->date(), QDate(2009, 12, 21));
    EXPECT_EQ(form->DateFin->date(), QDate(2009, 12, 27));
    EXPECT_FALSE(form->chkTout->isChecked()) << "a period is not everything";
    EXPECT_EQ(form->RichEdit1->text(), week) << "shown at once";

    QStringList captions;
    for (const auto p : {PeriodPresets::Period::LastWeek, PeriodPresets::Period::ThisMonth,
                         PeriodPresets::Period::LastMonth})
        captions << form->Presets->button(p)->text();
    EXPECT_EQ(captions, (QStringList{"Semaine dernière", "Ce mois", "Mois dernier"}));

    // Closed on last month, opened again: the same dates, at the time now.
    form->Presets->button(PeriodPresets::Period::LastMonth)->click();
    waitForReport();
    form->close();
    form.reset();
    open();
    EXPECT_EQ(form->dateDebut->dateTime(), QDateTime(QDate(2009, 11, 1), QTime(15, 0, 7)));
    EXPECT_EQ(form->DateFin->dateTime(), QDateTime(QDate(2009, 11, 30), QTime(15, 0, 7)));
}

TEST_F(ConsultWindowTest, OpeningFillsTheListsAndShowsTheReportMode) {
    module->ADOTable1.open();
    open();
    EXPECT_EQ(form->windowTitle(), "Consulter");
    QStringList clients, activities;
    for (int i = 0; i < form->cbClients->count(); ++i) clients << form->cbClients->itemText(i);
    for (int i = 0; i < form->cbTravaux->count(); ++i) activities << form->cbTravaux->itemText(i);
    EXPECT_EQ(clients, (QStringList{"Tous", kDupont, "L'Oréal", "Martin"}));
    EXPECT_EQ(activities, (QStringList{"Tous", "Appel", "Saisie"}));
    EXPECT_EQ(form->cbClients->currentText(), "Tous");
    EXPECT_EQ(form->cbTravaux->currentText(), "Tous");
    EXPECT_EQ(form->dateDebut->dateTime(), QDateTime(QDate(2009, 12, 26), QTime(15, 0, 7)));
    EXPECT_EQ(form->DateFin->dateTime(), form->dateDebut->dateTime());
    EXPECT_TRUE(form->RichEdit1->text().isEmpty());
    EXPECT_FALSE(module->ADOTable1.active());
    EXPECT_TRUE(form->Panel3->isVisible());
    EXPECT_FALSE(form->Panel4->isVisible());
    EXPECT_TRUE(form->Button2->isVisible());
    EXPECT_EQ(form->Button2->text(), "&Basculer en mode édition");
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->SortAscending);
    EXPECT_TRUE(form->ClickedColumn.isEmpty());
}

TEST_F(ConsultWindowTest, ListsShowNamesAsADictionaryDoes) {
    db.exec(
        "INSERT INTO clients (NOM) VALUES ('Zoé'), ('alpha'), ('Éric'), ('beta'), ('L''Atelier')");
    db.exec(
        "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('zèbre', 1), ('Écrire', 1), ('appel', 1)");
    open();
    QStringList clients, activities;
    for (int i = 0; i < form->cbClients->count(); ++i) clients << form->cbClients->itemText(i);
    for (int i = 0; i < form->cbTravaux->count(); ++i) activities << form->cbTravaux->itemText(i);
    EXPECT_EQ(clients, (QStringList{"Tous", "alpha", "beta", kDupont, "Éric", "L'Atelier",
                                    "L'Oréal", "Martin", "Zoé"}));
    // By position first, then by name.
    EXPECT_EQ(activities, (QStringList{"Tous", "appel", "Appel", "Écrire", "zèbre", "Saisie"}));
}

TEST_F(ConsultWindowTest, ReportOfOneClientToTheByte) {
    open();
    const QString lines =
        "marie\tSaisie\tDupont \"&\" fils\t25/12/2009 08:00:00\t25/12/2009 10:30:00\t02:30:00\r\n"
        "\tAppel\tDupont \"&\" fils\t25/12/2009 14:00:00\t26/12/2009\t10:00:00\r\n";
    const QString total = kLine + "Total\t\t\t\t\t25/12/2009 08:00:00\t\t26/12/2009\t\t12:30:00";
    EXPECT_EQ(report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26)), lines + total);
    EXPECT_EQ(tableIds(), (QStringList{"1", "2"}));  // the grid holds the same entries
    EXPECT_TRUE(module->ADOTable1.filtered());

    // Comments, each on its own line; an empty one gives a lone TAB.
    EXPECT_EQ(report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26), true),
              "marie\tSaisie\tDupont \"&\" fils\t25/12/2009 08:00:00\t25/12/2009 10:30:00\t"
              "02:30:00\r\n\tnote a\r\n"
              "\tAppel\tDupont \"&\" fils\t25/12/2009 14:00:00\t26/12/2009\t10:00:00\r\n\t\r\n" +
                  total);

    // Tab stops: 3 points per character of each column's longest text.
    EXPECT_EQ(form->RichEdit1->tabStops(), (QList<qreal>{15, 18, 45, 57, 57, 24}));

    // Selected and copied whole, TABs and line ends included.
    form->RichEdit1->selectAll();
    EXPECT_EQ(form->RichEdit1->selectedText(), form->RichEdit1->text());

    // A screen reader reads the same text under the name "Rapport".
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(form->RichEdit1);
    EXPECT_EQ(a->text(QAccessible::Name), "Rapport");
    ASSERT_NE(a->textInterface(), nullptr);
    EXPECT_EQ(a->textInterface()->text(0, a->textInterface()->characterCount()),
              form->RichEdit1->text());
}

TEST_F(ConsultWindowTest, QuotesSelectExactlyThatName) {
    open();
    EXPECT_EQ(report("Tous", "L'Oréal", QDate(2009, 12, 26), QDate(2009, 12, 26)),
              "paul\tSaisie\tL'Oréal\t26/12/2009 23:00:00\t27/12/2009\t01:00:00\r\n" + kLine +
                  "Total\t\t\t\t\t26/12/2009 23:00:00\t\t27/12/2009\t\t01:00:00");
    EXPECT_EQ(tableIds(), QStringList{"5"});
    EXPECT_TRUE(report("Appel", kDupont, QDate(2009, 12, 20), QDate(2009, 12, 31))
                    .startsWith("\tAppel\tDupont \"&\" fils\t25/12/2009 14:00:00"));
    EXPECT_EQ(tableIds(), (QStringList{"2", "6"}));
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(ConsultWindowTest, EmptyAllAndRefusedReports) {
    open();
    const QString empty = kLine + "Total\t\t\t\t\t30/12/1899\t\t30/12/1899\t\t00:00:00";
    EXPECT_EQ(report("Appel", "Martin", QDate(2009, 12, 1), QDate(2009, 12, 31)), empty);
    EXPECT_TRUE(tableIds().isEmpty());

    // An end before the start changes nothing, unless "Tout" is ticked.
    EXPECT_EQ(report("Tous", "Tous", QDate(2009, 12, 27), QDate(2009, 12, 25)), empty);
    const QString all =
        report("Tous", "Tous", QDate(2009, 12, 27), QDate(2009, 12, 25), false, true);
    QStringList users;
    for (int i = 0; i + 1 < form->RichEdit1->lineCount(); ++i)
        users << form->RichEdit1->line(i).section(u'\t', 2, 2);
    EXPECT_EQ(form->RichEdit1->lineCount(), 7);
    EXPECT_TRUE(
        all.endsWith("Total\t\t\t\t\t24/12/2009 23:00:00\t\t27/12/2009 09:00:00\t\t17:00:00"));
    EXPECT_EQ(tableIds(), (QStringList{"1", "2", "3", "4", "5", "6"}));  // not filtered
    EXPECT_FALSE(module->ADOTable1.filtered());
    // In order of start.
    EXPECT_EQ(form->RichEdit1->line(0).section(u'\t', 3, 3), "24/12/2009 23:00:00");
    EXPECT_EQ(form->RichEdit1->line(5).section(u'\t', 3, 3), "27/12/2009 08:00:00");
}

TEST_F(ConsultWindowTest, EarliestStartAndLatestEndOverCenturies) {
    db.exec(
        "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
        "('Saisie', 'Martin', '1904-02-29 12:00:00', '1904-03-01 00:00:00', 1),"
        "('Saisie', 'Martin', '2000-02-29', '2400-02-29 23:59:59', 1),"
        "('Saisie', 'Martin', '2100-03-01 00:00:01', '2100-12-31 23:59:59', 1)");
    open();
    const QString all =
        report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), false, true);
    EXPECT_TRUE(
        all.endsWith("Total\t\t\t\t\t29/02/1904 12:00:00\t\t29/02/2400 23:59:59\t\t17:00:03"))
        << all.toStdString();
    EXPECT_TRUE(all.contains("\t29/02/2000\t29/02/2400 23:59:59\t00:00:01\r\n"));
}

TEST_F(ConsultWindowTest, ModeToggleAndLockedEditing) {
    open();
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25));
    const QString text = form->RichEdit1->text();
    form->Button2->click();
    EXPECT_EQ(form->Button2->text(), "Basculer en mode &RTF");
    EXPECT_TRUE(form->Button3->isEnabled());
    EXPECT_TRUE(form->Panel4->isVisible());
    EXPECT_FALSE(form->Panel3->isVisible());
    form->Button2->click();
    EXPECT_EQ(form->Button2->text(), "&Basculer en mode édition");
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_TRUE(form->Panel3->isVisible());
    EXPECT_EQ(form->RichEdit1->text(), text);

    WriteSetting("config", "32");
    open();
    EXPECT_FALSE(form->Button2->isVisible());
    EXPECT_TRUE(form->ColorButton1->isVisible());

    WriteSetting("config", "x");
    open();
    EXPECT_EQ(boxes.errors, QStringList{"'x' n'est pas une valeur entière correcte."});
}

TEST_F(ConsultWindowTest, TitleClicksToggleTheSortOverAllColumns) {
    open();
    // Closed table: refused, the toggle flips all the same.
    runGuarded([&] { form->DBGrid1TitleClick("DEBUT"); });
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(form->SortAscending);
    form->SortAscending = false;

    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), false, true);
    form->Button2->click();
    const struct {
        const char* title;
        QString sort;
        QStringList ids;
    } clicks[] = {
        {"DEBUT", "DEBUT ASC", {"4", "1", "3", "2", "5", "6"}},
        {"DUREE", "DUREE DESC", {"2", "1", "4", "5", "6", "3"}},
        {"CLIENTS", "CLIENTS ASC", {"1", "2", "4", "6", "5", "3"}},
    };
    for (const auto& c : clicks) {
        form->DBGrid1TitleClick(c.title);
        EXPECT_EQ(module->ADOTable1.sort(), c.sort);
        EXPECT_EQ(tableIds(), c.ids) << c.title;
    }
    // "&Voir" reopens the table without a sort.
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), false, true);
    EXPECT_EQ(module->ADOTable1.sort(), "");
}

TEST_F(ConsultWindowTest, Recalculate) {
    db.exec(
        "INSERT INTO activites (ID, DEBUT, FIN, DUREE) VALUES "
        "(7, '2010-01-04 08:00:00', '2010-01-04 07:00:00', 600), (8, NULL, NULL, NULL), "
        "(9, '2010-01-04 08:00:00', NULL, 60)");
    const auto stored = [&](int id) {
        return db.rows(QString("SELECT DEBUT, FIN, DUREE FROM activites WHERE ID = %1").arg(id))[0];
    };
    open();
    form->Button2Click();
    const struct {
        int id;
        QString column;
        QString debut, fin, duree;
        int errors;
    } cases[] = {
        {7, "DEBUT", "2010-01-04 06:50:00", "2010-01-04 07:00:00", "600", 0},
        {7, "FIN", "2010-01-04 08:00:00", "2010-01-04 08:10:00", "600", 0},
        {7, "DUREE", "2010-01-04 08:00:00", "2010-01-04 07:00:00", "3600", 0},  // kept positive
        {7, "USER", "2010-01-04 08:00:00", "2010-01-04 07:00:00", "600", 0},
        {7, "COMMENTAIRE", "2010-01-04 08:00:00", "2010-01-04 07:00:00", "600", 0},
        {7, "", "2010-01-04 08:00:00", "2010-01-04 07:00:00", "600", 0},
        {8, "DUREE", "", "", "", 0},                       // all three empty: left alone
        {9, "DEBUT", "2010-01-04 08:00:00", "", "60", 1},  // FIN empty: refused
        {9, "FIN", "2010-01-04 08:00:00", "2010-01-04 08:01:00", "60", 0},
    };
    for (const auto& c : cases) {
        db.exec(
            "UPDATE activites SET DEBUT = '2010-01-04 08:00:00', FIN = '2010-01-04 07:00:00', "
            "DUREE = 600 WHERE ID = 7");
        boxes.errors.clear();
        report("Tous", "Tous", QDate(2010, 1, 4), QDate(2010, 1, 4), false, true);
        goToId(c.id);
        form->DBGrid1CellClick(c.column);
        EXPECT_EQ(form->ClickedColumn, c.column);
        runGuarded([&] { form->Button3Click(); });
        const auto row = stored(c.id);
        EXPECT_EQ(row[0].toString(), c.debut) << c.id << c.column.toStdString();
        EXPECT_EQ(row[1].toString(), c.fin) << c.id << c.column.toStdString();
        EXPECT_EQ(row[2].toString(), c.duree) << c.id << c.column.toStdString();
        EXPECT_EQ(boxes.errors.size(), c.errors) << c.id << c.column.toStdString();
        EXPECT_EQ(module->ADOTable1.state(), db::TableDataset::State::Browse);
    }
}

TEST_F(ConsultWindowTest, EditingGridShowsTheReportsEntries) {
    open();
    form->resize(1000, 600);
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 0);  // closed until "&Voir"
    report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26));
    form->Button2->click();
    TDBGrid* grid = form->DBGrid1;
    ASSERT_TRUE(grid->isVisible());
    ASSERT_TRUE(form->DBNavigator1->isVisible());
    const QStringList titles = {"USER", "SURVEILLANCES", "CLIENTS",    "DEBUT",
                                "FIN",  "DUREE",         "COMMENTAIRE"};
    const int widths[] = {50, 100, 100, 110, 110, 50, 300};
    ASSERT_EQ(grid->model()->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        EXPECT_EQ(grid->columnWidth(c), widths[c]);
    }
    EXPECT_TRUE(grid->horizontalHeader()->isVisible());
    ASSERT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->model()->index(1, 4).data().toString(), "26/12/2009");

    // A title click sorts; a cell click records its column and row.
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(grid->horizontalHeader()->sectionViewportPosition(5) + 10, 5));
    EXPECT_EQ(module->ADOTable1.sort(), "DUREE ASC");
    EXPECT_EQ(grid->model()->index(0, 5).data().toString(), "9000");
    const QModelIndex fin = grid->model()->index(1, 4);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(fin).center());
    EXPECT_EQ(form->ClickedColumn, "FIN");
    EXPECT_EQ(module->ADOTable1.asInteger("ID"), 2);

    // FIN typed in the grid, then DUREE recalculated from it.
    grid->setCurrentIndex(fin);
    grid->edit(fin);
    auto* editor = qobject_cast<QLineEdit*>(grid->cellEditor());
    ASSERT_NE(editor, nullptr);
    editor->setText("25/12/2009 15:30:00");
    const QModelIndex duree = grid->model()->index(1, 5);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(duree).center());
    EXPECT_EQ(form->ClickedColumn, "DUREE");
    form->Button3->click();
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
    EXPECT_EQ(db.scalar("SELECT FIN || '|' || DUREE FROM activites WHERE ID = 2"),
              "2009-12-25 15:30:00|5400");
    // Read again in its sort: the row stays current.
    EXPECT_EQ(module->ADOTable1.asInteger("ID"), 2);
    EXPECT_EQ(grid->model()->index(module->ADOTable1.recNo(), 5).data().toString(), "5400");
}

TEST_F(ConsultWindowTest, ClosingPostsAnEditStillPendingInTheGrid) {
    const struct {
        const char* how;
        std::function<void(TForm5&)> close;
    } ways[] = {
        {"&Fermer", [](TForm5& f) { f.ColorButton2->click(); }},
        {"close box", [](TForm5& f) { f.close(); }},
        {"Escape",
         [](TForm5& f) {
             f.Button3->setFocus();
             QTest::keyClick(f.Button3, Qt::Key_Escape);
         }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.how);
        open();
        QLineEdit* editor = editFirstComment();
        ASSERT_NE(editor, nullptr);
        const QString typed = QStringLiteral("fermé par ") + w.how;
        editor->setText(typed);  // still in the cell editor
        w.close(*form);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(db.scalar("SELECT COMMENTAIRE FROM activites WHERE ID = 1"), typed);
        EXPECT_EQ(module->ADOTable1.state(), db::TableDataset::State::Browse);
    }
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
}

TEST_F(ConsultWindowTest, VoirStoresAnEditStillPendingInTheGrid) {
    open();
    QLineEdit* editor = editFirstComment();
    ASSERT_NE(editor, nullptr);
    editor->setText("revu");
    const QString text = report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26), true);
    EXPECT_EQ(db.scalar("SELECT COMMENTAIRE FROM activites WHERE ID = 1"), "revu");
    EXPECT_TRUE(text.contains("\r\n\trevu\r\n")) << text.toStdString();
}

TEST_F(ConsultWindowTest, ARefusedPostAtClosingKeepsTheWindowOpenOnTheRow) {
    open();
    report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26));
    form->Button2->click();
    goToId(1);
    module->ADOTable1.setFieldText("COMMENTAIRE", "gardé");  // typed in the grid earlier
    form->Button2->click();                                  // then back to the report
    ASSERT_FALSE(form->Panel4->isVisible());
    db.exec(
        "CREATE TRIGGER lecture_seule BEFORE UPDATE ON activites "
        "BEGIN SELECT RAISE(ABORT, 'base en lecture seule'); END");
    form->close();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("lecture seule")) << boxes.errors[0].toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Panel4->isVisible()) << "the row is shown to be corrected or cancelled";
    EXPECT_EQ(module->ADOTable1.state(), db::TableDataset::State::Edit);
    EXPECT_EQ(module->ADOTable1.asString("COMMENTAIRE"), "gardé");

    db.exec("DROP TRIGGER lecture_seule");
    form->ColorButton2->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(db.scalar("SELECT COMMENTAIRE FROM activites WHERE ID = 1"), "gardé");
}

TEST_F(ConsultWindowTest, AReportBeingReadKeepsWhatItsClickChose) {
    addManyEntries(3000);
    open();
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), true, true);
    waitForReport();
    const QString full = form->RichEdit1->text();
    ASSERT_EQ(form->RichEdit1->lineCount(), 2 * 3006 + 1);

    // Boxes and lists changed while the report is read count for the next one.
    form->reportSliceMs = 0;
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), true, true);
    ASSERT_TRUE(form->reportRunning());
    form->chkComm->setChecked(false);
    form->chkTout->setChecked(false);
    form->cbClients->setCurrentText("Martin");
    waitForReport();
    EXPECT_EQ(form->RichEdit1->text(), full);

    // A purge declined at either question leaves the report as it was.
    for (const std::deque<bool>& answers : {std::deque<bool>{false}, {true, false}}) {
        report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), true, true);
        ASSERT_TRUE(form->reportRunning());
        boxes.answers = answers;
        form->ColorButton1->click();
        waitForReport();
        EXPECT_EQ(form->RichEdit1->text(), full) << answers.size();
    }
    // A purge carried out shows the report of the entries as they were.
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25), true, true);
    ASSERT_TRUE(form->reportRunning());
    boxes.answers = {true, true};
    form->ColorButton1->click();
    EXPECT_EQ(boxes.informs, QStringList{"Suivi des surveillances vide"});
    EXPECT_EQ(db.scalar("SELECT count(*) FROM activites"), "0");
    waitForReport();
    EXPECT_EQ(form->RichEdit1->text(), full);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
}

TEST_F(ConsultWindowTest, GridTableOpensWhenTheGridIsFirstShown) {
    open();
    report("Tous", kDupont, QDate(2009, 12, 25), QDate(2009, 12, 26));
    EXPECT_FALSE(module->ADOTable1.active());
    form->Button2->click();
    EXPECT_TRUE(module->ADOTable1.active());
    EXPECT_TRUE(module->ADOTable1.filtered());
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 2);

    // Shown again after another report: that report's entries.
    form->Button2->click();
    report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 26), false, true);
    EXPECT_FALSE(module->ADOTable1.active());
    form->Button2->click();
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 6);
    EXPECT_FALSE(module->ADOTable1.filtered());

    // "&Voir" while the grid shows reads it at once.
    report("Tous", "L'Oréal", QDate(2009, 12, 26), QDate(2009, 12, 26));
    EXPECT_TRUE(module->ADOTable1.active());
    EXPECT_EQ(form->DBGrid1->model()->rowCount(), 1);
}

TEST_F(ConsultWindowTest, PurgeAsksTwiceAndKeepsABackup) {
    open();
    const QString text = report("Tous", "Tous", QDate(2009, 12, 25), QDate(2009, 12, 25));
    const QString backup = QDir(db.folder()).filePath("tavix-20091226-150007.bak");
    const QString first = "Attention !!! \r\nVoulez-vous vraiment vider les surveillances ?";
    const QString second =
        "Attention !!!!!!!!!!!!!!!! \r\nVoulez-vous vraiment vider les surveillances ?";

    const struct {
        std::deque<bool> answers;
        QStringList confirms;
    } refusals[] = {{{false}, {first}}, {{true, false}, {first, second}}};
    for (const auto& r : refusals) {
        boxes.confirms.clear();
        boxes.destructive.clear();
        boxes.answers = r.answers;
        form->ColorButton1->click();
        EXPECT_EQ(boxes.confirms, r.confirms);
        EXPECT_EQ(boxes.destructive, r.confirms);  // a stray Enter answers "&Non"
        EXPECT_EQ(db.scalar("SELECT count(*) FROM activites"), "6");
        EXPECT_FALSE(QFile::exists(backup));
        EXPECT_TRUE(boxes.informs.isEmpty());
    }

    // A backup that cannot be made stops the purge and says why.
    ASSERT_TRUE(QDir().mkpath(backup));
    boxes.answers = {true, true};
    form->ColorButton1->click();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains(backup));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM activites"), "6");
    EXPECT_TRUE(boxes.informs.isEmpty());
    ASSERT_TRUE(QDir(backup).removeRecursively());

    boxes.answers = {true, true};
    form->ColorButton1->click();
    EXPECT_EQ(boxes.informs, QStringList{"Suivi des surveillances vide"});
    EXPECT_EQ(db.scalar("SELECT count(*) FROM activites"), "0");
    ASSERT_TRUE(QFile::exists(backup));
    {
        sqlite3* copy = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(backup).constData(), &copy,
                                  SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(copy, "SELECT count(*) FROM activites", -1, &stmt, nullptr);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(stmt, 0), 6);
        sqlite3_finalize(stmt);
        sqlite3_close(copy);
    }
    // Nothing is read again: the report stays as it was.
    EXPECT_EQ(form->RichEdit1->text(), text);
}

TEST_F(ConsultWindowTest, ExtractionOpensTheWindowWithoutRestart) {
    QTemporaryDir exeDir;
    paths::setExecutablePath(exeDir.filePath("tavix"));
    WriteSetting("sgbd", db.path());
    module = std::make_unique<TDataModule2>();
    test::ScriptedModals modals;
    test::FakeShell shell;
    TForm1 main;
    main.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return main.firstShowingRan(); }));
    QStringList clients;
    modals.scripts.push_back([&](QDialog& dialog) {
        auto& consult = dynamic_cast<TForm5&>(dialog);
        for (int i = 0; i < consult.cbClients->count(); ++i)
            clients << consult.cbClients->itemText(i);
        return int(QDialog::Rejected);
    });
    main.Extraction1->trigger();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm5"});
    EXPECT_EQ(clients.size(), 4);
    EXPECT_TRUE(boxes.confirms.isEmpty());
    EXPECT_TRUE(shell.started.isEmpty());
    paths::setExecutablePath({});
}

}  // namespace

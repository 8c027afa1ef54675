#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest/QTest>
#include <memory>

#include "WindowFixture.h"
#include "app/EmptyListHint.h"
#include "app/ScreenFit.h"
#include "app/Unit1.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Paths.h"
#include "reference/Unit11.h"
#include "settings/md5.h"
#include "settings/outils.h"
#include "settings/ui/Unit7.h"
#include "settings/ui/Unit8.h"

using namespace tavix;
using test::TempDatabase;

namespace {

QSettings settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX");
}

const DateTime kMonday9h(QDate(2026, 3, 2), QTime(9, 0));

class TrackingWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        IconPhase = false;
    }

    // The database with three clients and three activities, named in "sgbd".
    void useSampleDatabase() {
        db.exec("INSERT INTO clients (NOM) VALUES ('Dupont \"&\" fils'), ('Martin'), ('L''Oréal')");
        db.exec(
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Saisie', 2), "
            "(2, 'R&D', 1), (3, 'Appel d''offre', 3)");
        WriteSetting("sgbd", db.path());
    }

    bool onScreen() const {
        return form && form->isVisible() && form->windowHandle() &&
               form->windowHandle()->isExposed();
    }

    TColorButton* button(const char* name) const {
        return form->Panel2->findChild<TColorButton*>(name);
    }
    int clientIndex(const QString& name) const {
        return static_cast<int>(form->RadioGroup1->items().indexOf(name));
    }
    std::vector<std::vector<QVariant>> entries() const {
        return db.rows(
            "SELECT USER, SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
            "FROM activites ORDER BY ID");
    }
};

// ---- start-up and lifecycle -------------------------------------------------

TEST_F(TrackingWindowTest, FirstRunCreatesTheDefaultDatabaseAndShowsTheWindow) {
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/tavix.mdb";
    QFile::remove(expected);
    start();
    EXPECT_EQ(module->DatabasePath, expected);
    EXPECT_TRUE(QFile::exists(expected));
    EXPECT_TRUE(module->ADOConnection1.connected());
    EXPECT_EQ(form->Config, 0);
    EXPECT_TRUE(form->Extraction1->isVisible());
    EXPECT_TRUE(form->Rajouter1->isVisible());
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "a new database needs no conversion";
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(form->windowTitle(), "Surveillance tâches");
    EXPECT_EQ(form->Label1->text(), "02/03/2026");
    EXPECT_EQ(form->Label2->text(), "00:00:00");
    EXPECT_EQ(form->Label3->text(), "09:00:00");
    EXPECT_EQ(form->Label4->text(), "Lundi");
    EXPECT_EQ(form->Label7->text(), "Chronomètre:");
    EXPECT_FALSE(form->Commenter->isVisible());
    EXPECT_FALSE(form->RichEdit->isVisible());
    EXPECT_EQ(form->RadioGroup1->count(), 0);
}

TEST_F(TrackingWindowTest, ConfigurationFlagsApplyToTheWindow) {
    const struct {
        const char* config;
        bool extraction, lists, onTop, titleButtons;
    } cases[] = {
        {"", true, true, false, true},     {"1", false, true, false, true},
        {"2", true, false, false, true},   {"64", true, true, true, true},
        {"128", true, true, false, false}, {"272", true, true, false, true},
    };
    for (const auto& c : cases) {
        settings().setValue("config", c.config);
        start();
        EXPECT_EQ(form->Extraction1->isVisible(), c.extraction) << c.config;
        EXPECT_EQ(form->Rajouter1->isVisible(), c.lists) << c.config;
        EXPECT_EQ(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.onTop) << c.config;
        const bool hasButtons = !form->windowFlags().testFlag(Qt::CustomizeWindowHint);
        EXPECT_EQ(hasButtons, c.titleButtons) << c.config;
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingWindowTest, GeometryIsRestoredAndSavedAtClosing) {
    useSampleDatabase();
    WriteSetting("width", "500");
    start();
    EXPECT_EQ(form->width(), 500);
    EXPECT_EQ(form->height(), 661) << "the designed height stays";
    form->close();
    EXPECT_FALSE(module->ADOConnection1.connected());
    EXPECT_TRUE(form->Closing);
    form->Timer1Timer();
    EXPECT_FALSE(form->Timer1->isActive()) << "the tick after closing stops the timer";
    EXPECT_EQ(ReadSetting("width"), "500");
    EXPECT_EQ(ReadSetting("height"), "661");
    EXPECT_EQ(ReadSetting("top"), "124");
    EXPECT_EQ(ReadSetting("left"), "256");

    // What closing wrote brings the window back at the same place.
    WriteSetting("top", "40");
    WriteSetting("left", "30");
    form.reset();
    module.reset();
    start();
    EXPECT_EQ(form->geometry(), QRect(30, 40, 500, 661));
    form->close();
    EXPECT_EQ(ReadSetting("top"), "40");
    EXPECT_EQ(ReadSetting("left"), "30");
}

// Whatever is stored, the window opens wholly on the screen (the test
// platform's, 800 × 800), frame included, no larger than it.
TEST_F(TrackingWindowTest, AStoredGeometryPutsTheWindowWhollyOnTheScreen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 1);
    if (screens[0]->availableGeometry() != QRect(0, 0, 800, 800))
        GTEST_SKIP() << "a screen other than the test platform's";
    useSampleDatabase();
    start();
    const QRect inner(form->geometry().topLeft(), form->geometry().size());
    const QRect outer = form->frameGeometry();
    // The screen less the frame the platform draws around the window.
    const QRect room = QRect(0, 0, 800, 800)
                           .marginsRemoved(QMargins(
                               inner.left() - outer.left(), inner.top() - outer.top(),
                               outer.right() - inner.right(), outer.bottom() - inner.bottom()));
    form.reset();
    module.reset();
    const int right = room.right() + 1, bottom = room.bottom() + 1;
    const struct {
        const char *top, *left, *width, *height;
        QRect expected;
    } cases[] = {
        {"", "", "", "", QRect(right - 757, 124, 757, 661)},  // the designed bounds, moved in
        {"124", "256", "757", "661", QRect(right - 757, 124, 757, 661)},  // from a larger screen
        {"700", "100", "300", "300", QRect(100, bottom - 300, 300, 300)},
        {"", "", "2000000000", "", QRect(room.left(), 124, room.width(), 661)},
        {"10", "20", "2000000000", "2000000000", room},
        {"-50000", "", "", "", QRect(right - 757, 124, 757, 661)},
        {"", "50000", "", "", QRect(right - 757, 124, 757, 661)},
        {"-2000000000", "-2000000000", "2000000000", "2000000000", room},
        {"-600", "-700", "", "", QRect(room.topLeft(), QSize(757, 661))},
    };
    for (const auto& c : cases) {
        WriteSetting("top", c.top);
        WriteSetting("left", c.left);
        WriteSetting("width", c.width);
        WriteSetting("height", c.height);
        start();
        EXPECT_EQ(form->geometry(), c.expected) << c.top << ' ' << c.left << ' ' << c.width;
        EXPECT_TRUE(QRect(0, 0, 800, 800).contains(form->frameGeometry()));
        form->close();  // what closing writes back is on the screen too
        EXPECT_EQ(ReadSetting("width").toInt(), c.expected.width());
        EXPECT_EQ(ReadSetting("top").toInt(), c.expected.top());
        form.reset();
        module.reset();
    }
}

// The screen the window overlaps most takes it, within the frame the window
// manager adds; a window on no screen goes to the designed place.
TEST(ScreenFitTest, TheWindowLandsWhollyOnOneScreen) {
    const QRect small(0, 0, 1024, 768), wide(1024, 0, 1920, 1080), below(0, 768, 1024, 768);
    const QPoint designed(256, 124);
    const QMargins noFrame, frame(4, 30, 4, 4);
    const struct {
        QRect wanted;
        QList<QRect> screens;
        QMargins frame;
        QRect expected;
    } cases[] = {
        {{256, 124, 757, 661}, {small}, noFrame, {256, 107, 757, 661}},
        {{256, 124, 757, 661}, {small}, frame, {256, 103, 757, 661}},
        {{0, 0, 1024, 768}, {small}, frame, {4, 30, 1016, 734}},
        {{1500, 100, 1600, 1000}, {small, wide}, noFrame, {1344, 80, 1600, 1000}},
        {{900, 100, 757, 661}, {small, wide}, noFrame, {1024, 100, 757, 661}},
        {{300, 1200, 757, 661}, {small, wide, below}, noFrame, {267, 875, 757, 661}},
        {{5000, 5000, 757, 661}, {wide, small}, noFrame, {256, 107, 757, 661}},
        {{5000, 5000, 100, 100}, {}, noFrame, {5000, 5000, 100, 100}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitOnScreen(c.wanted.x(), c.wanted.y(), c.wanted.width(), c.wanted.height(),
                              c.screens, c.frame, designed),
                  c.expected)
            << c.wanted.x() << ',' << c.wanted.y();
}

TEST_F(TrackingWindowTest, ADatabaseThatCannotBeOpenedIsToldOnceAndTheWindowGoesOn) {
    QTemporaryDir dir;
    QFile empty(dir.filePath("vide.mdb"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    WriteSetting("sgbd", empty.fileName());
    start();
    ASSERT_EQ(boxes.errors.size(), 1) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(boxes.errors[0], "Impossible d'ouvrir la base de données « " + empty.fileName() +
                                   " » : ce n'est pas une base Tavix (table « clients » "
                                   "absente).\nChoisissez une base Tavix dans « Avancés > "
                                   "Paramètres ».");
    EXPECT_TRUE(boxes.confirms.isEmpty());
    EXPECT_FALSE(module->ADOConnection1.connected());
    EXPECT_EQ(form->RadioGroup1->count(), 0);
    EXPECT_TRUE(form->Panel2->findChildren<TColorButton*>(QRegularExpression("^BP_")).isEmpty());
    EXPECT_TRUE(form->ActivityHint->isHidden()) << "no editor to offer without a database";
    EXPECT_TRUE(form->ClientHint->isHidden());
    EXPECT_EQ(form->Label4->text(), "Lundi");

    // A command that needs the database says it is not open, and what to do.
    form->unesurveillance1->trigger();
    ASSERT_EQ(boxes.errors.size(), 2);
    EXPECT_EQ(boxes.errors[1],
              "Aucune base de données n'est ouverte.\nChoisissez une base Tavix dans « Avancés > "
              "Paramètres », puis relancez Tavix.");
    EXPECT_TRUE(modals.shown.isEmpty());
}

TEST_F(TrackingWindowTest, BadNumberSettingsAreReportedAndTheProgramGoesOn) {
    useSampleDatabase();
    settings().setValue("config", "12x");
    WriteSetting("left", "abc");
    start();
    EXPECT_EQ(form->Config, 0);
    EXPECT_EQ(boxes.errors, QStringList({"'12x' n'est pas une valeur entière correcte.",
                                         "'abc' n'est pas une valeur entière correcte."}));
    EXPECT_FALSE(module->ADOConnection1.connected()) << "the steps after the bad value do not run";
    EXPECT_TRUE(form->isVisible());
    form->Timer1Timer();
    EXPECT_EQ(form->Label3->text(), "09:00:00");
}

TEST_F(TrackingWindowTest, QuestionsAndErrorsOfTheStartStandInFrontOfTheWindow) {
    TempDatabase old({"CREATE TABLE clients (NOM TEXT(255))",
                      "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(255), ORDRE INTEGER)",
                      "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER)"});
    old.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
    const struct {
        const char* config;
        const char* left;
        int boxes;
    } cases[] = {
        {"", "", 1},        // the conversion question
        {"12x", "abc", 2},  // a bad value read at creation, another at the first showing
    };
    WriteSetting("sgbd", old.path());
    for (const auto& c : cases) {
        settings().setValue("config", c.config);
        WriteSetting("left", c.left);
        QStringList seen;
        boxes.whenShown = [&](const QString& text) {
            seen << (onScreen() ? "in front: " : "alone: ") + text.section('\r', 0, 0);
        };
        start();
        EXPECT_EQ(seen.size(), c.boxes) << c.config;
        for (const QString& box : seen)
            EXPECT_TRUE(box.startsWith("in front: ")) << box.toStdString();
        if (!*c.config) {
            EXPECT_EQ(form->RadioGroup1->count(), 1) << "the window is filled before the question";
        }
        boxes.whenShown = nullptr;
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingWindowTest, ARestartAcceptedAtTheStartEndsTheLoop) {
    TempDatabase old({"CREATE TABLE clients (NOM TEXT(255))",
                      "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(255), ORDRE INTEGER)",
                      "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
                      "COMMENTAIRE TEXT(255))"});
    WriteSetting("sgbd", old.path());
    boxes.answers = {true, true};
    module = std::make_unique<TDataModule2>();
    form = std::make_unique<TForm1>();
    form->show();
    // As the program's entry does: the first showing runs inside the loop.
    QEventLoop loop;
    bool stuck = false;
    QTimer::singleShot(20000, &loop, [&] {
        stuck = true;
        loop.quit();
    });
    loop.exec();
    QCoreApplication::processEvents();
    EXPECT_FALSE(stuck) << "the restart did not end the loop";
    EXPECT_TRUE(form->firstShowingRan());
    EXPECT_EQ(shell.started, QStringList{paths::executablePath()});
    EXPECT_TRUE(ReadSetting("width").isEmpty()) << "no ordinary closing";
}

TEST_F(TrackingWindowTest, F1WithAnyModifierOpensTheHelp) {
    useSampleDatabase();
    start();
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier,
                                               Qt::ControlModifier | Qt::AltModifier};
    for (auto m : modifiers) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, m);
        QCoreApplication::sendEvent(form->RadioGroup1, &press);
    }
    ASSERT_EQ(shell.opened.size(), 3);
    EXPECT_EQ(shell.opened[0], form->HelpPath);
    EXPECT_TRUE(form->HelpPath.endsWith("help/index.html"));
    form->Voirlaide1->trigger();
    EXPECT_EQ(shell.opened.size(), 4);
}

TEST_F(TrackingWindowTest, TheBandKeepsTheDarkStripHeight) {
    useSampleDatabase();
    start();
    for (const auto& [image, band] : {std::pair{603, 65}, {300, 32}, {661, 71}}) {
        form->Image1->resize(form->Image1->width(), image);
        form->FormResize();
        EXPECT_EQ(form->Shape1->height(), band) << image;
    }
}

TEST_F(TrackingWindowTest, OlderDatabaseIsConvertedOnRequest) {
    TempDatabase old({"CREATE TABLE clients (NOM TEXT(255))",
                      "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(255), ORDRE INTEGER)",
                      "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
                      "COMMENTAIRE TEXT(255))"});
    old.exec("INSERT INTO activites (TRAVAUX, CLIENT, DUREE) VALUES ('Appel', 'Dupont', 5)");
    WriteSetting("sgbd", old.path());
    const QString question =
        "Attention la version de votre base de données \r\nne correspond pas à cette version "
        "de TAVIX.\r\nVoulez-vous la convertir ?";

    boxes.answers = {false};
    start();
    EXPECT_EQ(boxes.confirms, QStringList{question});
    EXPECT_EQ(module->SchemaVersion(), 0) << "No leaves the file as it is";
    form.reset();
    module.reset();

    boxes.confirms.clear();
    boxes.answers = {true, true};
    start();
    EXPECT_EQ(boxes.informs, QStringList{"Conversion effectuée"});
    EXPECT_EQ(boxes.confirms.value(1),
              "Voulez-vous relancer l'application pour appliquer les modifications ?");
    EXPECT_EQ(shell.started, QStringList{paths::executablePath()});
    EXPECT_EQ(old.scalar("SELECT SURVEILLANCES || '/' || CLIENTS FROM activites"), "Appel/Dupont");
}

// ---- timing -------------------------------------------------------------------

TEST_F(TrackingWindowTest, StartTickAndStopStoreOneEntry) {
    useSampleDatabase();
    start();
    ASSERT_EQ(form->RadioGroup1->count(), 3);
    EXPECT_EQ(form->RadioGroup1->itemIndex(), -1);
    TColorButton* rd = button("BP_2");
    ASSERT_TRUE(rd);
    EXPECT_EQ(rd->text(), "R&&D") << "an & in a name is shown, not an accelerator";
    EXPECT_EQ(rd->y(), 100);

    rd->click();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_EQ(rd->Tag(), 9 * 3600 * 1000);
    EXPECT_EQ(form->Timing->start(), kMonday9h);
    EXPECT_EQ(form->Label5->text(), "R&D");
    EXPECT_TRUE(rd->isEnabled());
    EXPECT_FALSE(button("BP_1")->isEnabled());
    EXPECT_FALSE(button("BP_3")->isEnabled());
    EXPECT_TRUE(form->Commenter->isVisible());
    EXPECT_EQ(form->Commenter->y(), rd->y());

    QStringList icons;
    for (int i = 0; i < 3; ++i) {
        tick(1);
        icons << application::iconName();
    }
    EXPECT_EQ(icons, QStringList({"MAINICON", "ZORVA_ON", "MAINICON"}));
    EXPECT_TRUE(IconPhase) << "an odd number of ticks leaves the phase flipped";
    EXPECT_EQ(form->Label2->text(), "00:00:03");

    selectClient("Dupont \"&\" fils");
    EXPECT_EQ(form->Label6->text(), "Dupont \"&\" fils");
    clock.advance(1);  // a stop between two ticks counts up to the click
    rd->click();

    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].toString(), "");
    EXPECT_EQ(rows[0][1].toString(), "R&D");
    EXPECT_EQ(rows[0][2].toString(), "Dupont \"&\" fils");
    EXPECT_EQ(rows[0][3].toString(), "2026-03-02 09:00:00");
    EXPECT_EQ(rows[0][4].toString(), "2026-03-02 09:00:04");
    EXPECT_EQ(rows[0][5].toInt(), 4);
    EXPECT_FALSE(form->Timing->running());
    EXPECT_EQ(rd->Tag(), 0);
    EXPECT_EQ(form->Timing->elapsedSeconds(), 0);
    EXPECT_EQ(application::iconName(), "MAINICON");
    EXPECT_EQ(form->RadioGroup1->itemIndex(), -1);
    EXPECT_TRUE(form->Label5->text().isEmpty());
    EXPECT_TRUE(form->Label6->text().isEmpty());
    EXPECT_FALSE(form->Commenter->isVisible());
    for (const char* name : {"BP_1", "BP_2", "BP_3"}) EXPECT_TRUE(button(name)->isEnabled());
    EXPECT_EQ(form->Label2->text(), "00:00:03") << "the stopwatch keeps its last text";
}

TEST_F(TrackingWindowTest, TheStopwatchCountsElapsedSecondsNotTicks) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    tick(1);
    clock.advance(5);  // five seconds in which the loop delivered no tick
    form->Timer1Timer();
    EXPECT_EQ(form->Label2->text(), "00:00:06");
    clock.set(DateTime(QDate(2026, 3, 2), QTime(8, 0, 6)));  // the wall clock set back an hour
    tick(1);
    EXPECT_EQ(form->Label2->text(), "00:00:07");
    selectClient("Martin");
    button("BP_1")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][5].toInt(), 7);
}

TEST_F(TrackingWindowTest, StopBeforeTheFirstTickStoresZeroAndMidnightStartsStillRun) {
    useSampleDatabase();
    clock.set(DateTime(QDate(2026, 3, 2), QTime(0, 0)));
    start();
    button("BP_1")->click();
    EXPECT_NE(button("BP_1")->Tag(), 0) << "a start at exactly midnight is still a start";
    selectClient("Martin");
    button("BP_1")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][3].toString(), "2026-03-02 00:00:00");
    EXPECT_EQ(rows[0][5].toInt(), 0);
}

TEST_F(TrackingWindowTest, TheCommentIsStoredAfterTheBoxIsClosed) {
    useSampleDatabase();
    start();
    button("BP_3")->click();
    form->Commenter->click();
    EXPECT_TRUE(form->RichEdit->isVisible());
    EXPECT_EQ(form->Commenter->text(), "&Fermer");
    for (const char* name : {"BP_1", "BP_2"}) EXPECT_FALSE(button(name)->isVisible());
    EXPECT_TRUE(button("BP_3")->isVisible()) << "the timed button stays, to stop from the box";
    form->RichEdit->setPlainText("Devis \"urgent\"\nl'après-midi");
    tick(2);
    form->Commenter->click();
    EXPECT_FALSE(form->RichEdit->isVisible());
    EXPECT_EQ(form->Commenter->text(), "&Commenter");
    EXPECT_TRUE(button("BP_3")->isVisible());
    EXPECT_FALSE(button("BP_1")->isEnabled()) << "showing keeps the lock";
    selectClient("L'Oréal");
    button("BP_3")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1].toString(), "Appel d'offre");
    EXPECT_EQ(rows[0][6].toString(), "Devis \"urgent\"\nl'après-midi");
    EXPECT_TRUE(form->RichEdit->toPlainText().isEmpty());
}

TEST_F(TrackingWindowTest, UserIsLoggedOnlyWhenAskedAndNotBlank) {
    const struct {
        const char* config;
        const char* user;
        const char* logged;
    } cases[] = {
        {"256", "Poste1", "Poste1"}, {"256", " Poste 2 ", " Poste 2 "},
        {"256", "   ", ""},          {"256", "", ""},
        {"0", "Poste1", ""},
    };
    useSampleDatabase();
    for (const auto& c : cases) {
        settings().setValue("config", c.config);
        WriteSetting("user", c.user);
        start();
        button("BP_1")->click();
        selectClient("Martin");
        button("BP_1")->click();
        EXPECT_EQ(entries().back()[0].toString(), c.logged) << c.config << " '" << c.user << "'";
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingWindowTest, ARefusedInsertKeepsTheTimingAndItsComment) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    tick(2);
    form->RichEdit->setPlainText("à garder");
    selectClient("Martin");
    db.exec("ALTER TABLE activites RENAME TO ailleurs");
    button("BP_1")->click();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(form->Timing->running());
    EXPECT_NE(button("BP_1")->Tag(), 0);
    EXPECT_FALSE(button("BP_2")->isEnabled());
    EXPECT_EQ(form->Timing->elapsedSeconds(), 2);
    EXPECT_EQ(form->RichEdit->toPlainText(), "à garder");
    EXPECT_EQ(form->RadioGroup1->selectedText(), "Martin");

    db.exec("ALTER TABLE ailleurs RENAME TO activites");
    tick(1);
    button("BP_1")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][5].toInt(), 3);
    EXPECT_EQ(rows[0][6].toString(), "à garder");
    EXPECT_FALSE(form->Timing->running());
}

TEST_F(TrackingWindowTest, ADatabaseLockedByAnotherCopyIsRetriedByTheNextClick) {
    useSampleDatabase();
    start();
    module->ADOConnection1.setBusyTimeout(100);
    button("BP_1")->click();
    tick(1);
    selectClient("Martin");
    {
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        button("BP_1")->click();
        sqlite3_close(other);  // rolls the other copy's transaction back
    }
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(form->Timing->running());
    button("BP_1")->click();
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_FALSE(form->Timing->running());
}

TEST_F(TrackingWindowTest, AVanishedDatabaseFileIsAnErrorNotALostEntry) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    tick(1);
    selectClient("Martin");
    ASSERT_TRUE(QFile::remove(db.path()));
    button("BP_1")->click();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("introuvable")) << boxes.errors[0].toStdString();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_EQ(form->Timing->elapsedSeconds(), 1);
}

TEST_F(TrackingWindowTest, ActivitiesThatDoNotFitScroll) {
    for (int i = 1; i <= 20; ++i)
        db.exec(
            QString("INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (%1, 'Tâche %1', %1)").arg(i));
    db.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
    WriteSetting("sgbd", db.path());
    start();
    auto* bar = form->findChild<QScrollBar*>("ActivityScroll");
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isVisible()) << "20 buttons do not fit in " << form->Panel2->height();
    EXPECT_EQ(button("BP_1")->y(), 100) << "the column starts where it always did";
    const auto shown = [&](QWidget* w) {
        const QRect area(w->mapTo(form->Panel2, QPoint(0, 0)), w->size());
        return area.top() >= 90 && area.bottom() < form->Panel2->height();
    };
    TColorButton* last = button("BP_20");
    EXPECT_FALSE(shown(last));

    // The wheel turned over the column (a button passes it on to it).
    QWidget* column = button("BP_3")->parentWidget();
    const QPointF at = button("BP_3")->geometry().center();
    QWheelEvent down(at, column->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(column, &down);
    EXPECT_GT(bar->value(), 0);
    bar->setValue(0);

    // The keyboard: the focus reaching the last button brings it into view.
    last->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(shown(last));
    last->click();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_TRUE(shown(form->Commenter)) << "\"&Commenter\" stands beside the timed button";
    EXPECT_EQ(form->Commenter->y(), last->y());

    // A few activities need no scrolling.
    form.reset();
    module.reset();
    db.exec("DELETE FROM travaux WHERE ID > 3");
    start();
    EXPECT_FALSE(form->findChild<QScrollBar*>("ActivityScroll")->isVisible());
}

// ---- stop without a selected client ------------------------------------------

TEST_F(TrackingWindowTest, ChooserClosedWithoutAChoiceKeepsTheTimingGoing) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    form->RichEdit->setPlainText("note");
    tick(2);
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        EXPECT_EQ(chooser.windowTitle(), "Client non sélectionné");
        EXPECT_EQ(chooser.RadioGroup1->count(), 3);
        EXPECT_EQ(chooser.RadioGroup1->itemIndex(), -1);
        chooser.ColorButton2->click();
        return chooser.result();
    });
    button("BP_1")->click();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm11"});
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(form->Timing->running());
    EXPECT_TRUE(form->Commenter->isVisible()) << "the window stays as before the stop";
    EXPECT_EQ(form->Label5->text(), "Saisie");

    tick(1);
    selectClient("Martin");
    button("BP_1")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2].toString(), "Martin");
    EXPECT_EQ(rows[0][3].toString(), "2026-03-02 09:00:00");
    EXPECT_EQ(rows[0][5].toInt(), 3);
    EXPECT_EQ(rows[0][6].toString(), "note");
}

TEST_F(TrackingWindowTest, ChooserPicksAnExistingClient) {
    useSampleDatabase();
    start();
    button("BP_2")->click();
    tick(2);
    ASSERT_EQ(application::iconName(), "ZORVA_ON");
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.RadioGroup1->setItemIndex(
            static_cast<int>(chooser.RadioGroup1->items().indexOf("L'Oréal")));
        chooser.Edit1->setText("ignoré");
        chooser.ColorButton1->click();
        return chooser.result();
    });
    button("BP_2")->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2].toString(), "L'Oréal");
    EXPECT_EQ(application::iconName(), "MAINICON") << "nothing timed: the normal icon";
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "no client added, no restart question";
    EXPECT_EQ(db.scalar("SELECT count(*) FROM clients"), "3");
    EXPECT_FALSE(form->Timing->running());
}

TEST_F(TrackingWindowTest, ChooserAddsANewClientThenOffersTheRestart) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    tick(1);
    const QString typed = "Nouveau \"client\" d'Or";
    modals.scripts.push_back([&](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.Edit1->setText(typed);
        chooser.ColorButton1->click();
        EXPECT_TRUE(chooser.ClientAdded);
        return chooser.result();
    });
    boxes.answers = {true};
    button("BP_1")->click();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM clients WHERE NOM = 'Nouveau \"client\" d''Or'"),
              "1");
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2].toString(), typed);
    EXPECT_EQ(boxes.confirms,
              QStringList{"Voulez-vous relancer l'application pour appliquer les modifications ?"});
    EXPECT_EQ(shell.started, QStringList{paths::executablePath()});
    EXPECT_TRUE(application::terminated());
    EXPECT_EQ(form->RadioGroup1->count(), 3) << "the new client shows after the restart";
}

TEST_F(TrackingWindowTest, ARefusedInsertAfterTheChooserKeepsItsAnswerForTheRetry) {
    const struct {
        const char* typed;  // empty: pick Martin in the list
        QString stored;
        int restartQuestions;
    } cases[] = {{"", "Martin", 0}, {"Nouveau", "Nouveau", 1}};
    useSampleDatabase();
    for (const auto& c : cases) {
        start();
        button("BP_1")->click();
        tick(2);
        modals.shown.clear();
        boxes.confirms.clear();
        boxes.errors.clear();
        modals.scripts.push_back([&](QDialog& d) {
            auto& chooser = dynamic_cast<TForm11&>(d);
            if (*c.typed)
                chooser.Edit1->setText(c.typed);
            else
                chooser.RadioGroup1->setItemIndex(
                    static_cast<int>(chooser.RadioGroup1->items().indexOf("Martin")));
            chooser.ColorButton1->click();
            return chooser.result();
        });
        db.exec("ALTER TABLE activites RENAME TO ailleurs");
        button("BP_1")->click();
        EXPECT_EQ(boxes.errors.size(), 1) << c.typed;
        EXPECT_TRUE(form->Timing->running());
        EXPECT_TRUE(boxes.confirms.isEmpty()) << "no restart before the entry is stored";

        db.exec("ALTER TABLE ailleurs RENAME TO activites");
        tick(1);
        boxes.answers = {false};
        button("BP_1")->click();
        EXPECT_EQ(modals.shown.size(), 1) << "the retry does not ask again";
        EXPECT_FALSE(form->Timing->running());
        EXPECT_EQ(entries().back()[2].toString(), c.stored);
        EXPECT_EQ(entries().back()[5].toInt(), 3);
        EXPECT_EQ(boxes.confirms.size(), c.restartQuestions) << c.typed;

        // The next timing asks afresh.
        button("BP_1")->click();
        button("BP_1")->click();
        EXPECT_EQ(modals.shown.size(), 2);
        EXPECT_TRUE(form->Timing->running());
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingWindowTest, ChooserWithAnExistingNameTypedStaysOpen) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.Edit1->setText("Martin");
        chooser.ColorButton1->click();
        EXPECT_TRUE(chooser.isVisible());
        EXPECT_FALSE(chooser.ClientAdded);
        chooser.Edit1->clear();
        chooser.ColorButton1->click();  // empty: nothing happens either
        EXPECT_TRUE(chooser.isVisible());
        chooser.ColorButton2->click();
        return chooser.result();
    });
    button("BP_1")->click();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM clients"), "3");
    EXPECT_TRUE(entries().empty());
}

TEST_F(TrackingWindowTest, RestartAnsweredNoKeepsRunningAndYesEndsWithoutStoring) {
    useSampleDatabase();
    start();
    button("BP_1")->click();
    boxes.answers = {false, true};
    form->relance();
    EXPECT_TRUE(shell.started.isEmpty());
    form->relance();
    EXPECT_EQ(shell.started, QStringList{paths::executablePath()});
    EXPECT_TRUE(application::terminated());
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(ReadSetting("width").isEmpty()) << "no ordinary closing";

    shell.startResult = false;
    boxes.answers = {true};
    form->relance();  // a program that cannot be started again still ends
    EXPECT_EQ(shell.started.size(), 2);
}

// ---- access code and settings -------------------------------------------------

TEST_F(TrackingWindowTest, StartupLoginOnlyWithACodeAndUnlockedSettings) {
    const struct {
        const char *user, *password, *config;
        bool asked;
    } cases[] = {{"Poste1", "secret", "", true},
                 {"Poste1", "", "", false},
                 {"", "secret", "", false},
                 {"Poste1", "secret", "16", false},
                 {"Poste1", "secret", "256", true}};
    for (const auto& c : cases) {
        WriteSetting("user", c.user);
        WriteSetting("pwd", *c.password ? DigestHex(c.password) : QString());
        WriteSetting("config", c.config);
        modals.shown.clear();
        modals.scripts.push_back([](QDialog& d) {
            auto& login = dynamic_cast<TForm8&>(d);
            login.Edit1->setText("Poste1");
            login.Edit2->setText("secret");
            login.Button1->click();
            return login.result();
        });
        start();
        EXPECT_EQ(modals.shown, c.asked ? QStringList{"tavix::TForm8"} : QStringList{})
            << c.user << "/" << c.password << "/" << c.config;
        if (!c.asked) modals.scripts.clear();
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingWindowTest, AStartupLoginThatGivesUpEndsBeforeTheSchemaCheck) {
    TempDatabase old({"CREATE TABLE clients (NOM TEXT(255))",
                      "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(255), ORDRE INTEGER)",
                      "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                      "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
                      "COMMENTAIRE TEXT(255))"});
    WriteSetting("sgbd", old.path());
    WriteSetting("user", "Poste1");
    WriteSetting("pwd", DigestHex("secret"));
    modals.scripts.push_back([](QDialog& d) {
        auto& login = dynamic_cast<TForm8&>(d);
        for (int i = 0; i < 4; ++i) {
            login.Edit1->setText("Poste1");
            login.Edit2->setText("devine");
            login.Button1->click();
        }
        return login.result();
    });
    start();
    EXPECT_TRUE(application::terminated());
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "no conversion offered to a stranger";
}

TEST_F(TrackingWindowTest, SettingsCommand) {
    const struct {
        const char* config;
        const char* window;  // opened by "Paramètres"
        int result;          // the window's result
        int questions;       // restart questions asked
    } cases[] = {{"", "tavix::TForm7", QDialog::Accepted, 1},
                 {"1", "tavix::TForm7", QDialog::Rejected, 0},
                 {"16", "tavix::TForm9", QDialog::Rejected, 0},
                 {"abc", nullptr, 0, 0}};
    start();
    for (const auto& c : cases) {
        WriteSetting("config", c.config);
        modals.shown.clear();
        boxes.confirms.clear();
        boxes.errors.clear();
        modals.scripts.push_back([&](QDialog&) { return c.result; });
        form->Verrouiller->trigger();
        EXPECT_EQ(modals.shown, c.window ? QStringList{c.window} : QStringList{}) << c.config;
        EXPECT_EQ(boxes.confirms.size(), c.questions) << c.config;
        if (!c.window) {
            EXPECT_EQ(boxes.errors, QStringList{"'abc' n'est pas une valeur entière correcte."});
            modals.scripts.clear();
        }
    }
}

}  // namespace

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QWidget>

#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "common/Unprivileged.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "data/engine/EngineError.h"
#include "data/engine/sqlite/SqliteBackend.h"
#include "settings/Colors.h"
#include "settings/outils.h"

using namespace tavix;
using test::TempDatabase;

namespace {

void clearSettings() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
}

class DataModuleTest : public ::testing::Test {
protected:
    void SetUp() override { clearSettings(); }
    bool open(const QString& path) {
        module.DatabasePath = path;
        return module.OpenDatabase();
    }
    test::ScriptedBoxes boxes;
    TempDatabase db;
    TDataModule2 module;
    QWidget panel;
};

TEST_F(DataModuleTest, OpenDatabaseSucceedsOnlyForAnExistingDatabase) {
    TempDatabase spaced({}, "base avec blancs.mdb");
    TempDatabase semicolon({}, "a;b.mdb");
    TempDatabase quotes({}, "l'ami \"x\";y.mdb");
    QTemporaryDir dir;
    QFile text(dir.filePath("notes.mdb"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a database file, only some text long enough to be read by it");
    text.close();

    const struct {
        QString path;
        bool opens;
    } cases[] = {
        {db.path(), true},        {spaced.path(), true},
        {QString(), false},       {dir.filePath("absent.mdb"), false},
        {text.fileName(), false}, {dir.filePath("a;b.mdb"), false},
        {semicolon.path(), true}, {quotes.path(), true},
    };
    for (const auto& c : cases) {
        TDataModule2 fresh;
        fresh.DatabasePath = c.path;
        EXPECT_EQ(fresh.OpenDatabase(), c.opens) << c.path.toStdString();
        EXPECT_EQ(fresh.ADOConnection1.connected(), c.opens);
        if (c.opens) {
            EXPECT_EQ(fresh.ADOConnection1.fileName(), c.path);
        }
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("absent.mdb"))) << "a missing file is never created";
}

// A file that cannot be opened is refused with one message naming it and
// the cause, in French; the connection stays closed.
TEST_F(DataModuleTest, OpenDatabaseTellsWhichFileAndWhy) {
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.mdb");
    const QString empty = dir.filePath("vide.mdb");
    for (const QString& path : {text, empty}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (path == text)
            f.write(QByteArray("Ceci n'est pas une base de données.\n").repeated(200));
    }
    const QString activites =
        "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, DEBUT DATETIME, FIN "
        "DATETIME, DUREE INTEGER, COMMENTAIRE TEXT(255))";
    TempDatabase noTravaux({"CREATE TABLE clients (NOM TEXT(255))", activites});
    TempDatabase noOrdre({"CREATE TABLE clients (NOM TEXT(255))",
                          "CREATE TABLE travaux (ID INTEGER PRIMARY KEY, TRAVAUX TEXT(255))",
                          activites});
    TempDatabase locked;
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(locked.path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    const struct {
        QString path;
        QString cause;
    } cases[] = {
        {dir.filePath("absente.mdb"), "fichier introuvable"},
        {dir.path(), "c'est un dossier"},
        {text, "ce fichier n'est pas une base de données"},
        {empty, "ce n'est pas une base Tavix (table « clients » absente)"},
        {noTravaux.path(), "ce n'est pas une base Tavix (table « travaux » absente)"},
        {noOrdre.path(), "(colonne « ORDRE » absente de la table « travaux »)"},
        {locked.path(), "le fichier est verrouillé par un autre programme"},
    };
    for (const auto& c : cases) {
        boxes.errors.clear();
        TDataModule2 fresh;
        fresh.ADOConnection1.setBusyTimeout(100);
        fresh.DatabasePath = c.path;
        EXPECT_FALSE(fresh.OpenDatabase()) << c.path.toStdString();
        EXPECT_FALSE(fresh.ADOConnection1.connected());
        ASSERT_EQ(boxes.errors.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(boxes.errors[0].startsWith("Impossible d'ouvrir la base de données « " +
                                               c.path + " » : "))
            << boxes.errors[0].toStdString();
        EXPECT_TRUE(boxes.errors[0].contains(c.cause)) << boxes.errors[0].toStdString();
    }
    sqlite3_close(other);
    EXPECT_EQ(QFileInfo(empty).size(), 0) << "an empty file is not made a database";
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("absente.mdb")));
}

// A database that could not be written when it was opened: the refusal
// names the file, and once the cause is fixed the next attempt goes through.
TEST_F(DataModuleTest, AReadOnlyDatabaseIsNamedAndARetryAfterTheFixSucceeds) {
    using P = QFileDevice::Permission;
    const QFileDevice::Permissions readOnly =
        P::ReadOwner | P::ReadGroup | P::ReadOther | P::ExeOwner | P::ExeGroup | P::ExeOther;
    const QFileDevice::Permissions all = readOnly | P::WriteOwner | P::WriteGroup | P::WriteOther;
    const struct {
        const char* what;
        bool folderReadOnly;
        QString cause;
    } cases[] = {
        {"file", false, "le fichier est en lecture seule"},
        {"folder", true, "son dossier est en lecture seule"},
    };
    const DateTime start(QDate(2026, 3, 2), QTime(9, 0));
    for (const auto& c : cases) {
        TempDatabase base;
        ASSERT_TRUE(QFile::setPermissions(base.folder(), c.folderReadOnly ? readOnly : all));
        ASSERT_TRUE(QFile::setPermissions(base.path(), c.folderReadOnly ? all : readOnly));
        TDataModule2 fresh;
        fresh.DatabasePath = base.path();
        {
            test::Unprivileged user;
            ASSERT_TRUE(fresh.OpenDatabase()) << c.what;
            try {
                fresh.AddLogEntry("", "Martin", "Saisie", start, start.addSecs(5), 5, "");
                ADD_FAILURE() << c.what << ": the entry went into a read-only database";
            } catch (const db::EngineError& e) {
                EXPECT_EQ(e.message(), "Impossible d'écrire dans la base de données « " +
                                           base.path() + " » : " + c.cause +
                                           ".\nDonnez-vous le droit d'écrire dans ce fichier et "
                                           "son dossier, puis recommencez.");
            }
        }
        ASSERT_TRUE(QFile::setPermissions(base.folder(), all));
        ASSERT_TRUE(QFile::setPermissions(base.path(), all));
        {
            test::Unprivileged user;
            fresh.AddLogEntry("", "Martin", "Saisie", start, start.addSecs(5), 5, "");
        }
        EXPECT_EQ(base.scalar("SELECT count(*) FROM activites"), "1") << c.what;
    }
}

TEST_F(DataModuleTest, ActivityButtonsFollowOrdreWithTheirNamesAndColours) {
    db.exec(
        "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (3, 'Trente', 30), (7, 'Dix', 10), "
        "(12, 'R&D \"x\"', 20)");
    ASSERT_TRUE(open(db.path()));
    int clicked = 0;
    const quint16 count =
        module.CreateActivityButtons(&panel, 100, 150, 40, 241, [&](TColorButton*) { ++clicked; });
    ASSERT_EQ(count, 3);
    ASSERT_EQ(module.ActivityButtons.size(), 3);
    const struct {
        const char* name;
        QString caption;
        int top;
    } expected[] = {{"BP_7", "Dix", 100}, {"BP_12", "R&D \"x\"", 150}, {"BP_3", "Trente", 200}};
    for (int i = 0; i < 3; ++i) {
        TColorButton* b = module.ActivityButtons[i];
        EXPECT_EQ(b->objectName(), expected[i].name);
        EXPECT_EQ(captionText(b->text()), expected[i].caption);
        EXPECT_EQ(b->geometry(), QRect(150, expected[i].top, 241, 40));
        EXPECT_EQ(b->parentWidget(), &panel);
        EXPECT_EQ(b->BackColor(), clSkyBlue);
        EXPECT_EQ(b->ForeColor(), clBlack);
        EXPECT_EQ(b->HoverColor(), clSilver);
        EXPECT_EQ(b->BorderColor(), clHotLight);
        EXPECT_EQ(b->Tag(), 0);
    }
    module.ActivityButtons[1]->click();
    EXPECT_EQ(clicked, 1);
}

TEST_F(DataModuleTest, NoActivitiesMakeNoButton) {
    ASSERT_TRUE(open(db.path()));
    EXPECT_EQ(module.CreateActivityButtons(&panel, 100, 150, 40, 241, {}), 0);
    EXPECT_TRUE(panel.findChildren<TColorButton*>().isEmpty());
}

TEST_F(DataModuleTest, ButtonColoursComeFromTheSettings) {
    db.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('A', 1), ('B', 2)");
    ASSERT_TRUE(open(db.path()));
    const struct {
        const char* back;
        const char* fore;
        TColor expectedBack;
        TColor expectedFore;
    } cases[] = {
        {"CLRED", "clWhite", clRed, clWhite},
        {"   ", "", clSkyBlue, clBlack},
        {"$00FF8040", "255", 0x00FF8040, 255},
    };
    for (const auto& c : cases) {
        WriteSetting("couleur fond", c.back);
        WriteSetting("couleur texte", c.fore);
        QWidget p;
        module.ActivityButtons.clear();
        module.CreateActivityButtons(&p, 100, 150, 40, 241, {});
        ASSERT_EQ(module.ActivityButtons.size(), 2);
        EXPECT_EQ(module.ActivityButtons[1]->BackColor(), c.expectedBack) << c.back;
        EXPECT_EQ(module.ActivityButtons[1]->ForeColor(), c.expectedFore) << c.fore;
    }
}

TEST_F(DataModuleTest, BadColourSettingIsToldOnceAndEveryButtonIsMadeInTheDefaults) {
    db.exec("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('A', 1), ('B', 2), ('C', 3)");
    ASSERT_TRUE(open(db.path()));
    const struct {
        const char* back;
        const char* fore;
        TColor expectedBack, expectedFore;
        const char* error;
    } cases[] = {
        {" clRed", "", clSkyBlue, clBlack, "' clRed' n'est pas une valeur entière correcte."},
        {"clRed", "clBrun", clRed, clBlack, "'clBrun' n'est pas une valeur entière correcte."},
        {"x", "y", clSkyBlue, clBlack, "'x' n'est pas une valeur entière correcte."},
    };
    for (const auto& c : cases) {
        boxes.errors.clear();
        WriteSetting("couleur fond", c.back);
        WriteSetting("couleur texte", c.fore);
        QWidget p;
        module.ActivityButtons.clear();
        EXPECT_EQ(module.CreateActivityButtons(&p, 100, 150, 40, 241, {}), 3);
        EXPECT_EQ(boxes.errors, QStringList{c.error});
        ASSERT_EQ(module.ActivityButtons.size(), 3);
        for (const auto& b : module.ActivityButtons) {
            EXPECT_EQ(b->BackColor(), c.expectedBack) << c.back;
            EXPECT_EQ(b->ForeColor(), c.expectedFore) << c.fore;
        }
        EXPECT_EQ(module.ActivityButtons[2]->y(), 200);
    }
}

TEST_F(DataModuleTest, LockHideShowUnlock) {
    db.exec(
        "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'a', 1), (12, 'b', 2), (123, 'c', 3)");
    ASSERT_TRUE(open(db.path()));
    module.CreateActivityButtons(&panel, 100, 150, 40, 241, {});
    panel.show();
    const auto enabled = [&] {
        QString s;
        for (auto& b : module.ActivityButtons) s += b->isEnabled() ? '1' : '0';
        return s;
    };
    module.LockOtherButtons("BP_12");
    EXPECT_EQ(enabled(), "010");
    module.HideActivityButtons();
    for (auto& b : module.ActivityButtons) EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(enabled(), "010") << "hiding keeps the enabled states";
    module.ShowActivityButtons();
    for (auto& b : module.ActivityButtons) EXPECT_TRUE(b->isVisible());
    module.LockOtherButtons("bp_12");
    EXPECT_EQ(enabled(), "000");
    module.UnlockButtons();
    EXPECT_EQ(enabled(), "111");
}

TEST_F(DataModuleTest, FillClientsAppendsEveryName) {
    db.exec("INSERT INTO clients (NOM) VALUES ('Dupont & fils'), ('L''Oréal'), ('\"Guillemets\"')");
    ASSERT_TRUE(open(db.path()));
    TRadioGroup group("Clients / dossiers");
    module.FillClients(group);
    module.FillClients(group);
    ASSERT_EQ(group.count(), 6);
    QStringList names = group.items().mid(0, 3);
    names.sort();
    EXPECT_EQ(names, QStringList({"\"Guillemets\"", "Dupont & fils", "L'Oréal"}));
    EXPECT_EQ(group.itemIndex(), -1);
}

// The tracking window's client list and the chooser's, both filled here.
TEST_F(DataModuleTest, FillClientsListsTheNamesAsADictionaryDoes) {
    db.exec(
        "INSERT INTO clients (NOM) VALUES ('L''Atelier'), ('Zoé'), ('alpha'), ('beta'), ('Éric')");
    ASSERT_TRUE(open(db.path()));
    TRadioGroup group("Clients / dossiers");
    module.FillClients(group);
    EXPECT_EQ(group.items(), QStringList({"alpha", "beta", "Éric", "L'Atelier", "Zoé"}));
}

TEST_F(DataModuleTest, LogEntryStoresValuesAsTypedAndDatesAsIso) {
    ASSERT_TRUE(open(db.path()));
    const struct {
        QString user, client, activity, comment;
        DateTime start, end;
        int duration;
        const char* isoStart;
        const char* isoEnd;
    } cases[] = {
        {"", "Client", "Saisie", "", DateTime(QDate(2009, 12, 25), QTime(0, 0)),
         DateTime(QDate(2009, 12, 25), QTime(0, 0, 9)), 0, "2009-12-25 00:00:00",
         "2009-12-25 00:00:09"},
        {"Poste1", "Dupont \"et\" fils", "Appel d'offre", "Il a dit \"oui\"\r\nl'après-midi",
         DateTime(QDate(2026, 3, 29), QTime(1, 59, 0)),
         DateTime(QDate(2026, 3, 29), QTime(2, 30, 0)), 1860, "2026-03-29 01:59:00",
         "2026-03-29 02:30:00"},
    };
    for (const auto& c : cases) {
        module.AddLogEntry(c.user, c.client, c.activity, c.start, c.end, c.duration, c.comment);
        const auto row = db.rows(
            "SELECT USER, CLIENTS, SURVEILLANCES, DEBUT, FIN, DUREE, COMMENTAIRE "
            "FROM activites ORDER BY ID DESC LIMIT 1")[0];
        EXPECT_EQ(row[0].toString(), c.user);
        EXPECT_EQ(row[1].toString(), c.client);
        EXPECT_EQ(row[2].toString(), c.activity);
        EXPECT_EQ(row[3].toString(), c.isoStart);
        EXPECT_EQ(row[4].toString(), c.isoEnd);
        EXPECT_EQ(row[5].toInt(), c.duration);
        EXPECT_EQ(row[6].toString(), c.comment);
    }
}

TEST_F(DataModuleTest, FailedLogEntryTouchesNothingStored) {
    ASSERT_TRUE(open(db.path()));
    module.AddLogEntry("", "a", "b", DateTime(), DateTime(), 1, "");
    db.exec("ALTER TABLE activites RENAME TO gone");
    EXPECT_THROW(module.AddLogEntry("", "a", "b", DateTime(), DateTime(), 1, ""), db::EngineError);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM gone"), "1");
}

// ---- schema conversion ------------------------------------------------------

const QString kClients = "CREATE TABLE clients (NOM TEXT(255))";
const QString kTravaux =
    "CREATE TABLE travaux (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX TEXT(255), ORDRE INTEGER)";

struct ConversionCase {
    const char* name;
    QString activites;  // CREATE TABLE of an older layout
    int version;
    const char* message;
    QStringList columnsAfter;  // sorted
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class ConversionTest : public ::testing::TestWithParam<ConversionCase> {
protected:
    void SetUp() override { clearSettings(); }
};

TEST_P(ConversionTest, ConvertsEachStepOnItsOwn) {
    const ConversionCase& c = GetParam();
    TempDatabase db({kClients, kTravaux, c.activites});
    test::ScriptedBoxes boxes;
    TDataModule2 module;
    module.DatabasePath = db.path();
    ASSERT_TRUE(module.OpenDatabase());
    EXPECT_EQ(module.SchemaVersion(), c.version);
    module.ConvertSchema(module.SchemaVersion());
    EXPECT_EQ(boxes.informs, QStringList{c.message});
    QStringList columns;
    for (const auto& r : db.rows("SELECT name FROM pragma_table_info('activites')"))
        columns << r[0].toString();
    columns.sort();
    EXPECT_EQ(columns, c.columnsAfter);
}

const QStringList kCurrent = {"CLIENTS", "COMMENTAIRE", "DEBUT",         "DUREE",
                              "FIN",     "ID",          "SURVEILLANCES", "USER"};

INSTANTIATE_TEST_SUITE_P(
    Layouts, ConversionTest,
    ::testing::Values(
        ConversionCase{"LacksUser",
                       "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "SURVEILLANCES TEXT(32), CLIENTS TEXT(255), DEBUT DATETIME, FIN DATETIME, "
                       "DUREE INTEGER, COMMENTAIRE TEXT(255))",
                       6, "Conversion effectuée", kCurrent},
        ConversionCase{"Oldest",
                       "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                       "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
                       "COMMENTAIRE TEXT(255))",
                       0, "Conversion effectuée", kCurrent},
        // "user" in another case is not counted, and adding USER then fails;
        // the other two steps still run.
        ConversionCase{
            "UserInOtherCase",
            "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
            "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
            "COMMENTAIRE TEXT(255), user TEXT(255))",
            0,
            "Erreur de conversion",
            {"CLIENTS", "COMMENTAIRE", "DEBUT", "DUREE", "FIN", "ID", "SURVEILLANCES", "user"}},
        // Neither TRAVAUX nor SURVEILLANCES: the copy fails and the step is
        // undone as a whole, leaving no column temp behind.
        ConversionCase{"NoActivityColumn",
                       "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, CLIENTS "
                       "TEXT(255), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, COMMENTAIRE "
                       "TEXT(255), [USER] TEXT(255))",
                       5,
                       "Erreur de conversion",
                       {"CLIENTS", "COMMENTAIRE", "DEBUT", "DUREE", "FIN", "ID", "USER"}}),
    [](const auto& param) { return std::string(param.param.name); });

// The version comes from the table's declaration: no statement reads the
// log's rows, so the check costs the same whatever the log's length.
TEST(SchemaVersionTest, ReadsNoRowOfTheLog) {
    clearSettings();
    TempDatabase db;
    db.exec(
        "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
        "('a', 'b', '2009-12-25 08:00:00', '2009-12-25 08:10:00', 600)");
    TDataModule2 module;
    module.DatabasePath = db.path();
    ASSERT_TRUE(module.OpenDatabase());
    QStringList statements;
    const auto record = [](unsigned, void* context, void*, void* sql) {
        static_cast<QStringList*>(context)->append(QString::fromUtf8(static_cast<char*>(sql)));
        return 0;
    };
    sqlite3_trace_v2(db::sqlite::handleOf(module.ADOConnection1), SQLITE_TRACE_STMT, record,
                     &statements);
    EXPECT_EQ(module.SchemaVersion(), 7);
    sqlite3_trace_v2(db::sqlite::handleOf(module.ADOConnection1), 0, nullptr, nullptr);
    const QRegularExpression readsRows(R"(\bFROM\b.*activites)",
                                       QRegularExpression::CaseInsensitiveOption);
    for (const QString& statement : statements)
        EXPECT_FALSE(statement.contains(readsRows)) << statement.toStdString();

    db.exec("ALTER TABLE activites RENAME TO ailleurs");
    EXPECT_THROW(module.SchemaVersion(), db::EngineError);
    module.ADOConnection1.close();
    EXPECT_THROW(module.SchemaVersion(), db::EngineError);
}

TEST(ConversionValuesTest, OldRowsKeepTheirValuesAndAFailedStepCanBeRetried) {
    clearSettings();
    TempDatabase db({kClients, kTravaux,
                     "CREATE TABLE activites (ID INTEGER PRIMARY KEY AUTOINCREMENT, TRAVAUX "
                     "TEXT(32), CLIENT TEXT(32), DEBUT DATETIME, FIN DATETIME, DUREE INTEGER, "
                     "COMMENTAIRE TEXT(255))"});
    db.exec(
        "INSERT INTO activites (TRAVAUX, CLIENT, DEBUT, FIN, DUREE, COMMENTAIRE) VALUES "
        "('Appel', 'Dupont', '2009-12-25 08:00:00', '2009-12-25 08:10:00', 600, 'c1'), "
        "('Devis', 'Martin', '2009-12-26 09:00:00', '2009-12-26 09:00:30', 30, NULL)");
    test::ScriptedBoxes boxes;
    TDataModule2 module;
    module.DatabasePath = db.path();
    ASSERT_TRUE(module.OpenDatabase());
    module.ConvertSchema(module.SchemaVersion());
    EXPECT_EQ(module.SchemaVersion(), 7);
    const auto rows =
        db.rows("SELECT SURVEILLANCES, CLIENTS, DUREE, USER FROM activites ORDER BY ID");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].toString(), "Appel");
    EXPECT_EQ(rows[0][1].toString(), "Dupont");
    EXPECT_EQ(rows[1][0].toString(), "Devis");
    EXPECT_EQ(rows[1][1].toString(), "Martin");
    EXPECT_EQ(rows[1][2].toString(), "30");

    // With the activity column gone the change fails; it leaves no temp, so
    // a second attempt fails the same way instead of on a leftover column.
    db.exec("ALTER TABLE activites DROP COLUMN SURVEILLANCES");
    module.ConvertSchema(module.SchemaVersion());
    module.ConvertSchema(module.SchemaVersion());
    EXPECT_EQ(boxes.informs.mid(1), QStringList({"Erreur de conversion", "Erreur de conversion"}));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM pragma_table_info('activites') WHERE name='temp'"),
              "0");
}

}  // namespace

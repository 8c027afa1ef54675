#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>

#include "common/Fakes.h"
#include "common/Unprivileged.h"
#include "platform/AtomicFile.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Regional.h"

using namespace tavix;

TEST(ErrorTest, FullStopRule) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Table absente", "Table absente."},
        {"Fini.", "Fini."},
        {"Quoi ?", "Quoi ?."},  // '?' sorts after '.'
        {"", ""},
        {"x-", "x-"},  // '-' sorts before '.'
        {"12", "12."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withFullStop(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(ErrorTest, IntegerConversion) {
    EXPECT_EQ(toInteger("272"), 272);
    EXPECT_EQ(toInteger("-5"), -5);
    EXPECT_EQ(toInteger("$00FF8040"), 0x00FF8040);
    EXPECT_EQ(toInteger("$FF00000F"), static_cast<int>(0xFF00000Fu));
    for (const char* bad : {"", "abc", "12x", "1.5", "$", "-", "$G1", "99999999999"}) {
        try {
            toInteger(QString::fromUtf8(bad));
            ADD_FAILURE() << bad;
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(bad));
        }
    }
}

TEST(DateTimeTest, DayCountAndIso) {
    EXPECT_EQ(DateTime().date(), QDate(1899, 12, 30));
    const DateTime t(QDate(2009, 12, 25), QTime(8, 30));
    EXPECT_DOUBLE_EQ(t.toDays(), 40172.0 + 8.5 / 24);
    EXPECT_EQ(DateTime::fromDays(t.toDays()), t);
    EXPECT_EQ(t.toIso(), "2009-12-25 08:30:00");
    EXPECT_EQ(DateTime::fromIso("2009-12-25 08:30:00"), t);
    EXPECT_EQ(DateTime::fromIso("2009-12-25"), DateTime(QDate(2009, 12, 25), QTime(0, 0)));
    EXPECT_FALSE(DateTime::fromIso("2009-02-30 00:00:00"));
}

TEST(DateTimeTest, NoTimeZoneAcrossDaylightSaving) {
    // 02:30 on the spring-forward day does not exist in many local zones;
    // the naive value keeps it and counts plain seconds across it.
    const DateTime start(QDate(2026, 3, 29), QTime(1, 59, 30));
    const DateTime inGap(QDate(2026, 3, 29), QTime(2, 30));
    EXPECT_EQ(inGap.time(), QTime(2, 30));
    EXPECT_EQ(start.secsTo(inGap), 30 * 60 + 30);
    EXPECT_EQ(start.addSecs(3600).toIso(), "2026-03-29 02:59:30");
}

TEST(RegionalTest, DateTimeTextRoundTrip) {
    const struct {
        DateTime value;
        const char* text;
    } cases[] = {
        {DateTime(QDate(2009, 12, 25), QTime(8, 30, 5)), "25/12/2009 08:30:05"},
        {DateTime(QDate(2010, 1, 5), QTime(0, 0)), "05/01/2010"},
        {DateTime(QDate(2010, 1, 5), QTime(0, 0, 0, 400)), "05/01/2010"},
        {DateTime(), "30/12/1899"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(regional::dateTimeToText(c.value), QString::fromUtf8(c.text));
        EXPECT_EQ(regional::textToDateTime(c.text), c.value.truncatedToSeconds()) << c.text;
    }
    EXPECT_EQ(regional::textToDateTime("5/1/2010 8:05"), DateTime(QDate(2010, 1, 5), QTime(8, 5)));
    for (const char* bad : {"", "2010-01-05", "32/01/2010", "05/01/2010 25:00:00", "05/01"})
        EXPECT_FALSE(regional::textToDateTime(bad)) << bad;
}

TEST(PathsTest, DefaultDatabaseAndHelp) {
    const QString dataFolder = "/MOLVERAN/TAVIX/tavix.mdb";
#ifdef Q_OS_WIN
    EXPECT_EQ(paths::defaultDatabasePath(R"(C:\Prog.exe\tavix.exe)"), R"(C:\Prog.mdb\tavix.mdb)");
    EXPECT_EQ(paths::helpPath(R"(C:\Prog.exe\tavix.exe)"), R"(C:\Prog.chm\tavix.chm)");
    // Case-sensitive: ".EXE" is no ".exe", so the data folder's database is used.
    EXPECT_TRUE(paths::defaultDatabasePath(R"(C:\TAVIX.EXE)").endsWith("tavix.mdb"));
#else
    // ".exe" anywhere in the path means nothing here.
    for (const char* executable : {"/usr/bin/tavix", "/home/u/my.exe.d/tavix", "/opt/tavix.exe"}) {
        EXPECT_TRUE(paths::defaultDatabasePath(executable).endsWith(dataFolder)) << executable;
        EXPECT_TRUE(paths::helpPath(executable).endsWith("help/index.html")) << executable;
    }
#endif
    EXPECT_TRUE(paths::defaultDatabasePath("/usr/bin/tavix").endsWith(dataFolder));
    EXPECT_TRUE(paths::helpPath("/opt/t/tavix").endsWith("help/index.html"));
    EXPECT_EQ(paths::replaceExe("a.exe.d/b.exe", ".mdb"), "a.mdb.d/b.mdb");
}

TEST(PathsTest, HelpOfBuiltAndInstalledProgram) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    const auto touch = [&](const QString& relative) {
        ASSERT_TRUE(dir.mkpath(QFileInfo(dir.filePath(relative)).path()));
        QFile file(dir.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    const QString executable = dir.filePath("bin/tavix");
    touch("bin/tavix");
    // Installed under a prefix: the help is in share/tavix/help.
    touch("share/tavix/help/index.html");
    EXPECT_EQ(paths::helpPath(executable), dir.filePath("share/tavix/help/index.html"));
    // In the build folder the help beside the executable comes first.
    touch("bin/help/index.html");
    EXPECT_EQ(paths::helpPath(executable), dir.filePath("bin/help/index.html"));
}

// The installed desktop entry names the window class TAVIX and is found
// under the desktop file name tavix.
// The reason a file could not be written is told in French, with the file.
TEST(AtomicFileTest, AWriteRefusedBySystemIsToldInFrench) {
    QTemporaryDir dir;
    using P = QFileDevice::Permission;
    ASSERT_TRUE(
        QFile::setPermissions(dir.path(), P::ReadOwner | P::ExeOwner | P::ReadOther | P::ExeOther));
    const QString path = dir.filePath("etat.json");
    QString message;
    {
        test::Unprivileged user;
        try {
            files::writeAtomically(path, "{}");
        } catch (const Error& e) {
            message = e.message();
        }
    }
    QFile::setPermissions(dir.path(), P::ReadOwner | P::WriteOwner | P::ExeOwner);
    EXPECT_TRUE(
        message.startsWith("Impossible d'écrire le fichier \"" + path + "\" : accès refusé"))
        << message.toStdString();
    EXPECT_FALSE(message.contains("denied", Qt::CaseInsensitive)) << message.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(ApplicationTest, NamesMatchTheDesktopEntry) {
    EXPECT_EQ(QGuiApplication::desktopFileName(), "tavix");
    EXPECT_EQ(QCoreApplication::applicationName(), "TAVIX");
}

TEST(ServicesTest, GuardedHandlerReportsAndGoesOn) {
    test::ScriptedBoxes boxes;
    bool after = false;
    auto handler = guarded([] { throw ConvertError("'x' n'est pas une valeur entière correcte"); });
    handler();
    after = true;
    EXPECT_TRUE(after);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0], "'x' n'est pas une valeur entière correcte.");
}

TEST(ApplicationTest, TheToolkitsOwnDialogsSpeakFrench) {
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), "&Nom de fichier :");
}

// The tests run under the C locale; the calendar of a date picker is French
// all the same: month and day names, weeks from Monday.
TEST(ApplicationTest, TheDatePickersCalendarIsFrenchWhateverTheSystemLanguage) {
    ASSERT_NE(QLocale::system().language(), QLocale::French);
    QDateTimeEdit picker;
    picker.setDisplayFormat("dd/MM/yyyy");
    picker.setCalendarPopup(true);
    picker.setDate(QDate(2026, 12, 10));
    QCalendarWidget* calendar = picker.calendarWidget();
    calendar->setSelectedDate(picker.date());
    auto* month = calendar->findChild<QToolButton*>("qt_calendar_monthbutton");
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text(), "décembre");
    EXPECT_EQ(calendar->firstDayOfWeek(), Qt::Monday);
    auto* days = calendar->findChild<QTableView*>("qt_calendar_calendarview");
    ASSERT_NE(days, nullptr);
    QStringList names;
    for (int column = 0; column < days->model()->columnCount(); ++column)
        if (const QString name = days->model()->index(0, column).data().toString(); !name.isEmpty())
            names << name;  // the week numbers' column has no title
    EXPECT_EQ(names, QStringList({"lun.", "mar.", "mer.", "jeu.", "ven.", "sam.", "dim."}));
}

// The file dialog's type and date columns too, whatever the system's language.
TEST(ApplicationTest, TheFileDialogsTypesAndDatesAreFrench) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("archives"));
    QFile base(dir.filePath("base.mdb"));
    ASSERT_TRUE(base.open(QIODevice::WriteOnly));
    base.close();
    ASSERT_TRUE(base.open(QIODevice::ReadWrite));
    ASSERT_TRUE(base.setFileTime(QDateTime(QDate(2026, 12, 10), QTime(14, 36)),
                                 QFileDevice::FileModificationTime));
    base.close();

    QStringList rows;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* view = dialog->findChild<QTreeView*>("treeView");
        ASSERT_NE(view, nullptr);
        QAbstractItemModel* model = view->model();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == 2; }));
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
            QStringList cells;
            for (int column : {0, 2, 3})
                cells << model->index(row, column, view->rootIndex()).data().toString();
            rows << cells.join(" | ");
        }
        dialog->reject();
    });
    filePicker().chooseFile(nullptr, {"*.mdb", "mdb", dir.filePath("base.mdb"), false});
    rows.sort();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("archives | Dossier | ")) << rows[0].toStdString();
    // The file's type is the desktop's own description of the file kind.
    EXPECT_TRUE(rows[1].startsWith("base.mdb | ")) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].endsWith(" | 10/12/2026 14:36")) << rows[1].toStdString();
}

// Enter answers the default: yes for an ordinary question, no for one whose
// yes destroys data; a screen reader hears which button is the default.
TEST(ServicesTest, EnterKeepsTheDataOnADestructiveQuestion) {
    MessageBoxes& boxes = tavix::messageBoxes();
    const struct {
        const char* how;
        std::function<bool()> ask;
        QString defaultButton;
        bool enterAnswers;
    } cases[] = {
        {"ordinary", [&] { return boxes.confirm("Continuer ?"); }, "&Oui", true},
        {"ok/cancel", [&] { return boxes.confirmOkCancel("Continuer ?"); }, "OK", true},
        {"destructive", [&] { return boxes.confirmDestructive("Tout vider ?"); }, "&Non", false},
        {"destructive ok/cancel",
         [&] { return boxes.confirmOkCancelDestructive("Supprimer l'enregistrement ?"); },
         "Annuler", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        QString spokenDefault;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* b : box->buttons())
                if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b);
                    i && i->state().defaultButton)
                    spokenDefault = i->text(QAccessible::Name);
            QTest::keyClick(box, Qt::Key_Return);
        });
        EXPECT_EQ(c.ask(), c.enterAnswers);
        EXPECT_EQ(spokenDefault, QString(c.defaultButton).remove(u'&'));
    }
}

// Once a question or a file dialog is answered, the window it came from is
// the active one again: its menu keys and mnemonics work without a click.
TEST(ServicesTest, TheWindowBehindADialogIsActiveAgainOnceItCloses) {
    QWidget window;
    window.resize(300, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    MessageBoxes& boxes = tavix::messageBoxes();
    const struct {
        const char* how;
        std::function<void()> open;
    } cases[] = {
        {"question", [&] { boxes.confirmDestructive("Tout vider ?"); }},
        {"message", [&] { boxes.inform("Fait."); }},
        {"three answers", [&] { boxes.ask("Enregistrer ?"); }},
        {"file",
         [&] {
             filePicker().chooseFile(&window, {"*.csv", "csv", "a.csv", false, true});
         }},
        {"colour", [&] { colorPicker().chooseColor(&window, Qt::red); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        c.open();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 1000));
    }
}

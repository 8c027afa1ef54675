// Words said to a screen reader, and the help that opens without a browser.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "common/AccessibleEvents.h"
#include "common/Fakes.h"
#include "platform/Announce.h"
#include "platform/Services.h"

using namespace tavix;

namespace {

TEST(AnnounceTest, EachSentenceIsANotificationShownAnew) {
    QWidget window;
    auto* field = new QLabel(QStringLiteral("Total"), &window);
    new QVBoxLayout(&window);
    window.layout()->addWidget(field);
    window.resize(300, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    test::AccessibleEvents heard;
    announce(field, QStringLiteral("Export enregistré : a.csv"));
    announce(&window, QStringLiteral("Export enregistré : a.csv"));  // said again
    announce(field, QStringLiteral("Ligne enregistrée"));
    EXPECT_EQ(heard.announcements(),
              QStringList(
                  {"Export enregistré : a.csv", "Export enregistré : a.csv", "Ligne enregistrée"}));
    // One notification per window, a notification to the bus, out of the
    // way of the mouse and the keyboard.
    QWidget* note = announcementOf(&window);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(window.findChildren<QWidget*>(note->objectName()).size(), 1);
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(note);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Notification);
    EXPECT_EQ(i->text(QAccessible::Name), "Ligne enregistrée");
    EXPECT_EQ(note->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(note->testAttribute(Qt::WA_TransparentForMouseEvents));

    // A hidden window says nothing.
    window.hide();
    heard.clear();
    announce(field, QStringLiteral("personne n'écoute"));
    EXPECT_TRUE(heard.announcements().isEmpty());
}

// "Voir l'aide" with no program of the desktop to open the pages: they open
// in the program's own window, or a French message says why not.
TEST(HelpTest, WithoutABrowserThePagesOpenInTheProgram) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString page = dir.filePath("index.html");
    {
        QFile f(page);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "<html><head><title>Aide</title></head><body><h1>Chronom\xc3\xa9trer</h1>"
            "<p>Cliquez sur une surveillance.</p></body></html>");
    }
    // No launcher to be found, as on a desktop without one.
    const QByteArray path = qgetenv("PATH");
    const QByteArray browser = qgetenv("BROWSER");
    qputenv("PATH", dir.path().toLocal8Bit());
    qunsetenv("BROWSER");
    test::ScriptedBoxes boxes;

    EXPECT_TRUE(shell().openDocument(page));
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "HelpWindow" && w->isVisible()) help = w;
    ASSERT_NE(help, nullptr);
    auto* pages = help->findChild<QTextBrowser*>();
    ASSERT_NE(pages, nullptr);
    EXPECT_TRUE(pages->toPlainText().contains("Cliquez sur une surveillance."));
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(pages);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->text(QAccessible::Name), "Aide");
    EXPECT_TRUE(boxes.informs.isEmpty());
    // Escape closes it, as any window of the program.
    help->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QTest::keyClick(pages, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "HelpWindow" && w->isVisible()) return false;
        return true;
    }));

    const QString missing = dir.filePath("absente.html");
    EXPECT_FALSE(shell().openDocument(missing));
    ASSERT_EQ(boxes.informs.size(), 1);
    EXPECT_TRUE(boxes.informs[0].startsWith("Impossible d'ouvrir « " + missing + " »"))
        << boxes.informs[0].toStdString();
    EXPECT_TRUE(boxes.informs[0].endsWith("et le fichier est absent."));

    qputenv("PATH", path);
    if (!browser.isNull()) qputenv("BROWSER", browser);
}

}  // namespace

// The client chooser from the keyboard: the focus starts on the first
// client and follows the order seen, clients before the buttons; a client
// added is said in the window that asked.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "common/AccessibleEvents.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "reference/Unit11.h"

using namespace tavix;
using test::TempDatabase;

namespace {

class ChooserTest : public ::testing::Test {
public:
    void SetUp() override {
        module.DatabasePath = db.path();
        ASSERT_TRUE(module.OpenDatabase());
        opener.resize(300, 200);
        opener.show();
        opener.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
    }
    void open() {
        chooser = std::make_unique<TForm11>(&opener);
        chooser->show();
        chooser->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(chooser.get()));
        QCoreApplication::processEvents();  // the focus is placed once the clients show
    }
    // What a screen reader says of the control with the focus.
    static QString focused() {
        QWidget* w = QApplication::focusWidget();
        QAccessibleInterface* i = w ? QAccessible::queryAccessibleInterface(w) : nullptr;
        if (!i || !i->state().focused) return {};
        return i->text(QAccessible::Name);
    }

    TempDatabase db;
    TDataModule2 module;
    test::ScriptedBoxes boxes;
    QWidget opener;
    std::unique_ptr<TForm11> chooser;
};

TEST_F(ChooserTest, TabFollowsTheOrderSeenFromTheFirstClient) {
    db.exec("INSERT INTO clients (NOM) VALUES ('Garage Tremblay'), ('Boulangerie Roy')");
    open();
    // The clients are one stop, as a list: the arrows move among them.
    QStringList order{focused()};
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    order << focused();
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focused();
    }
    EXPECT_EQ(order, QStringList({"Boulangerie Roy", "Garage Tremblay", "Nouveau client", "Valider",
                                  "Fermer", "Garage Tremblay"}));
}

TEST_F(ChooserTest, WithoutClientsTheFocusStartsOnTheNewName) {
    open();
    EXPECT_EQ(QApplication::focusWidget(), chooser->Edit1);
    EXPECT_EQ(focused(), "Nouveau client");
}

TEST_F(ChooserTest, ClosingGivesTheOpenerBackAndAnAddedClientIsSaid) {
    open();
    test::AccessibleEvents heard;
    chooser->Edit1->setText("Garage Tremblay");
    chooser->ColorButton1->click();
    EXPECT_TRUE(chooser->ClientAdded);
    EXPECT_EQ(heard.announcements(), QStringList{"Client « Garage Tremblay » ajouté"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &opener; }));
}

}  // namespace

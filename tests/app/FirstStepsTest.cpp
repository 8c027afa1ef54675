// What stands between a user and the tracking window at the start: the
// start-up login, which nothing walks around, and the hints of empty lists.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "WindowFixture.h"
#include "app/EmptyListHint.h"
#include "app/Unit1.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "settings/md5.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

const QString kRestart = "Voulez-vous relancer l'application pour appliquer les modifications ?";

class FirstStepsTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        WriteSetting("sgbd", db.path());
    }
    void addLists() const {
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
        db.exec("INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Saisie', 1)");
    }
    TColorButton* activity() const {
        return form->Panel2->findChild<TColorButton*>(QStringLiteral("BP_1"));
    }
};

// Every action an assistive client can run on a widget and on its children.
int pressEverything(QAccessibleInterface* node) {
    if (!node) return 0;
    int pressed = 0;
    if (QAccessibleActionInterface* actions = node->actionInterface()) {
        for (const QString& name : actions->actionNames()) {
            actions->doAction(name);
            ++pressed;
        }
    }
    for (int i = 0; i < node->childCount(); ++i) pressed += pressEverything(node->child(i));
    return pressed;
}

int pressEverything(QObject* object) {
    return pressEverything(QAccessible::queryAccessibleInterface(object));
}

// Modality holds the mouse and the keyboard; assistive technology presses
// widgets and menu items directly. Behind the login nothing may act.
TEST_F(FirstStepsTest, BehindTheStartUpLoginNothingActsWhateverPressesIt) {
    addLists();
    WriteSetting("user", "Poste1");
    WriteSetting("pwd", DigestHex("secret"));
    int pressed = 0;
    bool disabledBehind = false;
    modals.scripts.push_back([&](QDialog& login) {
        disabledBehind = !form->centralWidget()->isEnabled() && !form->MainMenu1->isEnabled();
        // The activity button, the client, then every menu entry and item.
        pressed += pressEverything(activity());
        pressed += pressEverything(form->RadioGroup1->button(0));
        pressed += pressEverything(form->MainMenu1);
        for (QMenu* menu : form->MainMenu1->findChildren<QMenu*>())
            pressed += pressEverything(menu);
        // Menu items as a client that reaches the actions themselves.
        for (QAction* item : {form->unesurveillance1, form->unclient1, form->Extraction1,
                              form->Verrouiller, form->Quitter1})
            item->trigger();
        // A pressed button clicks a moment later.
        QTest::qWait(400);
        while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        login.reject();
        return static_cast<int>(QDialog::Rejected);
    });
    // Any window opened behind the login would be shown through the same runner.
    start();
    ASSERT_EQ(modals.shown.size(), 1) << modals.shown.join(", ").toStdString();
    EXPECT_EQ(modals.shown[0], "tavix::TForm8");
    EXPECT_TRUE(disabledBehind);
    EXPECT_GT(pressed, 5) << "the accessible actions were reached";
    EXPECT_FALSE(form->Timing->running()) << "no timing started behind the login";
    EXPECT_EQ(activity()->Tag(), 0);
    EXPECT_EQ(form->RadioGroup1->itemIndex(), -1);
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "no restart question, no close question";
    EXPECT_TRUE(form->isVisible()) << "not closed behind the login";

    // Once the login has gone, the same press starts a timing.
    EXPECT_TRUE(form->centralWidget()->isEnabled());
    EXPECT_TRUE(form->MainMenu1->isEnabled());
    QAccessible::queryAccessibleInterface(activity())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Timing->running(); }));
}

TEST_F(FirstStepsTest, BehindTheSettingsLoginNothingActsEither) {
    addLists();
    WriteSetting("config", QString::number(ConfigBit::LockSettings));
    start();
    bool refused = false;
    modals.scripts.push_back([&](QDialog& login) {
        pressEverything(activity());
        form->unclient1->trigger();
        QTest::qWait(400);
        refused = !form->acceptsActions() && !form->centralWidget()->isEnabled();
        login.reject();
        return static_cast<int>(QDialog::Rejected);
    });
    form->Verrouiller->trigger();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm9"});
    EXPECT_TRUE(refused);
    EXPECT_FALSE(form->Timing->running());
    EXPECT_TRUE(form->acceptsActions());
}

TEST_F(FirstStepsTest, EmptyListsShowWhatToDoAndOpenTheirEditors) {
    start();
    EmptyListHint* hints[] = {form->ActivityHint, form->ClientHint};
    const struct {
        const char* text;
        const char* button;
        const char* editor;
    } expected[] = {
        {"Aucune surveillance pour l'instant.", "Ajouter une surveillance…", "tavix::TForm4"},
        {"Aucun client pour l'instant.", "Ajouter un client…", "tavix::TForm3"},
    };
    for (int i = 0; i < 2; ++i) {
        EmptyListHint* hint = hints[i];
        SCOPED_TRACE(expected[i].button);
        ASSERT_TRUE(hint->isVisible());
        EXPECT_EQ(hint->text()->text(), expected[i].text);
        EXPECT_TRUE(hint->button()->isVisible());
        EXPECT_EQ(hint->button()->text(), expected[i].button);
        EXPECT_EQ(hint->button()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
        // A screen reader reads the button by its caption, the text as shown.
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(hint->button());
        EXPECT_EQ(button->text(QAccessible::Name), expected[i].button);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(hint->text())->text(QAccessible::Name),
                  expected[i].text);
        // Exactly what the menu item does: the editor, then the restart question.
        modals.shown.clear();
        boxes.confirms.clear();
        boxes.answers = {false};
        hint->button()->setFocus();
        QTest::keyClick(hint->button(), Qt::Key_Space);
        EXPECT_EQ(modals.shown, QStringList{expected[i].editor});
        EXPECT_EQ(boxes.confirms, QStringList{kRestart});
    }
}

// Rows added in the editors but not shown, the restart declined: the hints
// say they are stored (never "Aucun client", which invites adding them
// twice), and still open the editors.
TEST_F(FirstStepsTest, ARestartDeclinedLeavesHintsThatFollowWhatIsStored) {
    start();
    const struct {
        EmptyListHint* hint;
        QString insert;
        QString text;
        QString button;
    } cases[] = {
        {form->ClientHint,
         "INSERT INTO clients (NOM) VALUES ('Garage Tremblay'), ('Durand'), ('Martin')",
         "3 clients enregistrés, affichés au prochain lancement de Tavix.",
         "Modifier les clients…"},
        {form->ActivityHint, "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 1)",
         "1 surveillance enregistrée, affichée au prochain lancement de Tavix.",
         "Modifier les surveillances…"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button.toStdString());
        // What the user adds in the editor the hint opens.
        modals.scripts.push_back([&](QDialog&) {
            db.exec(c.insert);
            return int(QDialog::Accepted);
        });
        boxes.answers = {false};
        c.hint->button()->click();
        ASSERT_EQ(boxes.confirms.size(), 1);
        boxes.confirms.clear();
        ASSERT_TRUE(c.hint->isVisible());
        EXPECT_EQ(c.hint->text()->text(), c.text);
        EXPECT_EQ(c.hint->button()->text(), c.button);
        EXPECT_EQ(form->RadioGroup1->count(), 0) << "the list itself waits for the restart";
    }
}

TEST_F(FirstStepsTest, HintsFollowTheListsAndTheirLock) {
    const struct {
        const char* what;
        bool activities, clients, locked;
    } cases[] = {
        {"both empty", false, false, false},        {"activities only", true, false, false},
        {"clients only", false, true, false},       {"both filled", true, true, false},
        {"both empty, locked", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        db.exec("DELETE FROM clients");
        db.exec("DELETE FROM travaux");
        if (c.activities)
            db.exec("INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Saisie', 1)");
        if (c.clients) db.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
        WriteSetting("config", c.locked ? QString::number(ConfigBit::NoListEditing) : QString());
        start();
        EXPECT_EQ(form->ActivityHint->isVisible(), !c.activities);
        EXPECT_EQ(form->ClientHint->isVisible(), !c.clients);
        for (EmptyListHint* hint : {form->ActivityHint, form->ClientHint}) {
            if (hint->isHidden()) continue;
            EXPECT_EQ(hint->button()->isVisible(), !c.locked);
            EXPECT_EQ(hint->text()->text().contains("Les listes sont verrouillées"), c.locked);
        }
        form.reset();
        module.reset();
    }
}

TEST_F(FirstStepsTest, AHintDoesNotCoverTheListItStandsFor) {
    start();
    const QRect activityHint = form->ActivityHint->geometry();
    EXPECT_EQ(activityHint.topLeft(), QPoint(150, 100)) << "where the first button would be";
    EXPECT_GE(form->ActivityHint->height(), form->ActivityHint->sizeHint().height());
    const QRect clientHint = form->ClientHint->geometry();
    EXPECT_TRUE(form->RadioGroup1->rect().contains(clientHint)) << "within the client list";
    form->resize(900, 700);
    QApplication::processEvents();
    EXPECT_TRUE(form->RadioGroup1->rect().contains(form->ClientHint->geometry()));
}

}  // namespace

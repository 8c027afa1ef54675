// The tracking window as a keyboard and screen-reader user meets it: what
// the accessibility interface exposes and what is told through it.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <QtTest/QTest>

#include "WindowFixture.h"
#include "app/EmptyListHint.h"
#include "app/Unit1.h"
#include "common/AccessibleEvents.h"
#include "controls/ColorButton.h"
#include "reference/Unit11.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

class TrackingAccessTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        db.exec("INSERT INTO clients (NOM) VALUES ('Garage Tremblay'), ('Boulangerie Caron')");
        db.exec(
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1), (2, 'Devis', 2)");
        WriteSetting("sgbd", db.path());
    }
    // Shown and active: the window's shortcuts answer only then.
    void startActive() {
        start();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    TColorButton* button(const char* name) const {
        return form->Panel2->findChild<TColorButton*>(name);
    }
};

TEST_F(TrackingAccessTest, TheCommentBoxIsNamedLetsTabGoAndKeepsTheTimedButtonInReach) {
    startActive();
    TColorButton* meeting = button("BP_1");
    meeting->click();
    form->Commenter->click();
    QTextEdit* box = form->RichEdit;
    ASSERT_TRUE(box->isVisible());
    EXPECT_EQ(accessible(box)->text(QAccessible::Name), "Commentaire");
    EXPECT_EQ(form->Commenter->text(), "&Fermer");
    // The stop stays one key away while the comment is written.
    EXPECT_TRUE(meeting->isVisible());
    EXPECT_FALSE(accessible(meeting)->state().invisible);
    EXPECT_FALSE(button("BP_2")->isVisible());
    EXPECT_FALSE(box->geometry().intersects(meeting->geometry())) << "the box hides no button";

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QWidget* lands;
    } cases[] = {{Qt::Key_Tab, Qt::NoModifier, meeting},
                 {Qt::Key_Tab, Qt::ShiftModifier, form->Commenter},
                 {Qt::Key_Backtab, Qt::ShiftModifier, form->Commenter},
                 {Qt::Key_Tab, Qt::ControlModifier, meeting},
                 {Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier, form->Commenter}};
    box->setFocus();
    QTest::keyClicks(box, "Devis");
    for (const auto& c : cases) {
        box->setFocus();
        ASSERT_TRUE(box->hasFocus());
        QTest::keyClick(box, c.key, c.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), c.lands) << int(c.key) << " " << c.modifiers.toInt();
    }
    EXPECT_EQ(box->toPlainText(), "Devis") << "no tab is typed into a comment";

    // Stopping from there stores the comment.
    form->RadioGroup1->button(0)->click();
    meeting->click();
    EXPECT_FALSE(form->Timing->running());
    EXPECT_EQ(db.scalar("SELECT COMMENTAIRE FROM activites"), "Devis");
}

TEST_F(TrackingAccessTest, TheTimingIsShownCheckedDescribedInTheTitleAndAnnounced) {
    startActive();
    test::AccessibleEvents heard;
    TColorButton* meeting = button("BP_1");
    QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(heard.announcements(), QStringList{"Aucune surveillance en cours"});
    EXPECT_FALSE(accessible(meeting)->state().checked);
    EXPECT_EQ(form->windowTitle(), "Surveillance tâches");

    heard.clear();
    form->RadioGroup1
        ->button(static_cast<int>(form->RadioGroup1->items().indexOf("Garage Tremblay")))
        ->click();
    meeting->click();
    EXPECT_EQ(heard.announcements(), QStringList{"Réunion démarrée pour Garage Tremblay"});
    EXPECT_TRUE(accessible(meeting)->state().checkable);
    EXPECT_TRUE(accessible(meeting)->state().checked);
    EXPECT_FALSE(accessible(button("BP_2"))->state().checked);
    EXPECT_GE(heard.count(QAccessible::StateChanged, meeting), 1);
    EXPECT_EQ(form->windowTitle(), "Réunion en cours – Surveillance tâches");

    clock.advance(12 * 60 + 29);
    tick(1);
    EXPECT_EQ(accessible(meeting)->text(QAccessible::Description),
              "En cours depuis 00:12:30, client Garage Tremblay");
    EXPECT_GE(heard.count(QAccessible::DescriptionChanged, meeting), 1);
    heard.clear();
    QTest::keyClick(form->RadioGroup1->button(1), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(heard.announcements(), QStringList{"Réunion : 00:12:30 pour Garage Tremblay"})
        << "read on demand wherever the focus is";

    heard.clear();
    meeting->click();
    EXPECT_EQ(heard.announcements(), QStringList{"Réunion arrêtée : 00:12:30 enregistrées"});
    EXPECT_FALSE(accessible(meeting)->state().checked);
    EXPECT_TRUE(accessible(meeting)->text(QAccessible::Description).isEmpty());
    EXPECT_EQ(form->windowTitle(), "Surveillance tâches");

    // Without a client yet, and dropped at the close: said as such.
    heard.clear();
    meeting->click();
    tick(3);
    EXPECT_EQ(accessible(meeting)->text(QAccessible::Description),
              "En cours depuis 00:00:03, client à choisir");
    boxes.askAnswers.push_back(MessageBoxes::Answer::No);
    form->close();
    EXPECT_EQ(heard.announcements(),
              QStringList({"Réunion démarrée", "Réunion arrêtée, rien n'est enregistré"}));
}

TEST_F(TrackingAccessTest, TheChooserClosedLeavesTheWindowAsItWas) {
    for (const bool commentOpen : {false, true}) {
        start();
        TColorButton* meeting = button("BP_1");
        meeting->click();
        if (commentOpen) form->Commenter->click();
        form->RichEdit->setPlainText("note");
        tick(2);
        const QString title = form->windowTitle();
        modals.scripts.push_back([](QDialog& d) {
            auto& chooser = dynamic_cast<TForm11&>(d);
            chooser.ColorButton2->click();
            return chooser.result();
        });
        meeting->click();
        EXPECT_EQ(modals.shown.size(), 1) << commentOpen;
        modals.shown.clear();
        EXPECT_TRUE(form->Timing->running());
        EXPECT_TRUE(form->Commenter->isVisible());
        EXPECT_EQ(form->Commenter->text(), commentOpen ? "&Fermer" : "&Commenter");
        EXPECT_EQ(form->RichEdit->isVisible(), commentOpen);
        EXPECT_EQ(form->RichEdit->toPlainText(), "note");
        EXPECT_EQ(form->Label5->text(), "Réunion");
        EXPECT_TRUE(accessible(meeting)->state().checked) << "still timing, still said so";
        EXPECT_EQ(form->windowTitle(), title);
        tick(1);
        EXPECT_EQ(form->Label2->text(), "00:00:03");
        form->Timing->drop();
        form.reset();
        module.reset();
    }
}

TEST_F(TrackingAccessTest, ValiderWithNothingChosenSaysWhatIsNeeded) {
    start();
    button("BP_1")->click();
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.ColorButton1->click();
        EXPECT_TRUE(chooser.isVisible());
        chooser.ColorButton2->click();
        return chooser.result();
    });
    button("BP_1")->click();
    EXPECT_EQ(
        boxes.informs,
        QStringList{"Choisissez un client dans la liste ou tapez le nom d'un nouveau client."});
}

TEST_F(TrackingAccessTest, FocusStartsOnTheFirstUsefulControl) {
    // At the start, after the login, after "Annuler" on the close question.
    start();
    EXPECT_EQ(form->focusWidget(), button("BP_1"));
    EXPECT_EQ(form->RadioGroup1->focusPolicy(), Qt::NoFocus) << "the clients' frame is no stop";

    button("BP_1")->click();
    form->MainMenu1->setFocus();
    boxes.askAnswers.push_back(MessageBoxes::Answer::Cancel);
    form->close();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_EQ(form->focusWidget(), button("BP_1")) << "not left on the menu bar";
    form->Timing->drop();
    form.reset();
    module.reset();

    db.exec("DELETE FROM travaux");
    start();
    EXPECT_EQ(form->focusWidget(), form->ActivityHint->button()) << "no activity yet: the hint";
}

TEST_F(TrackingAccessTest, MenusOpenWithF10AndEachHasItsOwnLetter) {
    startActive();
    QList<QKeySequence> letters;
    for (QAction* action : form->MainMenu1->actions())
        if (!action->text().isEmpty()) {
            const QKeySequence letter = QKeySequence::mnemonic(action->text());
            EXPECT_FALSE(letters.contains(letter)) << action->text().toStdString();
            letters << letter;
        }
    EXPECT_EQ(form->Aide1->text(), "&Aide");

    QTest::keyClick(form.get(), Qt::Key_F10);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu) << "F10 opens a menu";
    EXPECT_EQ(menu->menuAction(), form->Rajouter1);
    EXPECT_EQ(menu->activeAction(), form->unesurveillance1);
    menu->close();
}

}  // namespace

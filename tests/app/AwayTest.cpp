// Time away during a timing, and the tray indicator that follows it.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTextEdit>
#include <memory>

#include "WindowFixture.h"
#include "app/AwayWatcher.h"
#include "app/TrayIndicator.h"
#include "controls/ColorButton.h"
#include "platform/Application.h"
#include "reference/Unit11.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

struct Row {
    QString client, start, end;
    int seconds;
    QString comment = {};
};

class AwayTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        application::setTitle("Tavix - surveillance de tâches");
        db.exec("INSERT INTO clients (NOM) VALUES ('Boulangerie Caron'), ('Martin')");
        db.exec(
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1), (2, 'Saisie', 2)");
        WriteSetting("sgbd", db.path());
    }
    void TearDown() override {
        tray.reset();
        away.reset();
        WindowFixture::TearDown();
    }

    void startWatching() {
        start();
        away = std::make_unique<AwayWatcher>(*form);
        tray = std::make_unique<TrayIndicator>(*form);
    }
    TColorButton* button(const char* name) const {
        return form->Panel2->findChild<TColorButton*>(name);
    }
    // Works (input all along) for `secs`.
    void work(qint64 secs) {
        clock.advance(secs);
        idle.ms = 0;
        away->poll();
    }
    // Leaves the keyboard alone for `secs`.
    void idleFor(qint64 secs) {
        clock.advance(secs);
        idle.ms = idle.ms.value_or(0) + secs * 1000;
        away->poll();
    }
    // Touches the keyboard again.
    void input() {
        idle.ms = 0;
        away->poll();
    }
    // The machine sleeps `secs`: the wall clock runs on, the monotonic one
    // stands still; logind tells it or not.
    void sleepFor(qint64 secs, bool told) {
        if (told) sleep.sleep();
        clock.sleep(secs);
        idle.ms = 0;
        if (told)
            sleep.wake();
        else
            away->poll();
    }
    std::vector<Row> rows() const {
        std::vector<Row> result;
        for (const auto& r :
             db.rows("SELECT CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE FROM activites ORDER BY ID"))
            result.push_back(
                {r[0].toString(), r[1].toString(), r[2].toString(), r[3].toInt(), r[4].toString()});
        return result;
    }
    void expectRows(const std::vector<Row>& expected, const char* label) const {
        const std::vector<Row> stored = rows();
        ASSERT_EQ(stored.size(), expected.size()) << label;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(stored[i].client, expected[i].client) << label << " row " << i;
            EXPECT_EQ(stored[i].start, expected[i].start) << label << " row " << i;
            EXPECT_EQ(stored[i].end, expected[i].end) << label << " row " << i;
            EXPECT_EQ(stored[i].seconds, expected[i].seconds) << label << " row " << i;
            EXPECT_EQ(stored[i].comment, expected[i].comment) << label << " row " << i;
        }
    }
    void stopWithTick(const char* name) {
        form->Timer1Timer();
        button(name)->click();
    }

    test::FakeIdle idle;
    test::FakeSleep sleep;
    std::unique_ptr<AwayWatcher> away;
    std::unique_ptr<TrayIndicator> tray;
};

const QString kQuestion = "Vous étiez absent de 09:10 à 09:45 (35 min).";
const QStringList kAnswers = {"&Garder", "Retirer et &continuer", "Retirer et &arrêter"};

// Start 9:00 with a client, work to 9:10, away to 9:45, back; then the
// answer, a minute more and a click on the button.
TEST_F(AwayTest, EachAnswerLeavesTheRowsItPromises) {
    const struct {
        AwayWatcher::Answer answer;
        bool runningAfter;
        std::vector<Row> rows;
    } cases[] = {
        {AwayWatcher::Keep,
         true,
         {{"Boulangerie Caron", "2026-03-02 09:00:00", "2026-03-02 09:46:00", 2760}}},
        {AwayWatcher::RemoveAndContinue,
         true,
         {{"Boulangerie Caron", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600},
          {"Boulangerie Caron", "2026-03-02 09:45:00", "2026-03-02 09:46:00", 60}}},
        {AwayWatcher::RemoveAndStop,
         false,
         {{"Boulangerie Caron", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600}}},
    };
    for (const auto& c : cases) {
        const std::string label = kAnswers[c.answer].toStdString();
        db.exec("DELETE FROM activites");
        clock.set(DateTime(QDate(2026, 3, 2), QTime(9, 0)));
        boxes.questions.clear();
        startWatching();
        selectClient("Boulangerie Caron");
        button("BP_1")->click();
        work(600);
        idleFor(2100);
        EXPECT_TRUE(boxes.questions.isEmpty()) << "asked before the return";
        boxes.choices = {c.answer};
        input();
        EXPECT_EQ(boxes.questions, QStringList{kQuestion}) << label;
        EXPECT_EQ(form->Timing->running(), c.runningAfter) << label;
        if (c.runningAfter) {
            EXPECT_EQ(form->TimedClient(), "Boulangerie Caron") << label;
            work(60);
            stopWithTick("BP_1");
        }
        expectRows(c.rows, label.c_str());
        EXPECT_FALSE(form->Timing->running()) << label;
        TearDown();
    }
}

TEST_F(AwayTest, OnlyAnAbsenceOfTheThresholdOrMoreIsAsked) {
    const struct {
        const char* setting;
        qint64 idleSecs;
        bool asked;
    } cases[] = {
        {"", 599, false}, {"", 601, true}, {"5", 299, false}, {"5", 301, true}, {"0", 7200, false}};
    for (const auto& c : cases) {
        WriteSetting("absence", c.setting);
        boxes.questions.clear();
        startWatching();
        selectClient("Martin");
        button("BP_2")->click();
        idleFor(c.idleSecs);
        input();
        EXPECT_EQ(boxes.questions.size(), c.asked ? 1 : 0) << c.setting << " " << c.idleSecs;
        // Kept or not asked: the timing counts the whole time.
        stopWithTick("BP_2");
        EXPECT_EQ(rows().back().seconds, c.idleSecs) << c.setting << " " << c.idleSecs;
        db.exec("DELETE FROM activites");
        TearDown();
    }
}

TEST_F(AwayTest, AnAbsenceAcrossMidnightIsNamedWithItsDaysAndCutThere) {
    clock.set(DateTime(QDate(2026, 3, 2), QTime(23, 30)));
    startWatching();
    selectClient("Martin");
    button("BP_1")->click();
    work(600);
    idleFor(2400);
    boxes.choices = {AwayWatcher::RemoveAndContinue};
    input();
    EXPECT_EQ(
        boxes.questions,
        QStringList{"Vous étiez absent du 02/03/2026 à 23:40 au 03/03/2026 à 00:20 (40 min)."});
    work(60);
    stopWithTick("BP_1");
    expectRows({{"Martin", "2026-03-02 23:30:00", "2026-03-02 23:40:00", 600},
                {"Martin", "2026-03-03 00:20:00", "2026-03-03 00:21:00", 60}},
               "midnight");
}

// The monotonic clock stands still while the machine sleeps: told by logind
// or seen in the clocks, the sleep is an absence, and kept it is timed.
TEST_F(AwayTest, SleepIsAnAbsenceToldOrSeen) {
    const struct {
        bool told;
        qint64 sleepSecs;
        AwayWatcher::Answer answer;
        bool asked;
        std::vector<Row> rows;
    } cases[] = {
        {true,
         2400,
         AwayWatcher::RemoveAndStop,
         true,
         {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600}}},
        {false,
         2400,
         AwayWatcher::RemoveAndStop,
         true,
         {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600}}},
        {false,
         2400,
         AwayWatcher::Keep,
         true,
         {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:51:00", 3060}}},
        {true,
         120,
         AwayWatcher::Keep,
         false,
         {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:13:00", 780}}},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.told ? "told " : "seen ") +
                                  std::to_string(c.sleepSecs) + " " +
                                  kAnswers[c.answer].toStdString();
        db.exec("DELETE FROM activites");
        clock.set(DateTime(QDate(2026, 3, 2), QTime(9, 0)));
        boxes.questions.clear();
        startWatching();
        selectClient("Martin");
        button("BP_1")->click();
        work(600);
        boxes.choices = {c.answer};
        sleepFor(c.sleepSecs, c.told);
        EXPECT_EQ(boxes.questions.size(), c.asked ? 1 : 0) << label;
        if (c.asked) {
            EXPECT_EQ(boxes.questions.value(0), "Vous étiez absent de 09:10 à 09:50 (40 min).")
                << label;
        }
        if (form->Timing->running()) {
            work(60);
            stopWithTick("BP_1");
        }
        expectRows(c.rows, label.c_str());
        TearDown();
    }
}

TEST_F(AwayTest, AnAbsenceWhileTheCommentIsOpenStoresTheComment) {
    startWatching();
    selectClient("Martin");
    button("BP_1")->click();
    form->Commenter->click();
    ASSERT_TRUE(form->RichEdit->isVisible());
    form->RichEdit->setPlainText("devis relu");
    work(600);
    idleFor(2100);
    boxes.choices = {AwayWatcher::RemoveAndContinue};
    input();
    ASSERT_EQ(boxes.questions, QStringList{kQuestion});
    EXPECT_FALSE(form->RichEdit->isVisible());
    EXPECT_TRUE(form->RichEdit->toPlainText().isEmpty());
    EXPECT_TRUE(button("BP_1")->isVisible());
    EXPECT_EQ(form->Commenter->text(), "&Commenter");
    EXPECT_TRUE(form->Timing->running());
    work(60);
    stopWithTick("BP_1");
    expectRows({{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600, "devis relu"},
                {"Martin", "2026-03-02 09:45:00", "2026-03-02 09:46:00", 60}},
               "comment");
}

// Back in front of a modal window: the question waits until it closes,
// and still names the absence.
TEST_F(AwayTest, TheQuestionWaitsForAModalWindow) {
    startWatching();
    selectClient("Martin");
    button("BP_1")->click();
    work(600);
    QDialog dialog(form.get());
    dialog.setModal(true);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    idleFor(2100);
    input();
    work(120);
    EXPECT_TRUE(boxes.questions.isEmpty());
    dialog.hide();
    boxes.choices = {AwayWatcher::RemoveAndStop};
    work(1);
    EXPECT_EQ(boxes.questions, QStringList{kQuestion});
    expectRows({{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600}}, "modal");
}

// Without a selected client the cut asks the chooser, as the button's stop
// does; the timing that goes on keeps the chosen client.
TEST_F(AwayTest, WithoutAClientTheChooserNamesItForBothTimings) {
    startWatching();
    button("BP_1")->click();
    work(600);
    idleFor(2100);
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.RadioGroup1->setItemIndex(
            static_cast<int>(chooser.RadioGroup1->items().indexOf("Martin")));
        chooser.ColorButton1->click();
        return chooser.result();
    });
    boxes.choices = {AwayWatcher::RemoveAndContinue};
    input();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm11"});
    EXPECT_EQ(form->TimedClient(), "Martin");
    work(60);
    stopWithTick("BP_1");
    EXPECT_EQ(modals.shown.size(), 1) << "the second stop needs no chooser";
    expectRows({{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:10:00", 600},
                {"Martin", "2026-03-02 09:45:00", "2026-03-02 09:46:00", 60}},
               "chooser");

    // Closed without a client: nothing stored, the timing goes on whole.
    db.exec("DELETE FROM activites");
    button("BP_2")->click();
    idleFor(2100);
    modals.scripts.push_back([](QDialog& d) { return d.result(); });
    boxes.choices = {AwayWatcher::RemoveAndStop};
    input();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_TRUE(rows().empty());
}

// The timing stopped while the question stood (from the tray) and another
// started: the answer was about the first one only.
TEST_F(AwayTest, AnAnswerNeverCutsATimingStartedAfterTheQuestion) {
    startWatching();
    selectClient("Martin");
    button("BP_1")->click();
    work(600);
    idleFor(2100);
    boxes.whenShown = [&](const QString&) {
        stopWithTick("BP_1");
        selectClient("Martin");
        button("BP_2")->click();
    };
    boxes.choices = {AwayWatcher::RemoveAndStop};
    input();
    ASSERT_EQ(boxes.questions.size(), 1);
    EXPECT_TRUE(form->Timing->running());
    EXPECT_EQ(form->TimedButton(), button("BP_2"));
    expectRows({{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:45:00", 2700}},
               "stopped meanwhile");
}

// ---- tray ------------------------------------------------------------------

TEST_F(AwayTest, TheTrayFollowsTheTiming) {
    startWatching();
    EXPECT_EQ(tray->toolTip(), "Tavix - surveillance de tâches");
    EXPECT_EQ(tray->iconName(), "MAINICON");
    selectClient("Boulangerie Caron");
    button("BP_1")->click();
    clock.advance(2530);
    form->Timer1Timer();
    EXPECT_EQ(tray->toolTip(), "Réunion — Boulangerie Caron — 00:42:10");
    EXPECT_EQ(tray->iconName(), "ZORVA_ON");
    button("BP_1")->click();
    EXPECT_EQ(tray->toolTip(), "Tavix - surveillance de tâches");
    // No client known: no client part.
    button("BP_2")->click();
    clock.advance(5);
    form->Timer1Timer();
    EXPECT_EQ(tray->toolTip(), "Saisie — 00:00:05");
}

TEST_F(AwayTest, TheTrayMenuStartsAndStopsAsTheButtonsDo) {
    startWatching();
    const auto item = [&](const char* name) {
        emit tray->menu()->aboutToShow();
        for (QAction* action : tray->menu()->actions())
            if (action->objectName() == name) return action;
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_TRUE(item("TrayBP_1"));
    EXPECT_EQ(item("TrayBP_1")->text(), "Réunion");
    EXPECT_TRUE(item("TrayBP_2")->isEnabled());
    item("TrayBP_1")->trigger();
    EXPECT_TRUE(form->Timing->running());
    EXPECT_TRUE(item("TrayBP_1")->isChecked());
    EXPECT_FALSE(item("TrayBP_2")->isEnabled()) << "one timing at a time";
    // The stop asks the chooser when no client is selected.
    clock.advance(3);
    form->Timer1Timer();
    modals.scripts.push_back([](QDialog& d) {
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.RadioGroup1->setItemIndex(0);
        chooser.ColorButton1->click();
        return chooser.result();
    });
    form->Commenter->click();  // the comment box open hides the buttons
    item("TrayBP_1")->trigger();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm11"});
    EXPECT_FALSE(form->Timing->running());
    EXPECT_TRUE(button("BP_2")->isVisible());
    expectRows({{"Boulangerie Caron", "2026-03-02 09:00:00", "2026-03-02 09:00:03", 3}}, "tray");

    // Behind a modal window the tray waits too, as the window's buttons do.
    {
        QDialog dialog(form.get());
        dialog.setModal(true);
        dialog.show();
        EXPECT_FALSE(item("TrayBP_2")->isEnabled());
        item("TrayBP_2")->trigger();
        item("TrayQuit")->trigger();
        EXPECT_FALSE(form->Timing->running());
        EXPECT_TRUE(form->isVisible());
    }

    form->showMinimized();
    item("TrayShow")->trigger();
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());

    item("TrayQuit")->trigger();
    EXPECT_FALSE(form->isVisible()) << "quits as the window's own command";
}

}  // namespace

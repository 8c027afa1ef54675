// A timing that outlives its window: the question at closing, and the
// recovery at the next start after a crash, a kill or a restart.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "WindowFixture.h"
#include "app/Unit1.h"
#include "common/Fakes.h"
#include "common/StepCutter.h"
#include "common/TempDatabase.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Paths.h"
#include "reference/Unit11.h"
#include "settings/outils.h"

using namespace tavix;
using test::TempDatabase;

namespace {

const DateTime kMonday9h(QDate(2026, 3, 2), QTime(9, 0));
const QString kCloseQuestion =
    "Une surveillance est en cours (Saisie, depuis 09:00:00).\n"
    "Voulez-vous l'enregistrer avant de quitter ?";

QDir dataFolder() { return QFileInfo(paths::pendingTimingPath()).absoluteDir(); }
QStringList stateFiles() {
    return dataFolder().entryList({"surveillance-*.json"}, QDir::Files, QDir::Name);
}

class PendingTimingWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin'), ('L''Oréal')");
        db.exec("INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Saisie', 1), (2, 'R&D', 2)");
        WriteSetting("sgbd", db.path());
    }
    // The program ends without its window closing: a crash, a kill, a restart.
    void crash() {
        form.reset();
        module.reset();
    }
    TColorButton* saisie() const { return form->Panel2->findChild<TColorButton*>("BP_1"); }
    void comment(const QString& text) const {
        form->Commenter->click();
        form->RichEdit->setPlainText(text);
        form->Commenter->click();
    }
    // A timing of Saisie started at 9:00 and seen last at 9:00:30.
    void crashDuringATiming(const QString& client) {
        start();
        saisie()->click();
        comment("Relance \"client\"\nl'après-midi");
        if (!client.isEmpty()) selectClient(client);
        tick(42);
        crash();
        boxes.confirms.clear();
    }
    static test::ScriptedModals::Script choose(const QString& client) {
        return [client](QDialog& d) {
            auto& chooser = dynamic_cast<TForm11&>(d);
            chooser.RadioGroup1->setItemIndex(
                static_cast<int>(chooser.RadioGroup1->items().indexOf(client)));
            chooser.ColorButton1->click();
            return chooser.result();
        };
    }
    std::vector<std::vector<QVariant>> entries() const {
        return db.rows(
            "SELECT SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE FROM activites "
            "ORDER BY ID");
    }
    static TimingState kept() {
        TimingState state;
        QFile in(paths::pendingTimingPath());
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        EXPECT_TRUE(PendingTiming::decode(in.readAll(), state));
        return state;
    }

    // A timing of Saisie for Martin, kept at its 30th second and stopped at
    // its 42nd, the program cut off at step `at` of the stop (0: none) by a
    // crash or a power cut. Returns the steps the stop took.
    int stopCutAt(int at, bool powerCut) {
        start();
        saisie()->click();
        selectClient("Martin");
        tick(42);
        test::StepCutter cutter(at);
        saisie()->click();
        crash();
        if (powerCut) cutter.loseUnsynced();
        return cutter.steps();
    }
    // The next start, accepting what it offers, cut off at step `at`.
    int restartCutAt(int at, bool powerCut) {
        boxes.answers = {true};
        test::StepCutter cutter(at);
        start();
        crash();
        if (powerCut) cutter.loseUnsynced();
        return cutter.steps();
    }
    // What a cut left behind: the state files as read back, and the rows.
    QString leftBehind() const {
        QStringList files;
        for (const QString& name : stateFiles()) {
            QFile in(dataFolder().filePath(name));
            TimingState state;
            const bool readable =
                in.open(QIODevice::ReadOnly) && PendingTiming::decode(in.readAll(), state);
            files << (!readable ? "illisible" : state.stopping ? "stopping" : "running");
        }
        files.sort();
        return files.join(u',') + QStringLiteral(" + %1 row(s)").arg(entries().size());
    }
    // Then a start that accepts whatever it offers ends with the timing
    // stored once: as stopped, or as last kept before the cut.
    void expectStoredOnce(const QString& what) {
        boxes.answers = {true, true, true};
        start();
        const auto rows = entries();
        EXPECT_EQ(rows.size(), 1u) << what.toStdString();
        if (rows.size() == 1) {
            const int seconds = rows[0][4].toInt();
            EXPECT_TRUE(seconds == 42 || seconds == 30) << what.toStdString() << ": " << seconds;
        }
        EXPECT_TRUE(stateFiles().isEmpty()) << what.toStdString();
        EXPECT_TRUE(boxes.informs.isEmpty())
            << what.toStdString() << ": " << boxes.informs.join('\n').toStdString();
        crash();
        db.exec("DELETE FROM activites");
        clock.set(kMonday9h);
        boxes.answers.clear();
        boxes.confirms.clear();
        boxes.informs.clear();
        boxes.errors.clear();
    }
};

// ---- closing during a timing --------------------------------------------------

TEST_F(PendingTimingWindowTest, ClosingAsksAndYesStoresLikeASecondClick) {
    const struct {
        const char* client;  // selected in the window; empty: the chooser picks
    } cases[] = {{"Martin"}, {""}};
    for (const auto& c : cases) {
        start();
        saisie()->click();
        comment("fini");
        tick(5);
        if (*c.client)
            selectClient(c.client);
        else
            modals.scripts.push_back(choose("L'Oréal"));
        boxes.answers = {true};
        EXPECT_TRUE(form->close()) << c.client;
        EXPECT_EQ(boxes.confirms, QStringList{kCloseQuestion});
        const auto rows = entries();
        ASSERT_EQ(rows.size(), 1u) << c.client;
        EXPECT_EQ(rows[0][1].toString(), *c.client ? "Martin" : "L'Oréal");
        EXPECT_EQ(rows[0][4].toInt(), 5);
        EXPECT_EQ(rows[0][5].toString(), "fini");
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(stateFiles().isEmpty());
        crash();
        db.exec("DELETE FROM activites");
        boxes.confirms.clear();
        clock.set(kMonday9h);
    }
}

TEST_F(PendingTimingWindowTest, ClosingWithNoDropsTheTiming) {
    start();
    saisie()->click();
    tick(3);
    boxes.answers = {false};
    EXPECT_TRUE(form->close());
    EXPECT_EQ(boxes.confirms, QStringList{kCloseQuestion});
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(stateFiles().isEmpty());
    crash();
    start();
    EXPECT_EQ(boxes.confirms.size(), 1) << "nothing is offered at the next start";
}

TEST_F(PendingTimingWindowTest, ClosingKeepsTheWindowWhenTheTimingCannotBeStored) {
    start();
    saisie()->click();
    tick(3);
    selectClient("Martin");
    db.exec(
        "CREATE TRIGGER refus BEFORE INSERT ON activites BEGIN SELECT RAISE(ABORT, 'refus'); END");
    boxes.answers = {true};
    EXPECT_FALSE(form->close());
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Timing->running());
    EXPECT_FALSE(form->Closing);

    // The chooser closed without a client: still timing, still open.
    db.exec("DROP TRIGGER refus");
    form->RadioGroup1->setItemIndex(-1);
    boxes.answers = {true};
    EXPECT_FALSE(form->close());
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm11"});
    EXPECT_TRUE(form->Timing->running());
    EXPECT_TRUE(entries().empty());
    EXPECT_EQ(stateFiles(), QStringList{"surveillance-en-cours.json"});
}

TEST_F(PendingTimingWindowTest, CancelOnTheCloseQuestionKeepsTheWindowAndTheTiming) {
    start();
    saisie()->click();
    selectClient("Martin");
    tick(3);
    boxes.askAnswers = {MessageBoxes::Answer::Cancel};
    EXPECT_FALSE(form->close());
    EXPECT_EQ(boxes.confirms, QStringList{kCloseQuestion});
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Timing->running());
    EXPECT_FALSE(form->Closing);
    EXPECT_EQ(stateFiles(), QStringList{"surveillance-en-cours.json"});
    tick(2);
    saisie()->click();
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][4].toInt(), 5) << "the timing went on";
}

TEST_F(PendingTimingWindowTest, ClosingWhenIdleAsksNothing) {
    start();
    saisie()->click();
    selectClient("Martin");
    saisie()->click();
    EXPECT_TRUE(stateFiles().isEmpty()) << "a stopped timing leaves nothing behind";
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(boxes.confirms.isEmpty());
}

// ---- the next start ---------------------------------------------------------------

TEST_F(PendingTimingWindowTest, AfterACrashYesStoresWhatWasLastSeen) {
    const struct {
        const char* client;  // selected before the crash; empty: the chooser picks
    } cases[] = {{"Martin"}, {""}};
    for (const auto& c : cases) {
        crashDuringATiming(c.client);
        if (!*c.client) modals.scripts.push_back(choose("L'Oréal"));
        boxes.answers = {true};
        clock.set(DateTime(QDate(2026, 3, 3), QTime(8, 0)));
        start();
        EXPECT_EQ(boxes.confirms,
                  QStringList{"Une surveillance n'a pas été enregistrée : Saisie, du 02/03/2026 "
                              "09:00:00 au 02/03/2026 09:00:30.\nVoulez-vous l'enregistrer ?"});
        const auto rows = entries();
        ASSERT_EQ(rows.size(), 1u) << c.client;
        EXPECT_EQ(rows[0][0].toString(), "Saisie");
        EXPECT_EQ(rows[0][1].toString(), *c.client ? "Martin" : "L'Oréal");
        EXPECT_EQ(rows[0][2].toString(), "2026-03-02 09:00:00");
        EXPECT_EQ(rows[0][3].toString(), "2026-03-02 09:00:30");
        EXPECT_EQ(rows[0][4].toInt(), 30);
        EXPECT_EQ(rows[0][5].toString(), "Relance \"client\"\nl'après-midi");
        EXPECT_TRUE(stateFiles().isEmpty());
        crash();
        boxes.confirms.clear();
        start();
        EXPECT_TRUE(boxes.confirms.isEmpty()) << "stored once, asked once";
        crash();
        db.exec("DELETE FROM activites");
        clock.set(kMonday9h);
    }
}

TEST_F(PendingTimingWindowTest, OnlyAUserPastTheStartUpLoginIsAsked) {
    crashDuringATiming("Martin");
    WriteSetting("user", "Poste1");
    WriteSetting("pwd", "0123456789abcdef0123456789abcdef");
    int askedBeforeLogin = -1;
    modals.scripts.push_back([&](QDialog& login) {
        askedBeforeLogin = static_cast<int>(boxes.confirms.size());
        login.accept();
        return static_cast<int>(QDialog::Accepted);
    });
    boxes.answers = {true};
    start();
    ASSERT_EQ(modals.shown.size(), 1);
    EXPECT_EQ(modals.shown[0], "tavix::TForm8");
    EXPECT_EQ(askedBeforeLogin, 0);
    EXPECT_EQ(boxes.confirms.size(), 1);
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(PendingTimingWindowTest, AfterACrashNoDropsTheTiming) {
    crashDuringATiming("Martin");
    boxes.answers = {false};
    start();
    EXPECT_EQ(boxes.confirms.size(), 1);
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(stateFiles().isEmpty());
    EXPECT_FALSE(form->Timing->running());
}

TEST_F(PendingTimingWindowTest, ARefusedInsertKeepsTheTimingForTheNextStart) {
    crashDuringATiming("Martin");
    db.exec(
        "CREATE TRIGGER refus BEFORE INSERT ON activites BEGIN SELECT RAISE(ABORT, 'refus'); END");
    boxes.answers = {true};
    start();
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(entries().empty());

    // A timing of this run neither overwrites nor loses the one kept.
    saisie()->click();
    selectClient("L'Oréal");
    tick(2);
    crash();
    db.exec("DROP TRIGGER refus");
    boxes.confirms.clear();
    boxes.answers = {true, true};
    start();
    EXPECT_EQ(boxes.confirms.size(), 2);
    const auto rows = entries();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][4].toInt(), 30);
    EXPECT_EQ(rows[0][1].toString(), "Martin");
    EXPECT_EQ(rows[1][1].toString(), "L'Oréal");
    EXPECT_TRUE(stateFiles().isEmpty());
}

// The session ends while the question is open: the box closes unanswered,
// which reads as "&Non", and the timing stays for the next start.
TEST_F(PendingTimingWindowTest, TheSessionsEndDuringTheRecoveryQuestionDropsNothing) {
    crashDuringATiming("Martin");
    boxes.whenShown = [&](const QString&) { form->endProgram(); };
    boxes.answers = {false};
    start();
    EXPECT_EQ(boxes.confirms.size(), 1);
    EXPECT_EQ(stateFiles().size(), 1);
    EXPECT_TRUE(entries().empty());
}

TEST_F(PendingTimingWindowTest, ChooserClosedWithoutAClientKeepsTheTiming) {
    crashDuringATiming("");
    boxes.answers = {true};
    start();  // no script: the chooser is closed without a choice
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm11"});
    EXPECT_TRUE(entries().empty());
    crash();
    boxes.confirms.clear();
    start();
    EXPECT_EQ(boxes.confirms.size(), 1) << "offered again";
}

TEST_F(PendingTimingWindowTest, BadStateFilesAreToldOnceAndNeverBlockTheStart) {
    crashDuringATiming("Martin");
    QFile file(paths::pendingTimingPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    const struct {
        const char* what;
        QByteArray content;
        const char* told;
    } cases[] = {
        {"truncated", whole.left(whole.size() - 20), "ne peut pas être relu"},
        {"another database", QByteArray(whole).replace("tavix.mdb", "autre.mdb"),
         "qui n'est plus celle utilisée"},
    };
    file.close();
    for (const auto& c : cases) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.content);
        file.close();
        boxes.informs.clear();
        boxes.confirms.clear();
        start();
        ASSERT_EQ(boxes.informs.size(), 1) << c.what;
        EXPECT_TRUE(boxes.informs[0].contains(c.told)) << boxes.informs[0].toStdString();
        EXPECT_TRUE(boxes.confirms.isEmpty()) << c.what;
        EXPECT_TRUE(boxes.errors.isEmpty()) << c.what;
        EXPECT_NE(saisie(), nullptr) << "the window is in use";
        crash();
        boxes.informs.clear();
        start();
        EXPECT_TRUE(boxes.informs.isEmpty()) << "told once: " << c.what;
        crash();
    }
    EXPECT_TRUE(entries().empty());
}

TEST_F(PendingTimingWindowTest, TheStateFileFollowsTheTiming) {
    start();
    saisie()->click();
    EXPECT_EQ(kept().activity, "Saisie");
    EXPECT_EQ(kept().activityId, 1);
    EXPECT_TRUE(kept().client.isEmpty());
    selectClient("L'Oréal");
    EXPECT_EQ(kept().client, "L'Oréal");
    form->Commenter->click();
    EXPECT_EQ(form->focusWidget(), form->RichEdit) << "typing goes into the opened box";
    form->RichEdit->setPlainText("en cours");
    tick(29);
    EXPECT_TRUE(kept().comment.isEmpty()) << "the open box is kept at the 30th second";
    tick(1);
    EXPECT_EQ(kept().comment, "en cours");
    EXPECT_EQ(kept().elapsedSeconds, 30);
    EXPECT_EQ(kept().lastSeen, kMonday9h.addSecs(30));
    form->RichEdit->setPlainText("fini");
    form->Commenter->click();
    EXPECT_EQ(kept().comment, "fini");
}

// A restart accepted, the session's end (SIGTERM at logout) or any other end
// of the loop keeps the timing up to that very moment, not to its last
// 30-second mark.
TEST_F(PendingTimingWindowTest, ARestartOrTheSessionsEndKeepsTheTimingUpToThatMoment) {
    const struct {
        const char* how;
        std::function<void(TForm1&)> end;
    } cases[] = {
        {"restart",
         [this](TForm1& f) {
             boxes.answers = {true};
             f.relance();
         }},
        {"end of the session",
         [](TForm1& f) {
             f.endProgram();
             EXPECT_TRUE(application::terminated());
             EXPECT_FALSE(ReadSetting("width").isEmpty()) << "the window closed the ordinary way";
         }},
        {"the loop ended otherwise",
         [](TForm1&) {
             QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
             QCoreApplication::exec();
         }},
    };
    for (const auto& c : cases) {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        WriteSetting("sgbd", db.path());
        start();
        saisie()->click();
        selectClient("Martin");
        tick(40);
        clock.advance(9);  // the program ends between two ticks
        c.end(*form);
        const TimingState state = kept();
        EXPECT_EQ(state.lastSeen, kMonday9h.addSecs(49)) << c.how;
        EXPECT_EQ(state.elapsedSeconds, 49) << c.how;
        EXPECT_EQ(state.client, "Martin") << c.how;
        crash();
        clock.set(kMonday9h);
    }
}

// Set back during a timing (end of summer time), the clock would give a
// state that ends before it starts: it ends at its start plus the elapsed
// time instead, and is offered. So is an activity without a label.
TEST_F(PendingTimingWindowTest, AStateReadBackIsOfferedWhateverItsTimesOrLabel) {
    start();
    saisie()->click();
    selectClient("Martin");
    tick(20);
    clock.set(DateTime(QDate(2026, 3, 2), QTime(8, 0, 20)));
    tick(40);  // kept at 30 and 60 seconds
    crash();
    boxes.answers = {true};
    start();
    EXPECT_TRUE(boxes.informs.isEmpty()) << boxes.informs.join('\n').toStdString();
    EXPECT_EQ(boxes.confirms,
              QStringList{"Une surveillance n'a pas été enregistrée : Saisie, du 02/03/2026 "
                          "09:00:00 au 02/03/2026 09:01:00.\nVoulez-vous l'enregistrer ?"});
    auto rows = entries();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][3].toString(), "2026-03-02 09:01:00");
    EXPECT_EQ(rows[0][4].toInt(), 60);
    crash();

    db.exec("UPDATE travaux SET TRAVAUX = '' WHERE ID = 1");
    boxes.confirms.clear();
    start();
    saisie()->click();
    selectClient("Martin");
    tick(30);
    crash();
    boxes.answers = {true};
    start();
    ASSERT_EQ(boxes.confirms.size(), 1);
    EXPECT_TRUE(boxes.confirms[0].startsWith(
        "Une surveillance n'a pas été enregistrée : (sans nom), du 02/03/2026 08:01:00"))
        << boxes.confirms[0].toStdString();
    rows = entries();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0].toString(), "");
    EXPECT_EQ(rows[1][4].toInt(), 30);
}

// ---- cut off at any step ---------------------------------------------------------

// A crash or a power cut at any write, sync, rename, removal or commit of a
// stop, or of the recovery at the next start, never gives the timing twice
// and never drops it unasked: after it, the timing is stored once, or is
// still offered and stored once when accepted.
TEST_F(PendingTimingWindowTest, NoCutDuringAStopOrItsRecoveryStoresTwiceOrLoses) {
    const int stopSteps = stopCutAt(0, false);
    expectStoredOnce("no cut");
    ASSERT_GE(stopSteps, 7) << "the entry written beside (4), the commit, the removal (2)";

    // Each different state a cut of the stop leaves, and one cut that leaves it.
    std::map<QString, std::pair<int, bool>> leftovers;
    for (const bool power : {false, true}) {
        for (int k = 1; k <= stopSteps; ++k) {
            const QString what = QStringLiteral("%1 at step %2 of the stop")
                                     .arg(power ? "power cut" : "crash")
                                     .arg(k);
            stopCutAt(k, power);
            leftovers.emplace(leftBehind(), std::make_pair(k, power));
            expectStoredOnce(what);
        }
    }
    EXPECT_GE(leftovers.size(), 3u) << "cut before, while and after the entry is stored";

    for (const auto& [left, cut] : leftovers) {
        stopCutAt(cut.first, cut.second);
        const int recoverySteps = restartCutAt(0, false);
        expectStoredOnce(left);
        for (const bool power : {false, true}) {
            for (int j = 1; j <= recoverySteps; ++j) {
                const QString what = QStringLiteral("%1 at step %2 of the recovery of %3")
                                         .arg(power ? "power cut" : "crash")
                                         .arg(j)
                                         .arg(left);
                stopCutAt(cut.first, cut.second);
                restartCutAt(j, power);
                expectStoredOnce(what);
            }
        }
    }
}

}  // namespace

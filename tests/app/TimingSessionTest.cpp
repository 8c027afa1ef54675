// The timing without a window, and the cases where the stored entry once
// disagreed with the time really worked.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "WindowFixture.h"
#include "app/AwayWatcher.h"
#include "app/TimingSession.h"
#include "controls/ColorButton.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "reference/Unit11.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

// ---- the model alone ---------------------------------------------------------

class TimingSessionTest : public ::testing::Test {
protected:
    Instant at(qint64 secs) const { return {start.wall.addSecs(secs), start.mono + secs * 1000}; }

    QTemporaryDir dir;
    std::vector<LogEntry> log;
    bool refuse = false;
    const Instant start{DateTime(QDate(2026, 3, 2), QTime(9, 0)), 1'000'000};
    TimingSession session{{[this](const LogEntry& e, const QString&) {
                               return qint64(std::count(log.begin(), log.end(), e));
                           },
                           [this](const LogEntry& e, const QString&) {
                               if (refuse) throw Error("base verrouillée");
                               log.push_back(e);
                           }},
                          dir.filePath("surveillance.json")};
};

TEST_F(TimingSessionTest, StartStopAndSignals) {
    QSignalSpy started(&session, &TimingSession::started);
    QSignalSpy stopped(&session, &TimingSession::stopped);
    QSignalSpy changed(&session, &TimingSession::changed);
    ASSERT_TRUE(session.startTiming(2, "Réunion", start, {}, "appel"));
    EXPECT_FALSE(session.startTiming(3, "Saisie", at(1))) << "one timing at a time";
    EXPECT_EQ(session.activity(), "Réunion");
    EXPECT_TRUE(QFile::exists(session.pendingPath())) << "kept from its start";
    EXPECT_FALSE(session.stop(at(5))) << "no client: nothing stored, the timing goes on";
    EXPECT_TRUE(session.running());
    session.setSelectedClient("Garage Tremblay");
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(session.elapsedSeconds(at(90)), 90);
    ASSERT_TRUE(session.stop(at(90)));
    EXPECT_EQ(started.size(), 1);
    ASSERT_EQ(stopped.size(), 1);
    ASSERT_EQ(log.size(), 1u);
    const LogEntry expected{{}, "Garage Tremblay", "Réunion", start.wall, at(90).wall, 90, "appel"};
    EXPECT_EQ(log[0], expected);
    EXPECT_EQ(stopped[0][0].value<LogEntry>(), expected);
    EXPECT_FALSE(session.running());
    EXPECT_FALSE(QFile::exists(session.pendingPath()));
}

// The end and the duration of every entry come from one instant, whatever
// came between the click and the store.
TEST_F(TimingSessionTest, EndAndDurationComeFromOneInstant) {
    struct Case {
        const char* name;
        qint64 wallShift;  // the wall clock moved by hand during the timing
        qint64 clickSecs;  // the stop's click
        qint64 storeSecs;  // when the entry is stored (a chooser between)
        DateTime end;
        qint32 duration;
    };
    const DateTime nine(QDate(2026, 3, 2), QTime(9, 0));
    const Case cases[] = {
        {"plain", 0, 60, 60, nine.addSecs(60), 60},
        {"the chooser's time is not billed", 0, 60, 72, nine.addSecs(60), 60},
        {"clock set back an hour", -3600, 8, 8, nine.addSecs(8), 8},
        {"clock set forward two hours", 7200, 11, 11, nine.addSecs(11), 11},
    };
    for (const Case& c : cases) {
        log.clear();
        session.startTiming(1, "Saisie", start, "Martin");
        Instant click = at(c.clickSecs);
        click.wall = click.wall.addSecs(c.wallShift);
        session.beginStop(click);
        ASSERT_TRUE(session.stop(at(c.storeSecs))) << c.name;
        ASSERT_EQ(log.size(), 1u) << c.name;
        EXPECT_EQ(log[0].end, c.end) << c.name;
        EXPECT_EQ(log[0].duration, c.duration) << c.name;
        EXPECT_LE(log[0].start, log[0].end) << c.name;
    }
}

TEST_F(TimingSessionTest, ARefusedStopLeavesTheTimingAndTheRetryIsAMomentOfItsOwn) {
    session.startTiming(1, "Saisie", start, "Martin");
    refuse = true;
    EXPECT_THROW(session.stop(at(11)), Error);
    EXPECT_TRUE(session.running());
    EXPECT_FALSE(session.stopping());
    refuse = false;
    ASSERT_TRUE(session.stop(at(13)));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].duration, 13);
    EXPECT_EQ(log[0].start.secsTo(log[0].end), 13);
}

TEST_F(TimingSessionTest, ACutStoresUpToTheAbsenceAndNeverLessThanASecond) {
    struct Case {
        const char* name;
        qint64 endMs;
        bool resume;
        size_t rows;
    };
    const Case cases[] = {
        {"cut and continue", 600'000, true, 1},
        {"cut and stop", 600'000, false, 1},
        {"nothing before the absence, continue", 400, true, 0},
        {"nothing before the absence, stop", 0, false, 0},
    };
    for (const Case& c : cases) {
        log.clear();
        session.startTiming(1, "Saisie", start, {});
        session.setChosenClient("Martin", false);
        const Instant end{start.wall.addMSecs(c.endMs), start.mono + c.endMs};
        std::optional<Instant> resume;
        if (c.resume) resume = at(2700);
        ASSERT_TRUE(session.cut(end, resume)) << c.name;
        EXPECT_EQ(log.size(), c.rows) << c.name;
        EXPECT_EQ(session.running(), c.resume) << c.name;
        if (c.resume) {
            EXPECT_EQ(session.start(), at(2700).wall) << c.name;
            EXPECT_EQ(session.client(), "Martin") << c.name << ": the chooser's answer goes on";
            EXPECT_TRUE(QFile::exists(session.pendingPath())) << c.name;
            session.drop();
        }
        EXPECT_FALSE(QFile::exists(session.pendingPath())) << c.name;
    }
}

// The log keeps its times to the second: whatever fraction of a second the
// clicks fell on, the stored duration is the stored end less the stored
// start, and a timing cut and resumed at the same moment adds up to the
// whole, not a second lost or doubled.
TEST_F(TimingSessionTest, TheStoredDurationIsItsEndLessItsStartToTheSecond) {
    const auto seconds = [](const LogEntry& e) {
        return e.start.toMSecs() / 1000 - e.end.toMSecs() / 1000;
    };
    for (const qint64 startMs : {0, 100, 999}) {
        for (const qint64 lengthMs : {3200, 3900, 60'001, 60'999}) {
            SCOPED_TRACE(QString("start +%1 ms, %2 ms").arg(startMs).arg(lengthMs).toStdString());
            log.clear();
            const Instant begin{start.wall.addMSecs(startMs), start.mono + startMs};
            session.startTiming(1, "Saisie", begin, "Martin");
            // A cut halfway, the timing going on from the same moment.
            const Instant half{begin.wall.addMSecs(lengthMs / 2), begin.mono + lengthMs / 2};
            ASSERT_TRUE(session.cut(half, half));
            const Instant end{begin.wall.addMSecs(lengthMs), begin.mono + lengthMs};
            session.beginStop(end);
            ASSERT_TRUE(session.stop(end));
            ASSERT_EQ(log.size(), 2u);
            for (const LogEntry& e : log) EXPECT_EQ(-seconds(e), e.duration);
            EXPECT_EQ(log[0].end, log[1].start);
            EXPECT_EQ(log[0].duration + log[1].duration,
                      end.wall.toMSecs() / 1000 - begin.wall.toMSecs() / 1000);
        }
    }
}

TEST_F(TimingSessionTest, TheStateFileHoldsItsOwnElapsedTime) {
    session.setDatabase("tavix.db");
    session.startTiming(1, "Saisie", start, "Martin");
    Instant later = at(45);
    later.wall = later.wall.addSecs(-3600);  // set back an hour
    const TimingState state = session.stateAt(later);
    EXPECT_EQ(state.elapsedSeconds, 45);
    EXPECT_EQ(state.lastSeen, start.wall.addSecs(45));
    TimingState read;
    ASSERT_TRUE(PendingTiming::decode(PendingTiming::encode(state), read));
}

// ---- the table of cases, through the window -----------------------------------

struct Row {
    QString start, end;
    int seconds;
};

class EntryTruthTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        application::setTitle("Tavix - surveillance de tâches");
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
        db.exec("INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1)");
        WriteSetting("sgbd", db.path());
        WriteSetting("absence", "15");
    }
    void TearDown() override {
        away.reset();
        WindowFixture::TearDown();
    }
    void startWatching() {
        start();
        away = std::make_unique<AwayWatcher>(*form);
    }
    TColorButton* button() const { return form->Panel2->findChild<TColorButton*>("BP_1"); }
    std::vector<Row> rows() const {
        std::vector<Row> result;
        for (const auto& r : db.rows("SELECT DEBUT, FIN, DUREE FROM activites ORDER BY ID"))
            result.push_back({r[0].toString(), r[1].toString(), r[2].toInt()});
        return result;
    }
    // Every entry: DEBUT <= FIN, and FIN - DEBUT within a second of DUREE.
    void expectTrue(const char* label) const {
        for (const Row& r : rows()) {
            const auto s = DateTime::fromIso(r.start), e = DateTime::fromIso(r.end);
            ASSERT_TRUE(s && e) << label;
            EXPECT_LE(*s, *e) << label;
            EXPECT_LE(std::abs(s->secsTo(*e) - r.seconds), 1) << label;
        }
    }
    // Lets the window's own timer tick, fast, for `ms` of real time.
    void ticksFor(int ms) {
        form->Timer1->setInterval(5);
        QTest::qWait(ms);
        form->Timer1->setInterval(1000);
    }
    // Away from 9:10 to 9:45, then back: the question comes from the tick.
    void awayThenBack() {
        clock.advance(600);
        idle.ms = 0;
        away->poll();
        clock.advance(2100);
        idle.ms = 2100 * 1000;
        away->poll();
        idle.ms = 0;
        form->Timer1->setInterval(5);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.questions.isEmpty(); }, 2000))
            << "the question never came";
        form->Timer1->setInterval(1000);
    }

    test::FakeIdle idle;
    test::FakeSleep sleep;
    std::unique_ptr<AwayWatcher> away;
};

// A question or message up during a timing, answered, then a stop before
// the next tick: the stop counts the time the box stood.
TEST_F(EntryTruthTest, AStopRightAfterABoxCountsTheTimeItStood) {
    const struct {
        const char* name;
        int answer;  // -1: a message from the tick (a bad setting)
        std::vector<Row> rows;
    } cases[] = {
        {"message", -1, {{"2026-03-02 09:00:00", "2026-03-02 09:00:19", 19}}},
        {"Garder", AwayWatcher::Keep, {{"2026-03-02 09:00:00", "2026-03-02 09:45:20", 2720}}},
        {"Retirer et continuer",
         AwayWatcher::RemoveAndContinue,
         {{"2026-03-02 09:00:00", "2026-03-02 09:10:00", 600},
          {"2026-03-02 09:45:00", "2026-03-02 09:45:20", 20}}},
    };
    for (const auto& c : cases) {
        db.exec("DELETE FROM activites");
        clock.set(DateTime(QDate(2026, 3, 2), QTime(9, 0)));
        boxes.questions.clear();
        boxes.errors.clear();
        WriteSetting("absence", c.answer < 0 ? "beaucoup" : "15");
        startWatching();
        selectClient("Martin");
        // The box stands 20 s (19 for the message, shown a second in).
        boxes.whenShown = [&](const QString&) { clock.advance(c.answer < 0 ? 18 : 20); };
        boxes.choices = {std::max(c.answer, 0)};
        button()->click();
        if (c.answer < 0) {
            clock.advance(1);
            ticksFor(50);
            ASSERT_EQ(boxes.errors.size(), 1) << c.name;
        } else {
            awayThenBack();
        }
        boxes.whenShown = nullptr;
        button()->click();
        EXPECT_EQ(rows().size(), c.rows.size()) << c.name;
        for (size_t i = 0; i < std::min(rows().size(), c.rows.size()); ++i) {
            EXPECT_EQ(rows()[i].start, c.rows[i].start) << c.name << " row " << i;
            EXPECT_EQ(rows()[i].end, c.rows[i].end) << c.name << " row " << i;
            EXPECT_EQ(rows()[i].seconds, c.rows[i].seconds) << c.name << " row " << i;
        }
        expectTrue(c.name);
        TearDown();
    }
}

// Killed 66 s into a question: the state file holds the time it stood.
TEST_F(EntryTruthTest, TheStateFileIsKeptWhileTheQuestionStands) {
    startWatching();
    selectClient("Martin");
    button()->click();
    boxes.whenShown = [&](const QString&) {
        clock.advance(66);
        QTest::qWait(100);  // the window's loop runs behind the question
    };
    awayThenBack();
    QFile file(form->Timing->pendingPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TimingState kept;
    ASSERT_TRUE(PendingTiming::decode(file.readAll(), kept));
    EXPECT_EQ(kept.elapsedSeconds, 600 + 2100 + 66);
    EXPECT_EQ(kept.lastSeen, kept.start.addSecs(kept.elapsedSeconds));
}

// The wall clock set by hand is no absence, and no entry ends before it
// starts or lasts what the clock says instead of what was worked.
TEST_F(EntryTruthTest, TheWallClockSetByHandChangesNoDuration) {
    const struct {
        const char* name;
        qint64 shift;
        bool duringQuestion;
        size_t rows;
    } cases[] = {
        {"back an hour", -3600, false, 1},
        {"forward two hours", 7200, false, 1},
        {"back an hour during the question", -3600, true, 2},
        {"forward two hours during the question", 7200, true, 2},
    };
    for (const auto& c : cases) {
        db.exec("DELETE FROM activites");
        clock.set(DateTime(QDate(2026, 3, 2), QTime(9, 0)));
        boxes.questions.clear();
        startWatching();
        selectClient("Martin");
        button()->click();
        if (c.duringQuestion) {
            boxes.choices = {AwayWatcher::RemoveAndContinue};
            boxes.whenShown = [&](const QString&) { clock.set(clock.now().addSecs(c.shift)); };
            awayThenBack();
            boxes.whenShown = nullptr;
        } else {
            clock.advance(5);
            form->Timer1Timer();
            clock.set(clock.now().addSecs(c.shift));
            ticksFor(50);
            away->poll();
            EXPECT_TRUE(boxes.questions.isEmpty()) << c.name << ": taken for an absence";
        }
        clock.advance(8);
        button()->click();
        ASSERT_EQ(rows().size(), c.rows) << c.name;
        EXPECT_EQ(rows().back().seconds, c.duringQuestion ? 8 : 13) << c.name;
        expectTrue(c.name);
        TearDown();
    }
}

TEST_F(EntryTruthTest, ARefusedStopRetriedStoresItsOwnMoment) {
    start();
    selectClient("Martin");
    module->ADOConnection1.setBusyTimeout(100);
    button()->click();
    clock.advance(11);
    form->Timer1Timer();
    {
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(db.path().toUtf8().constData(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        button()->click();
        sqlite3_close(other);
    }
    ASSERT_EQ(boxes.errors.size(), 1);
    clock.advance(2);  // no tick before the retry
    button()->click();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].seconds, 13);
    EXPECT_EQ(rows()[0].end, "2026-03-02 09:00:13");
}

// The chooser's time is not billed: the stop is the click.
TEST_F(EntryTruthTest, TheStopThroughTheChooserIsTheClick) {
    start();
    button()->click();
    clock.advance(30);
    modals.scripts.push_back([&](QDialog& d) {
        clock.advance(12);
        auto& chooser = dynamic_cast<TForm11&>(d);
        chooser.ChosenClient = "Martin";
        return int(QDialog::Accepted);
    });
    button()->click();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].end, "2026-03-02 09:00:30");
    EXPECT_EQ(rows()[0].seconds, 30);
}

// A record claiming more time than its start and last save hold is set
// aside, never offered nor stored.
TEST_F(EntryTruthTest, AnImplausiblePendingRecordIsSetAside) {
    TimingState state;
    state.database = db.path();
    state.activityId = 1;
    state.activity = "Réunion";
    state.client = "Martin";
    state.start = DateTime(QDate(2026, 3, 2), QTime(9, 0));
    state.lastSeen = DateTime(QDate(2026, 3, 2), QTime(9, 10));
    state.elapsedSeconds = 2147483647;
    PendingTiming(paths::pendingTimingPath()).save(state);
    boxes.answers = {true};
    start();
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "offered: " << boxes.confirms.join("|").toStdString();
    EXPECT_EQ(boxes.informs.size(), 1);
    EXPECT_TRUE(rows().empty());
}

}  // namespace

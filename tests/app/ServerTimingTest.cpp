// Timing against a real PostgreSQL server that locks, restarts or is away:
// the tracking window keeps answering, and every stop is stored once.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>
#include <memory>

#include "WindowFixture.h"
#include "app/TimingSession.h"
#include "app/Unit1.h"
#include "common/PgCluster.h"
#include "controls/ColorButton.h"
#include "data/Unit2.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

class ServerTimingTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        QDir(WaitingEntries::defaultFolder()).removeRecursively();
        // The server's clock is the real one: a workstation's far from it is told.
        clock.set(DateTime(QDate::currentDate(), QTime::currentTime()));
    }

    // A database in the program's layout with one client and one activity.
    QString serverDatabase(test::PgCluster& cluster) {
        const QString database = cluster.createDatabase();
        {
            TDataModule2 maker;
            maker.DatabasePath = database;
            EXPECT_TRUE(maker.OpenDatabase());
        }
        cluster.exec(database, "INSERT INTO clients (\"NOM\") VALUES ('Martin')");
        cluster.exec(
            database,
            "INSERT INTO travaux (\"ID\", \"TRAVAUX\", \"ORDRE\") VALUES (1, 'Saisie', 1)");
        WriteSetting("sgbd", database);
        return database;
    }
    // The window's start, the data module's waits made short for the test.
    void startOnServer() {
        module = std::make_unique<TDataModule2>();
        module->RetryIntervalMs = 200;
        module->StopPatienceMs = 600;
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->firstShowingRan(); }));
    }
    TColorButton* saisie() const { return form->Panel2->findChild<TColorButton*>("BP_1"); }
    static int rows(test::PgCluster& cluster, const QString& database) {
        return cluster.scalar(database, "SELECT count(*) FROM activites").toInt();
    }
};

// The server started again when the test ends, whatever it met.
struct Restart {
    test::PgCluster& cluster;
    ~Restart() { cluster.start(); }
};

// A lock held by another connection during a stop: the loop keeps turning
// and the wait is shown; after a few seconds the entry waits on this
// workstation (told once, counted in the status line), and it is stored
// once when the lock goes, without the window ever waiting for it.
TEST_F(ServerTimingTest, ALockHeldElsewhereDuringAStopNeverHoldsTheWindow) {
    TAVIX_PG_OR_SKIP(cluster);
    const QString database = serverDatabase(*cluster);
    startOnServer();
    ASSERT_NE(saisie(), nullptr);
    saisie()->click();
    selectClient("Martin");
    tick(90);
    const QString key = form->Timing->key();
    ASSERT_FALSE(key.isEmpty());

    int turns = 0;
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, [&] { ++turns; });
    loop.start(10);
    QSignalSpy waits(module.get(), &TDataModule2::serverWait);
    auto lock = std::make_unique<test::PgCluster::Holder>(
        database, "LOCK TABLE activites IN ACCESS EXCLUSIVE MODE");
    QElapsedTimer stop;
    stop.start();
    // A second click while the stop waits (the window seemed stuck) would
    // start the timing again: it is dropped.
    QTimer::singleShot(300, [&] { QTest::mouseClick(saisie(), Qt::LeftButton); });
    saisie()->click();
    const qint64 stopMs = stop.elapsed();
    EXPECT_GT(turns, 20) << "the event loop kept turning during the stop";
    EXPECT_LT(stopMs, 5000) << "a stop waits a few seconds at most";
    EXPECT_FALSE(form->Timing->running()) << "stopped for the user, and not started again";
    QTest::qWait(50);
    EXPECT_FALSE(form->Timing->running());
    ASSERT_GE(waits.size(), 2);
    EXPECT_TRUE(waits.first().at(0).toBool()) << "the wait was shown";
    EXPECT_FALSE(waits.last().at(0).toBool());
    ASSERT_EQ(boxes.informs.size(), 1) << boxes.informs.join("\n").toStdString();
    EXPECT_TRUE(boxes.informs[0].contains("conservée")) << boxes.informs[0].toStdString();
    EXPECT_EQ(module->WaitingCount(), 1);
    EXPECT_TRUE(form->statusBar()->isVisible());
    EXPECT_EQ(form->WaitingLabel->text(), "1 surveillance en attente du serveur sur ce poste");

    // The retries meet the lock on their own connection: the window stays
    // free meanwhile.
    turns = 0;
    QTest::qWait(1500);
    EXPECT_GT(turns, 50);
    EXPECT_EQ(boxes.informs.size(), 1) << "nothing stored while the lock holds";

    lock->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.informs.size() == 2; }, 15000));
    EXPECT_TRUE(boxes.informs[1].contains("enregistrée")) << boxes.informs[1].toStdString();
    EXPECT_EQ(cluster->rows(database, "SELECT \"CLIENTS\", \"DUREE\", tavix_jeton FROM activites"),
              QStringList{"Martin|90|" + key});
    EXPECT_EQ(module->WaitingCount(), 0);
    EXPECT_FALSE(form->WaitingLabel->isVisible());
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

// The server restarted (stopped the ordinary way, which tells each
// session it ends, or at once, as after a crash, which tells nothing): the
// first statement after it meets a closed socket. A stop then is stored (or
// kept here and stored), never refused, whether its first statement is the
// check of what is stored or the insert itself.
TEST_F(ServerTimingTest, TheFirstStopAfterARestartIsNeverRefused) {
    TAVIX_PG_OR_SKIP(cluster);
    const QString database = serverDatabase(*cluster);
    startOnServer();
    ASSERT_NE(saisie(), nullptr);
    int expected = 0;
    for (const bool immediate : {false, true}) {
        SCOPED_TRACE(immediate ? "immediate" : "fast");
        const auto restart = [&] {
            Restart guard{*cluster};
            if (immediate) {
                cluster->restartImmediately();
            } else {
                cluster->stop();
                cluster->start();
            }
        };
        saisie()->click();
        selectClient("Martin");
        tick(30);
        restart();
        saisie()->click();
        EXPECT_FALSE(form->Timing->running());
        ++expected;
        ASSERT_TRUE(QTest::qWaitFor([&] { return rows(*cluster, database) == expected; }, 10000));

        restart();
        module->AddLogEntry("", "Martin", "Saisie", DateTime(QDate(2026, 3, 2), QTime(10, 0)),
                            DateTime(QDate(2026, 3, 2), QTime(10, 1)), 60, "", newEntryKey());
        ++expected;
        ASSERT_TRUE(QTest::qWaitFor([&] { return rows(*cluster, database) == expected; }, 10000));
    }
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(module->WaitingCount(), 0) << "stored at once on a new connection";
}

// Two people on one machine, the user not written in the log, timing the
// same activity for the same client in the same seconds: two rows. An
// insert of a timing tried again never gives a second.
TEST_F(ServerTimingTest, TwoTimingsOfEqualValuesGiveTwoRowsAndARetryNone) {
    TAVIX_PG_OR_SKIP(cluster);
    const QString database = serverDatabase(*cluster);
    QTemporaryDir homes;
    std::vector<std::unique_ptr<TDataModule2>> workstations;
    std::vector<std::unique_ptr<TimingSession>> sessions;
    const Instant from{DateTime(QDate(2026, 3, 2), QTime(9, 0)), 5'000'000};
    const Instant to{from.wall.addSecs(600), from.mono + 600'000};
    for (int i = 0; i < 2; ++i) {
        auto& m = workstations.emplace_back(std::make_unique<TDataModule2>());
        m->DatabasePath = database;
        ASSERT_TRUE(m->OpenDatabase());
        TDataModule2* raw = m.get();
        sessions.push_back(std::make_unique<TimingSession>(
            PendingTiming::Log{[raw](const LogEntry& e, const QString& key) {
                                   return raw->CountLogEntries(e.user, e.client, e.activity,
                                                               e.start, e.end, e.duration,
                                                               e.comment, key);
                               },
                               [raw](const LogEntry& e, const QString& key) {
                                   raw->AddLogEntry(e.user, e.client, e.activity, e.start, e.end,
                                                    e.duration, e.comment, key);
                               }},
            homes.filePath(QStringLiteral("poste%1.json").arg(i))));
        sessions.back()->setDatabase(database);
        ASSERT_TRUE(sessions.back()->startTiming(1, "Saisie", from, "Martin"));
    }
    EXPECT_NE(sessions[0]->key(), sessions[1]->key());
    const QString firstKey = sessions[0]->key();
    const LogEntry entry = sessions[0]->entryAt(to);
    for (auto& s : sessions) ASSERT_TRUE(s->stop(to));
    EXPECT_EQ(rows(*cluster, database), 2);

    workstations[0]->AddLogEntry(entry.user, entry.client, entry.activity, entry.start, entry.end,
                                 entry.duration, entry.comment, firstKey);
    EXPECT_EQ(rows(*cluster, database), 2) << "the same timing again: nothing more";
    EXPECT_EQ(
        workstations[0]->CountLogEntries(entry.user, entry.client, entry.activity, entry.start,
                                         entry.end, entry.duration, entry.comment, firstKey),
        1);
}

// Started while the server is down: told once that it is tried again;
// once the server answers, the buttons and the clients come and a timing
// is stored, without a restart.
TEST_F(ServerTimingTest, AWorkstationStartedWithTheServerDownTimesOnceItAnswers) {
    TAVIX_PG_OR_SKIP(cluster);
    const QString database = serverDatabase(*cluster);
    {
        Restart guard{*cluster};
        cluster->stop();
        startOnServer();
        EXPECT_EQ(saisie(), nullptr);
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].contains("arrière-plan")) << boxes.errors[0].toStdString();
        EXPECT_TRUE(module->Reopening());
        QTest::qWait(700);
        EXPECT_EQ(boxes.errors.size(), 1) << "told once, not at every try";
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return saisie() != nullptr; }, 15000));
    EXPECT_EQ(form->RadioGroup1->items(), QStringList{"Martin"});
    saisie()->click();
    selectClient("Martin");
    tick(12);
    saisie()->click();
    EXPECT_FALSE(form->Timing->running());
    EXPECT_EQ(cluster->rows(database, "SELECT \"SURVEILLANCES\", \"DUREE\" FROM activites"),
              QStringList{"Saisie|12"});
    EXPECT_EQ(boxes.errors.size(), 1) << boxes.errors.join('\n').toStdString();
}

}  // namespace

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <optional>
#include <vector>

#include "common/Fakes.h"
#include "data/PendingTiming.h"
#include "platform/AtomicFile.h"
#include "platform/Error.h"

using namespace tavix;

namespace {

class PendingTimingTest : public ::testing::Test {
protected:
    PendingTimingTest() {
        state.database = dir.filePath("tavix.mdb");
        state.activityId = 7;
        state.activity = "Appel d'offre";
        state.start = DateTime(QDate(2026, 3, 2), QTime(9, 0));
        state.elapsedSeconds = 95;
        state.client = "L'Oréal";
        state.comment = "Devis \"urgent\"\nligne 2";
        state.lastSeen = DateTime(QDate(2026, 3, 2), QTime(9, 1, 36));
    }

    void writeRaw(const QByteArray& content) const {
        QFile out(pending.path());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    QStringList files(const QString& pattern = "*") const {
        return QDir(dir.path()).entryList({pattern}, QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    test::FakeClock clock;
    PendingTiming pending{dir.filePath("surveillance-en-cours.json")};
    TimingState state;
};

TEST_F(PendingTimingTest, ATimingIsKeptUntilForgotten) {
    pending.save(state);
    state.elapsedSeconds = 125;  // the latest write wins
    pending.save(state);
    EXPECT_EQ(files(), QStringList{"surveillance-en-cours.json"}) << "no temporary file is left";

    auto found = pending.collect(state.database);
    ASSERT_EQ(found.timings.size(), 1u);
    EXPECT_EQ(found.timings[0].state, state);
    EXPECT_TRUE(found.reports.isEmpty());
    EXPECT_FALSE(QFile::exists(pending.path())) << "a new timing may use the name again";

    // Not forgotten (not stored yet): offered again at the next start.
    found = pending.collect(state.database);
    ASSERT_EQ(found.timings.size(), 1u);
    PendingTiming::forget(found.timings[0]);
    EXPECT_TRUE(pending.collect(state.database).timings.empty());
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(PendingTimingTest, ANewTimingNeverOverwritesOneNotYetStored) {
    pending.save(state);
    ASSERT_EQ(pending.collect(state.database).timings.size(), 1u);
    TimingState second = state;
    second.activity = "Saisie";
    pending.save(second);
    clock.advance(3600);
    const auto found = pending.collect(state.database);
    ASSERT_EQ(found.timings.size(), 2u);
    EXPECT_EQ(found.timings[0].state.activity, "Appel d'offre");
    EXPECT_EQ(found.timings[1].state.activity, "Saisie");
}

TEST_F(PendingTimingTest, RemoveLeavesNothingBehind) {
    pending.save(state);
    pending.remove();
    EXPECT_TRUE(files().isEmpty());
    EXPECT_TRUE(pending.collect(state.database).timings.empty());
}

TEST_F(PendingTimingTest, AWriteCutShortLeavesTheEarlierState) {
    pending.save(state);
    // What a crash between writing the temporary file and renaming it leaves.
    QFile temp(pending.path() + ".Ab12Cd");
    ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
    temp.write("{\"format\": 1, \"datab");
    temp.close();
    const auto found = pending.collect(state.database);
    ASSERT_EQ(found.timings.size(), 1u);
    EXPECT_EQ(found.timings[0].state, state);
    EXPECT_TRUE(found.reports.isEmpty());
    EXPECT_FALSE(temp.exists());
}

TEST_F(PendingTimingTest, UnreadableFilesAreSetAsideAndReportedOnce) {
    const QByteArray good = PendingTiming::encode(state);
    QByteArray edited = good;
    edited.replace("\"elapsedSeconds\": 95", "\"elapsedSeconds\": \"95\"");
    ASSERT_NE(edited, good);
    TimingState stopping = state;
    stopping.stopping = Stopping{{"", "Martin", "Saisie", state.start, state.lastSeen, 95, ""}, 2};
    QByteArray noEnd = PendingTiming::encode(stopping);
    ASSERT_TRUE(noEnd.contains("\"end\": \"2026-03-02 09:01:36\""));
    noEnd.replace("\"end\": \"2026-03-02 09:01:36\"", "\"fin\": \"2026-03-02 09:01:36\"");
    QByteArray badDate = good;
    badDate.replace("2026-03-02 09:00:00", "2026-02-30 09:00:00");
    const struct {
        const char* what;
        QByteArray content;
    } cases[] = {
        {"truncated", good.left(good.size() / 2)},
        {"empty", ""},
        {"a number as text", edited},
        {"an entry being stored without its end", noEnd},
        {"no such day", badDate},
        {"not an object", "[1, 2]"},
        {"another format", QByteArray(good).replace("\"format\": 1", "\"format\": 2")},
        {"more elapsed time than its start and last save hold",
         QByteArray(good).replace("\"elapsedSeconds\": 95", "\"elapsedSeconds\": 2147483647")},
    };
    for (const auto& c : cases) {
        writeRaw(c.content);
        const auto found = pending.collect(state.database);
        EXPECT_TRUE(found.timings.empty()) << c.what;
        ASSERT_EQ(found.reports.size(), 1) << c.what;
        EXPECT_TRUE(found.reports[0].contains("ne peut pas être relu")) << c.what;
        const QStringList aside = files("surveillance-illisible-*.json");
        ASSERT_EQ(aside.size(), 1) << c.what;
        EXPECT_TRUE(found.reports[0].contains(aside[0])) << found.reports[0].toStdString();
        QFile kept(QDir(dir.path()).filePath(aside[0]));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.content) << "set aside, not destroyed";
        kept.close();
        EXPECT_TRUE(pending.collect(state.database).reports.isEmpty()) << "told once only";
        kept.remove();
    }
}

TEST_F(PendingTimingTest, AReadableFileIsOfferedWhateverItsTimesAndLabel) {
    TimingState setBack = state;  // the clock put back an hour during the timing
    setBack.lastSeen = state.start.addSecs(-3600 + 95);
    TimingState unnamed = state;
    unnamed.activity.clear();
    TimingState beingStored = setBack;
    beingStored.stopping =
        Stopping{{"Poste 1", "", "", setBack.start, setBack.lastSeen, -5, "\"\n"}, 3};
    for (const TimingState& kept : {setBack, unnamed, beingStored}) {
        pending.save(kept);
        const auto found = pending.collect(state.database);
        EXPECT_TRUE(found.reports.isEmpty()) << found.reports.join('\n').toStdString();
        ASSERT_EQ(found.timings.size(), 1u);
        EXPECT_EQ(found.timings[0].state, kept);
        PendingTiming::forget(found.timings[0]);
    }
}

TEST_F(PendingTimingTest, AFileOfAnotherDatabaseIsSetAsideAndReportedOnce) {
    pending.save(state);
    const QString other = dir.filePath("autre.mdb");
    const auto found = pending.collect(other);
    EXPECT_TRUE(found.timings.empty());
    ASSERT_EQ(found.reports.size(), 1);
    EXPECT_TRUE(found.reports[0].startsWith(
        "Une surveillance non enregistrée (Appel d'offre, du 02/03/2026 09:00:00 au 02/03/2026 "
        "09:01:36) appartient à la base de données \"" +
        QDir::toNativeSeparators(state.database)))
        << found.reports[0].toStdString();
    EXPECT_EQ(files("surveillance-autre-base-*.json").size(), 1);
    EXPECT_TRUE(pending.collect(other).reports.isEmpty());
    EXPECT_TRUE(pending.collect(state.database).timings.empty());
}

// A log kept in memory that notes what the state file held at each insert.
struct MemoryLog {
    std::vector<LogEntry> rows;
    std::vector<std::optional<TimingState>> fileAtInsert;
    bool refuse = false;

    PendingTiming::Log log(const QString& file) {
        return {[this](const LogEntry& e, const QString&) {
                    return static_cast<qint64>(std::count(rows.begin(), rows.end(), e));
                },
                [this, file](const LogEntry& e, const QString&) {
                    QFile in(file);
                    TimingState kept;
                    const bool there =
                        in.open(QIODevice::ReadOnly) && PendingTiming::decode(in.readAll(), kept);
                    fileAtInsert.push_back(there ? std::optional(kept) : std::nullopt);
                    if (refuse) throw Error("refus");
                    rows.push_back(e);
                }};
    }
};

TEST_F(PendingTimingTest, StoringKeepsTheEntryInTheFileUntilItIsInTheLog) {
    const LogEntry entry{"", "Martin", "Saisie", state.start, state.lastSeen, 95, "note"};
    MemoryLog memory;
    memory.rows = {entry};  // an equal row stored before: two after
    const PendingTiming::Log log = memory.log(pending.path());
    pending.save(state);
    PendingTiming::store(pending.path(), state, entry, log);
    ASSERT_EQ(memory.fileAtInsert.size(), 1u);
    ASSERT_TRUE(memory.fileAtInsert[0].has_value()) << "the file is there during the insert";
    const TimingState& during = *memory.fileAtInsert[0];
    ASSERT_TRUE(during.stopping.has_value());
    EXPECT_EQ(during.stopping->entry, entry);
    EXPECT_EQ(during.stopping->rowsBefore, 1);
    EXPECT_EQ(memory.rows.size(), 2u);
    EXPECT_TRUE(files().isEmpty()) << "and gone after it";
    EXPECT_TRUE(PendingTiming::stored(during, log)) << "two rows now, one before";
    EXPECT_FALSE(PendingTiming::stored(state, log)) << "a running timing is never stored";

    // A refused insert: the timing goes on, its file as it was.
    pending.save(state);
    memory.refuse = true;
    EXPECT_THROW(PendingTiming::store(pending.path(), state, entry, log), Error);
    QFile in(pending.path());
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), PendingTiming::encode(state));
}

// The entry cannot be written beside the timing (a full disk): the file
// goes before the insert, so that a crash can never store it twice.
TEST_F(PendingTimingTest, AnEntryThatCannotBeWrittenBesideGoesInWithoutItsFile) {
    struct RefuseWrites : files::StepWatcher {
        RefuseWrites() { files::setStepWatcher(this); }
        ~RefuseWrites() override { files::setStepWatcher(nullptr); }
        void before(files::Step step, const QString&, const QString&) override {
            if (step == files::Step::Write) throw Error("disque plein");
        }
    };
    const LogEntry entry{"", "Martin", "Saisie", state.start, state.lastSeen, 95, ""};
    MemoryLog memory;
    pending.save(state);
    {
        RefuseWrites refuse;
        PendingTiming::store(pending.path(), state, entry, memory.log(pending.path()));
    }
    ASSERT_EQ(memory.fileAtInsert.size(), 1u);
    EXPECT_FALSE(memory.fileAtInsert[0].has_value());
    EXPECT_EQ(memory.rows, std::vector<LogEntry>{entry});
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(PendingTimingTest, AFailingWriteIsToldOnceUntilAWriteSucceeds) {
    QFile blocker(dir.filePath("bloque"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PendingTiming blocked(dir.filePath("bloque/surveillance-en-cours.json"));
    try {
        blocked.save(state);
        ADD_FAILURE() << "the write should fail";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains("surveillance-en-cours.json")) << e.what();
    }
    EXPECT_NO_THROW(blocked.save(state));
    ASSERT_TRUE(blocker.remove());
    EXPECT_NO_THROW(blocked.save(state));
    EXPECT_TRUE(QFile::exists(blocked.path()));
    ASSERT_TRUE(QDir(dir.filePath("bloque")).removeRecursively());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(blocked.save(state), Error) << "a new series of failures is told again";
}

}  // namespace

namespace {

// The key that names a timing in a server's log travels with its file. A
// file an earlier version wrote has none: a stop it left half done keeps
// the key that version gave its values, so it is not stored twice; a
// running one gets a new key. A key that is not one is no file of ours.
TEST(PendingTimingKeyTest, TheKeyIsKeptAndAFileWithoutOneGetsTheRightOne) {
    TimingState state;
    state.database = "/base/tavix.mdb";
    state.activity = "Saisie";
    state.start = DateTime(QDate(2026, 3, 2), QTime(9, 0));
    state.lastSeen = state.start.addSecs(60);
    state.elapsedSeconds = 60;
    state.key = newEntryKey();
    const LogEntry entry{"", "Martin", "Saisie", state.start, state.lastSeen, 60, ""};
    const auto withoutKey = [](const TimingState& s) {
        QJsonObject o = QJsonDocument::fromJson(PendingTiming::encode(s)).object();
        o.remove("key");
        return QJsonDocument(o).toJson();
    };
    TimingState read;
    ASSERT_TRUE(PendingTiming::decode(PendingTiming::encode(state), read));
    EXPECT_EQ(read, state);

    TimingState stopping = state;
    stopping.stopping = Stopping{entry, 0};
    ASSERT_TRUE(PendingTiming::decode(withoutKey(stopping), read));
    EXPECT_EQ(read.key, legacyEntryKey(entry));

    ASSERT_TRUE(PendingTiming::decode(withoutKey(state), read));
    EXPECT_FALSE(QUuid(read.key).isNull());
    EXPECT_NE(read.key, state.key);

    TimingState bad = state;
    bad.key = "pas une clé";
    EXPECT_FALSE(PendingTiming::decode(PendingTiming::encode(bad), read));
}

}  // namespace

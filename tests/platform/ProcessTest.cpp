// The process among others: one copy per user, the end-of-session signals,
// and the three-way question asked before the program ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <future>

#include "platform/Services.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#endif

using namespace tavix;

namespace {

using Outcome = SingleInstance::Outcome;

// Another start, as a second process would make it: in a thread of its own,
// while this one's loop answers as the running copy.
Outcome startAnother(const QStringList& folder, int patienceMs = 10000) {
    auto outcome = std::async(std::launch::async, [&] {
        SingleInstance other(folder, patienceMs);
        return other.acquire();
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        30000));
    return outcome.get();
}

Outcome startAnother(const QString& folder, int patienceMs = 10000) {
    return startAnother(QStringList{folder}, patienceMs);
}

TEST(SingleInstanceTest, ASecondStartBringsTheFirstForwardAndEnds) {
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    ASSERT_EQ(first.acquire(), Outcome::First);
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    qputenv("XDG_ACTIVATION_TOKEN", "jeton-42");
    EXPECT_EQ(startAnother(folder.path()), Outcome::Forwarded);
    qunsetenv("XDG_ACTIVATION_TOKEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.count() == 1; }));
    EXPECT_EQ(asked[0][0].toString(), "jeton-42") << "the desktop's token goes to the first";
    EXPECT_EQ(startAnother(folder.path()), Outcome::Forwarded) << "every later start too";
}

TEST(SingleInstanceTest, AfterARestartTheNextCopyWaitsForThisOneToEnd) {
    QTemporaryDir folder;
    auto first = std::make_unique<SingleInstance>(folder.path());
    ASSERT_EQ(first->acquire(), Outcome::First);
    SingleInstance::handOver();
    EXPECT_FALSE(QFile::exists(first->socketPath())) << "no longer answering";
    EXPECT_EQ(startAnother(folder.path(), 300), Outcome::Unanswered) << "still holding the lock";
    // This copy ends while the next one waits.
    auto next = std::async(std::launch::async, [&] {
        SingleInstance other(folder.path());
        return other.acquire();
    });
    QTest::qWait(300);
    first.reset();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return next.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        30000));
    EXPECT_EQ(next.get(), Outcome::First);
}

#ifdef Q_OS_UNIX
// A copy killed outright leaves its lock file and its socket behind: neither
// blocks the next start, and the lock was the system's to release.
TEST(SingleInstanceTest, ACopyThatDiedNeverBlocksAStart) {
    QTemporaryDir folder;
    SingleInstance probe(folder.path());
    const QByteArray lockPath = QFile::encodeName(probe.lockPath());
    const QByteArray socketPath = QFile::encodeName(probe.socketPath());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The dying copy: system calls only.
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0600);
        ::flock(fd, LOCK_EX);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
        ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        if (::write(ready[1], "x", 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(startAnother(folder.path(), 300), Outcome::Unanswered) << "alive and silent";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(QFile::exists(probe.lockPath()));
    ASSERT_TRUE(QFile::exists(probe.socketPath()));

    SingleInstance next(folder.path(), 300);
    ASSERT_EQ(next.acquire(), Outcome::First);
    QSignalSpy asked(&next, &SingleInstance::activationRequested);
    EXPECT_EQ(startAnother(folder.path()), Outcome::Forwarded) << "its socket answers";
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked.count() == 1; }));
}

// A file system mounted for one test: a tmpfs with no room left, or a
// read-only view of a folder. Mounting needs root; without it the test skips.
class Mount {
public:
    enum Kind { Full, ReadOnly };
    Mount(Kind kind, const QString& at) : at_(QFile::encodeName(at)) {
        if (kind == Full) {
            mounted_ =
                ::mount("tavix-full", at_.constData(), "tmpfs", 0, "size=4k,nr_inodes=2") == 0;
            // The one inode left goes to a file that also takes the one block.
            QFile filler(at + "/plein");
            if (mounted_ && filler.open(QIODevice::WriteOnly)) filler.write(QByteArray(8192, 'x'));
        } else {
            mounted_ = ::mount(at_.constData(), at_.constData(), nullptr, MS_BIND, nullptr) == 0 &&
                       ::mount(nullptr, at_.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                               nullptr) == 0;
        }
        error_ = mounted_ ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    ~Mount() {
        if (mounted_) ::umount2(at_.constData(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool mounted() const { return mounted_; }
    std::string error() const { return error_.toStdString(); }

private:
    QByteArray at_;
    bool mounted_ = false;
    QString error_;
};

// A runtime folder that can hold no lock: the lock beside the data still
// keeps to one copy, and a second start still finds the first.
TEST(SingleInstanceTest, ARuntimeFolderThatHoldsNoLockStillAllowsOneCopy) {
    for (const Mount::Kind kind : {Mount::Full, Mount::ReadOnly}) {
        QTemporaryDir runtime, data, otherRuntime;
        Mount mount(kind, runtime.path());
        if (!mount.mounted()) GTEST_SKIP() << "cannot mount a file system here: " << mount.error();
        QFile probe(runtime.filePath("essai"));
        ASSERT_FALSE(probe.open(QIODevice::WriteOnly)) << "the runtime folder takes files";

        SingleInstance first({runtime.path(), data.path()});
        ASSERT_EQ(first.acquire(), Outcome::First) << kind;
        EXPECT_TRUE(QFile::exists(data.filePath("tavix.lock")));
        QSignalSpy asked(&first, &SingleInstance::activationRequested);
        EXPECT_EQ(startAnother({runtime.path(), data.path()}), Outcome::Forwarded) << kind;
        // A start whose runtime folder works, but not this copy's, finds the
        // lock beside the data taken and the copy that holds it.
        EXPECT_EQ(startAnother({otherRuntime.path(), data.path()}), Outcome::Forwarded) << kind;
        EXPECT_TRUE(QTest::qWaitFor([&] { return asked.count() == 2; })) << kind;
    }
}

// No folder can hold a lock: the start is refused, not run blind beside
// another copy; a lock file made earlier can still be locked read-only.
TEST(SingleInstanceTest, WithNoFolderForALockTheStartIsRefused) {
    QTemporaryDir runtime, data;
    QFile made(data.filePath("tavix.lock"));
    ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    made.close();
    Mount full(Mount::Full, runtime.path());
    if (!full.mounted()) GTEST_SKIP() << "cannot mount a file system here: " << full.error();
    {
        Mount readOnly(Mount::ReadOnly, data.path());
        ASSERT_TRUE(readOnly.mounted()) << readOnly.error();
        SingleInstance first({runtime.path(), data.path()}, 300);
        ASSERT_EQ(first.acquire(), Outcome::First) << "the existing lock file";
        EXPECT_EQ(startAnother({runtime.path(), data.path()}, 300), Outcome::Unanswered)
            << "locked, though no socket can be made there";
    }
    QFile::remove(data.filePath("tavix.lock"));
    Mount readOnly(Mount::ReadOnly, data.path());
    ASSERT_TRUE(readOnly.mounted()) << readOnly.error();
    SingleInstance refused({runtime.path(), data.path()}, 300);
    EXPECT_EQ(refused.acquire(), Outcome::NoLock);
}

TEST(TerminationSignalsTest, EachEndOfSessionSignalReachesTheLoop) {
    TerminationSignals watcher;
    QSignalSpy received(&watcher, &TerminationSignals::received);
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        received.clear();
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return received.count() == 1; })) << number;
        EXPECT_EQ(received[0][0].toInt(), number);
    }
}
#endif

// The close question's own box, answered by a user.
TEST(ServicesTest, TheThreeWayQuestionCancelsOnEscapeAndTheCloseBox) {
    using Answer = MessageBoxes::Answer;
    const struct {
        const char* how;
        std::function<void(QMessageBox&)> answer;
        Answer expected;
    } cases[] = {
        {"Enter", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, Answer::Yes},
        {"&Non",
         [](QMessageBox& b) {
             for (QAbstractButton* button : b.buttons())
                 if (button->text() == "&Non") button->click();
         },
         Answer::No},
        {"Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, Answer::Cancel},
        {"close box", [](QMessageBox& b) { b.close(); }, Answer::Cancel},
        // Last: once the program ends, no later loop runs.
        {"the program ends", [](QMessageBox&) { QCoreApplication::exit(0); }, Answer::Cancel},
    };
    for (const auto& c : cases) {
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            c.answer(*box);
        });
        EXPECT_EQ(messageBoxes().ask("Une surveillance est en cours."), c.expected) << c.how;
        buttons.sort();  // laid out in the desktop's own order
        EXPECT_EQ(buttons, QStringList({"&Non", "&Oui", "Annuler"})) << c.how;
    }
}

}  // namespace

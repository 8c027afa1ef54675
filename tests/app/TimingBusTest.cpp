// The running copy on a private session bus: its timing and the desktop's
// activation. Commands while the window waits for an answer (the away-time
// question, an error box) are refused as busy, and the timing stores its
// entries once.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <memory>
#include <utility>

#include "WindowFixture.h"
#include "app/AwayWatcher.h"
#include "app/TimingBus.h"
#include "controls/ColorButton.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

class TimingBusTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        db.exec("INSERT INTO clients (NOM) VALUES ('Martin')");
        db.exec(
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1), (2, 'Saisie', 2)");
        WriteSetting("sgbd", db.path());
        daemon_.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        ASSERT_TRUE(daemon_.waitForStarted()) << "dbus-daemon could not start";
        while (!daemon_.canReadLine()) ASSERT_TRUE(daemon_.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces);
        copyName_ = "copy" + tag;
        cliName_ = "cli" + tag;
        QDBusConnection::connectToBus(address, copyName_);
        QDBusConnection::connectToBus(address, cliName_);
    }
    void TearDown() override {
        away.reset();
        WindowFixture::TearDown();
        QDBusConnection::disconnectFromBus(copyName_);
        QDBusConnection::disconnectFromBus(cliName_);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void startOnTheBus() {
        start();
        away = std::make_unique<AwayWatcher>(*form);
        ASSERT_TRUE((new TimingBus(*form))->publish(QDBusConnection(copyName_)));
    }
    // A call from another client of the bus; the error's name, or "" when
    // it succeeded. The loop runs meanwhile, as a box's own loop does.
    QString call(const QString& method, const QVariantList& arguments,
                 const QString& interface = TimingBus::kInterface) {
        QDBusMessage message = QDBusMessage::createMethodCall(TimingBus::kService, TimingBus::kPath,
                                                              interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = QDBusConnection(cliName_).asyncCall(message, 20000);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 25000)) return "no reply";
        return pending.isError() ? pending.error().name() : QString();
    }
    // Does `open`, which shows a box of the window; while the first one is
    // up, makes each call, then `beforeAnswer`; every box is answered with
    // Escape. The errors the calls got.
    QStringList whileABoxIsUp(const std::function<void()>& open,
                              const QList<std::pair<QString, QVariantList>>& calls,
                              const std::function<void()>& beforeAnswer = {}) {
        QStringList errors;
        bool called = false;
        QTimer watch;
        watch.setInterval(50);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (!std::exchange(called, true)) {
                watch.stop();
                for (const auto& [method, arguments] : calls) errors << call(method, arguments);
                if (beforeAnswer) beforeAnswer();
                watch.start();
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        watch.start();
        open();
        EXPECT_TRUE(called) << "no box was shown";
        return errors;
    }
    std::vector<QStringList> rows() const {
        std::vector<QStringList> result;
        for (const auto& r :
             db.rows("SELECT CLIENTS, DEBUT, FIN, DUREE FROM activites ORDER BY ID"))
            result.push_back({r[0].toString(), r[1].toString(), r[2].toString(), r[3].toString()});
        return result;
    }

    test::FakeIdle idle;
    test::FakeSleep sleep;
    std::unique_ptr<AwayWatcher> away;
    QProcess daemon_;
    QString copyName_, cliName_;
};

const QString kBusy = "fr.molveran.Tavix.Error.Busy";

TEST_F(TimingBusTest, ACommandDuringTheAwayQuestionIsRefusedAndNothingIsStoredTwice) {
    startOnTheBus();
    setMessageBoxes(nullptr);  // the real question, with its own loop
    selectClient("Martin");
    form->Panel2->findChild<TColorButton*>("BP_1")->click();
    clock.advance(600);
    idle.ms = 0;
    away->poll();
    clock.advance(2100);
    idle.ms = 2100 * 1000;
    away->poll();
    const QStringList errors = whileABoxIsUp(
        [&] {
            idle.ms = 0;
            away->poll();
        },
        {{"Stop", {QString()}}, {"Start", {"Saisie", "Martin", QString()}}});
    setMessageBoxes(&boxes);
    EXPECT_EQ(errors, QStringList({kBusy, kBusy}));
    // Escape kept the absence: one timing, still the first one.
    ASSERT_TRUE(form->Timing->running());
    EXPECT_EQ(form->Timing->activity(), "Réunion");
    EXPECT_TRUE(rows().empty());
    clock.advance(60);
    EXPECT_EQ(call("Stop", {QString()}), "");
    EXPECT_EQ(rows(), std::vector<QStringList>(
                          {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:46:00", "2760"}}));
}

TEST_F(TimingBusTest, ACommandDuringAnErrorBoxIsRefusedAndNothingIsStoredTwice) {
    startOnTheBus();
    setMessageBoxes(nullptr);
    selectClient("Martin");
    TColorButton* button = form->Panel2->findChild<TColorButton*>("BP_1");
    button->click();
    clock.advance(60);
    // Another program holds the log: the stop is refused with a box.
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(db.path()).constData(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QStringList errors =
        whileABoxIsUp([&] { button->click(); }, {{"Stop", {QString()}}},
                      [&] {
                          sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
                          sqlite3_close(holder);
                      });
    setMessageBoxes(&boxes);
    EXPECT_EQ(errors, QStringList{kBusy});
    ASSERT_TRUE(form->Timing->running()) << "the refused stop ended the timing";
    EXPECT_TRUE(rows().empty());
    clock.advance(30);
    EXPECT_EQ(call("Stop", {QString()}), "");
    const auto stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].value(1), "2026-03-02 09:00:00");
    EXPECT_EQ(stored[0].value(3), "90");
    EXPECT_FALSE(form->Timing->running());
}

// The desktop reaches the program by its name: the window comes forward,
// and the desktop entry's actions act as the command line does.
TEST_F(TimingBusTest, TheDesktopActivatesTheWindowAndItsActions) {
    startOnTheBus();
    const QString application = "org.freedesktop.Application";
    form->hide();
    EXPECT_EQ(call("Activate", {QVariantMap{}}, application), "");
    EXPECT_TRUE(form->isVisible());
    form->hide();
    EXPECT_EQ(call("ActivateAction", {"show", QVariantList{}, QVariantMap{}}, application), "");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(call("Open", {QStringList{}, QVariantMap{}}, application), "");

    EXPECT_EQ(call("Start", {"Saisie", "Martin", QString()}), "");
    clock.advance(45);
    const struct {
        QString action;
        QString error;
    } steps[] = {
        {"stop", ""},
        {"stop", "fr.molveran.Tavix.Error.Refused"},
        {"danser", "org.freedesktop.DBus.Error.InvalidArgs"},
    };
    for (const auto& step : steps)
        EXPECT_EQ(call("ActivateAction", {step.action, QVariantList{}, QVariantMap{}}, application),
                  step.error)
            << step.action.toStdString();
    EXPECT_EQ(rows(), std::vector<QStringList>(
                          {{"Martin", "2026-03-02 09:00:00", "2026-03-02 09:00:45", "45"}}));
}

}  // namespace

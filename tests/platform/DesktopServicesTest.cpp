// The desktop's idle time and logind's sleep signal, asked for real over a
// private session bus that the test starts, with stand-in services.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QUuid>
#include <memory>

#include "DesktopStandIns.h"
#include "platform/Idle.h"
#include "platform/Sleep.h"

using namespace tavix;
using test::MutterStandIn;
using test::ScreenSaverStandIn;

namespace {

// A private session bus for the test's lifetime; the services answer from
// their own thread, as they would from their own process.
class DesktopServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        daemon_.setProgram("dbus-daemon");
        daemon_.setArguments({"--session", "--print-address", "--nofork"});
        daemon_.start();
        ASSERT_TRUE(daemon_.waitForStarted()) << "dbus-daemon could not start";
        while (!daemon_.canReadLine()) ASSERT_TRUE(daemon_.waitForReadyRead(10000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty());
        client_ = connect("client");
        services_ = connect("services");
        ASSERT_TRUE(QDBusConnection(client_).isConnected());
        thread_.start();
    }
    void TearDown() override {
        for (const auto& [path, object] : published_)
            QDBusConnection(services_).unregisterObject(path);
        thread_.quit();
        thread_.wait();
        // Their thread has ended: deleting them here races with nothing.
        for (const auto& [path, object] : published_) delete object;
        published_.clear();
        QDBusConnection::disconnectFromBus(client_);
        QDBusConnection::disconnectFromBus(services_);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    QString connect(const QString& role) {
        const QString name = role + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QDBusConnection::connectToBus(address_, name);
        return name;
    }
    // Publishes `object` as `service` at `path`, answering from the
    // services' thread.
    void publish(std::unique_ptr<QObject> object, const QString& service, const QString& path) {
        object->moveToThread(&thread_);
        QDBusConnection bus(services_);
        ASSERT_TRUE(bus.registerObject(path, object.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(service));
        published_.emplace_back(path, object.release());
    }
    void withdraw(const QString& service) { QDBusConnection(services_).unregisterService(service); }

    QProcess daemon_;
    QString address_;
    QString client_;
    QString services_;
    QThread thread_;
    std::vector<std::pair<QString, QObject*>> published_;
};

TEST_F(DesktopServicesTest, IdleTimeComesFromTheFirstServiceThatAnswers) {
    DesktopIdleSource source(client_, /*x11=*/false);
    EXPECT_FALSE(source.idleMs().has_value()) << "no service on the bus";
    EXPECT_EQ(source.backend(), DesktopIdleSource::Backend::None);

    publish(std::make_unique<MutterStandIn>(7000), "org.gnome.Mutter.IdleMonitor",
            "/org/gnome/Mutter/IdleMonitor/Core");
    EXPECT_EQ(source.idleMs(), 7000);
    EXPECT_EQ(source.backend(), DesktopIdleSource::Backend::Mutter);

    auto saver = std::make_unique<ScreenSaverStandIn>();
    ScreenSaverStandIn* screenSaver = saver.get();
    screenSaver->SetIdleTime(42000);
    publish(std::move(saver), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver");
    // The one that answered stays first while it answers.
    EXPECT_EQ(source.idleMs(), 7000);
    withdraw("org.gnome.Mutter.IdleMonitor");
    EXPECT_EQ(source.idleMs(), 42000);
    EXPECT_EQ(source.backend(), DesktopIdleSource::Backend::ScreenSaver);

    withdraw("org.freedesktop.ScreenSaver");
    EXPECT_FALSE(source.idleMs().has_value());
    EXPECT_EQ(source.backend(), DesktopIdleSource::Backend::None);
}

// GNOME's own screen saver refuses the question: the idle monitor answers.
TEST_F(DesktopServicesTest, ARefusingScreenSaverGivesWayToTheIdleMonitor) {
    auto saver = std::make_unique<ScreenSaverStandIn>();
    saver->Refuse();
    publish(std::move(saver), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver");
    publish(std::make_unique<MutterStandIn>(1234), "org.gnome.Mutter.IdleMonitor",
            "/org/gnome/Mutter/IdleMonitor/Core");
    DesktopIdleSource source(client_, false);
    EXPECT_EQ(source.idleMs(), 1234);
    EXPECT_EQ(source.backend(), DesktopIdleSource::Backend::Mutter);
}

TEST_F(DesktopServicesTest, LogindsPrepareForSleepIsToldBothWays) {
    LogindSleepSource source(client_);
    ASSERT_TRUE(source.listening());
    QSignalSpy sleeping(&source, &SleepSource::sleeping);
    QSignalSpy resumed(&source, &SleepSource::resumed);

    QDBusConnection login(services_);
    ASSERT_TRUE(login.registerService("org.freedesktop.login1"));
    const auto emitPrepare = [&](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        signal << start;
        ASSERT_TRUE(login.send(signal));
    };
    emitPrepare(true);
    ASSERT_TRUE(sleeping.wait(5000));
    EXPECT_EQ(resumed.count(), 0);
    emitPrepare(false);
    ASSERT_TRUE(resumed.wait(5000));
    EXPECT_EQ(sleeping.count(), 1);

    // The same signal from someone else is not logind's.
    QDBusConnection other(connect("other"));
    QDBusMessage forged = QDBusMessage::createSignal(
        "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    forged << true;
    ASSERT_TRUE(other.send(forged));
    EXPECT_FALSE(sleeping.wait(300));
    QDBusConnection::disconnectFromBus(other.name());
}

}  // namespace

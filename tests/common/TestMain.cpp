// Shared main of every test program: each process gets its own settings,
// data and autostart folders, so tests run in parallel without meeting, and
// the C locale.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "platform/Application.h"

namespace {
// A test that ends the program's session (a login given up, a refused
// start) must not end the next test's: each test is a session of its own,
// as each ctest run is a process of its own.
class SessionPerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { tavix::application::beginSession(); }
};
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The interface is French whatever the system's language: the tests run
    // under the C locale, not the developer's.
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    qunsetenv("LANGUAGE");
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + "/config");

    ::testing::InitGoogleTest(&argc, argv);
    tavix::Application app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new SessionPerTest);
    return RUN_ALL_TESTS();
}

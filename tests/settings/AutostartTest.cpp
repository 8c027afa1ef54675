#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "common/Fakes.h"
#include "platform/Autostart.h"
#include "settings/outils.h"

using namespace tavix;

#ifndef Q_OS_WIN

namespace {

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        entry_ = autostart::location();
        folder_ = QFileInfo(entry_).absolutePath();
        cleanUp();
    }
    void TearDown() override { cleanUp(); }

    void cleanUp() {
        if (QFileInfo(folder_).isFile()) QFile::remove(folder_);
        QFile::remove(entry_);
    }

    QStringList entryLines() const {
        QFile f(entry_);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QString entry_;
    QString folder_;
};

TEST_F(AutostartTest, EntryLivesInTheUsersAutostartFolder) {
    EXPECT_EQ(entry_, qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/tavix.desktop");
}

TEST_F(AutostartTest, EnableWritesADesktopEntryWithTheQuotedPath) {
    EnableAutostart("/opt/My Apps/tavix");
    EXPECT_EQ(entryLines(), QStringList({"[Desktop Entry]", "Type=Application", "Name=Tavix",
                                         "Exec=\"/opt/My Apps/tavix\""}));
    EXPECT_EQ(autostart::command(), "\"/opt/My Apps/tavix\"");

    EnableAutostart("/usr/bin/tavix");  // replaces, never adds a second Exec
    EXPECT_EQ(entryLines().filter("Exec=").size(), 1);
    EXPECT_EQ(autostart::command(), "\"/usr/bin/tavix\"");
    EXPECT_TRUE(QDir(folder_).entryList(QDir::Files | QDir::Hidden).size() == 1)
        << "no temporary file left behind";
}

TEST_F(AutostartTest, PathCharactersAreEscapedForTheExecLine) {
    // Quoting escapes \ " ` $ with a backslash, then the file's own string
    // escape doubles every backslash; % is doubled so it is no field code.
    const struct {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/a b/c", R"("/a b/c")"},         {"/a$HOME/x", R"("/a\\$HOME/x")"},
        {"/a`id`/x", R"("/a\\`id\\`/x")"}, {"/a\"b/x", R"("/a\\"b/x")"},
        {"/a\\b/x", R"("/a\\\\b/x")"},     {"/100%/x", R"("/100%%/x")"},
        {"/été/x", "\"/été/x\""},          {"/a\nb/x", R"("/a\nb/x")"},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EnableAutostart(path);
        EXPECT_EQ(entryLines().filter("Exec=").value(0), "Exec=" + QString::fromUtf8(c.exec))
            << c.path;
        EXPECT_EQ(autostart::command(), u'"' + path + u'"') << c.path;
    }
}

TEST_F(AutostartTest, DisableRemovesTheEntryAndIgnoresItsAbsence) {
    EnableAutostart("/usr/bin/tavix");
    ASSERT_TRUE(QFile::exists(entry_));
    DisableAutostart();
    EXPECT_FALSE(QFile::exists(entry_));
    EXPECT_EQ(autostart::command(), QString());
    EXPECT_NO_THROW(DisableAutostart());
}

TEST_F(AutostartTest, UnreachableFolderWritesNothingSilently) {
    QDir(folder_).removeRecursively();
    QDir().mkpath(QFileInfo(folder_).absolutePath());
    QFile blocker(folder_);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_NO_THROW(EnableAutostart("/usr/bin/tavix"));
    EXPECT_EQ(autostart::command(), QString());
    EXPECT_NO_THROW(DisableAutostart());
}

TEST_F(AutostartTest, HandEditedEntryIsReadFromItsDesktopEntryGroup) {
    QDir().mkpath(folder_);
    QFile f(entry_);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Other]\nExec=nothing\n[Desktop Entry]\nName=Tavix\nExec = \"/x y/tavix\"\n");
    f.close();
    EXPECT_EQ(autostart::command(), "\"/x y/tavix\"");
}

}  // namespace

#endif

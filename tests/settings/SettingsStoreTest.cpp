#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRect>
#include <QSettings>

#include "common/Fakes.h"
#include "platform/Registry.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

// Each test starts from a store that does not exist yet.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = registry::location();
        dir_ = QFileInfo(file_).absolutePath();
        cleanUp();
    }
    void TearDown() override { cleanUp(); }

    void cleanUp() {
        QFile(file_).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(file_);
        if (QFileInfo(dir_).isFile()) QFile::remove(dir_);
    }

    // The settings folder's place taken by a plain file: no write can succeed,
    // whoever runs the test.
    void blockStore() {
        QDir(dir_).removeRecursively();
        QDir().mkpath(QFileInfo(dir_).absolutePath());
        QFile blocker(dir_);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }

    // Stores a value of any type, as another program could.
    static void storeDirectly(const QString& name, const QVariant& value) {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX");
        s.setValue(name, value);
    }

    QString fileText() const {
        QFile f(file_);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    void expectError(const std::function<void()>& f, const QString& message) {
        try {
            f();
            ADD_FAILURE() << "no error, expected " << message.toStdString();
        } catch (const RegistryError& e) {
            EXPECT_EQ(e.message(), message);
        }
    }

    QString file_;
    QString dir_;
};

TEST_F(SettingsStoreTest, AbsentStoreReadsEmpty) {
    for (const char* name : {"config", "user", "pwd", "sgbd", "couleur fond", "top"})
        EXPECT_EQ(ReadSetting(name), QString()) << name;
    EXPECT_EQ(ReadConfig(), 0);
}

TEST_F(SettingsStoreTest, TextsRoundTripExactly) {
    const char* const values[] = {
        "272",
        "  jean  ",  // the user name is kept untrimmed
        "C:\\Program Files\\Tavix\\tavix.mdb",
        "a, b; c = d",
        "\"quoted\" and 'single'",
        "@ByteArray(not binary)",  // text that looks like a typed value
        "#not a comment",
        "[General]",
        "line1\nline2",
        "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xc5\x93",  // été € œ
        "$00FF8040",
    };
    for (const char* v : values) {
        const QString value = QString::fromUtf8(v);
        WriteSetting("couleur fond", value);
        EXPECT_EQ(ReadSetting("couleur fond"), value) << v;
    }
    WriteSetting("couleur fond", "");
    EXPECT_EQ(ReadSetting("couleur fond"), QString());
}

TEST_F(SettingsStoreTest, ValuesAreIndependentAndKeptInGeneralSection) {
    WriteSetting("user", "jean");
    WriteSetting("config", "272");
    WriteSetting("couleur texte", "clRed");
    WriteSetting("user", "paul");
    EXPECT_EQ(ReadSetting("user"), "paul");
    EXPECT_EQ(ReadSetting("config"), "272");
    EXPECT_EQ(ReadSetting("couleur texte"), "clRed");
    EXPECT_EQ(ReadConfig(), 272);
    EXPECT_EQ(ReadSetting("Config"), QString()) << "names are exact";

    const QString ini = fileText();
    EXPECT_TRUE(ini.startsWith("[General]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("config=272")) << ini.toStdString();
}

TEST_F(SettingsStoreTest, EveryReadSeesTheFileAsItIsNow) {
    WriteSetting("user", "jean");
    ASSERT_EQ(ReadSetting("user"), "jean");
    QFile::remove(file_);
    EXPECT_EQ(ReadSetting("user"), QString());

    // A hand-edited file; unquoted commas make QSettings see a list.
    QDir().mkpath(dir_);
    QFile f(file_);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nconfig=12x\nsgbd=/data/a, b.mdb\nuser=\n");
    f.close();
    EXPECT_EQ(ReadSetting("sgbd"), "/data/a, b.mdb");
    EXPECT_EQ(ReadSetting("user"), QString());
    EXPECT_EQ(ReadSetting("config"), "12x");
    try {
        ReadConfig();
        ADD_FAILURE() << "12x read as a number";
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.message(), "'12x' n'est pas une valeur entière correcte");
    }
}

TEST_F(SettingsStoreTest, TextEndsAtFirstNul) {
    WriteSetting("user", QString::fromUtf8("ab\0cd", 5));
    EXPECT_EQ(ReadSetting("user"), "ab");
}

TEST_F(SettingsStoreTest, NonTextValueIsAnError) {
    const struct {
        const char* name;
        QVariant value;
    } cases[] = {
        {"pwd", QByteArray("\x01\x02\xff", 3)},
        {"config", QRect(1, 2, 3, 4)},
        {"couleur fond", QDate(2009, 12, 25)},
    };
    for (const auto& c : cases) {
        storeDirectly(c.name, c.value);
        expectError([&] { ReadSetting(c.name); },
                    QStringLiteral("Type de données incorrect pour '%1'").arg(c.name));
    }
    storeDirectly("user", "jean");
    EXPECT_EQ(ReadSetting("user"), "jean") << "other values stay readable";
    WriteSetting("pwd", "abc");
    EXPECT_EQ(ReadSetting("pwd"), "abc") << "a text replaces the non-text value";
}

TEST_F(SettingsStoreTest, RefusedWriteRaisesAndLeavesNoTrace) {
    blockStore();
    expectError([] { WriteSetting("sgbd", "/x.mdb"); },
                "Echec à la définition des données pour 'sgbd'");
    EXPECT_EQ(ReadSetting("sgbd"), QString());

    cleanUp();
    WriteSetting("user", "jean");
    EXPECT_EQ(ReadSetting("user"), "jean");
    EXPECT_EQ(ReadSetting("sgbd"), QString()) << "the refused value was kept somewhere";
    EXPECT_FALSE(fileText().contains("sgbd")) << fileText().toStdString();
}

TEST_F(SettingsStoreTest, RefusedWriteKeepsThePreviousValue) {
    WriteSetting("sgbd", "/old.mdb");
    QFile f(file_);
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner));
    if (f.open(QIODevice::ReadWrite)) GTEST_SKIP() << "file permissions do not bind this user";

    expectError([] { WriteSetting("sgbd", "/new.mdb"); },
                "Echec à la définition des données pour 'sgbd'");
    EXPECT_EQ(ReadSetting("sgbd"), "/old.mdb");

    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    WriteSetting("user", "jean");
    const QString ini = fileText();
    EXPECT_TRUE(ini.contains("sgbd=/old.mdb")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("user=jean")) << ini.toStdString();
    EXPECT_EQ(ReadSetting("sgbd"), "/old.mdb");
}

}  // namespace

#include <gtest/gtest.h>

#include <climits>

#include "common/Fakes.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

TEST(ConfigFlagsTest, EachTestReadsItsOwnBit) {
    struct Flags {
        bool noExtraction, noListEditing, startWithWindows, lockSettings, lockLogEditing, stayOnTop,
            neverMinimize, userInLog;
    };
    const struct {
        int config;
        Flags expected;
    } cases[] = {
        {0, {true, true, false, false, false, false, false, false}},
        {272, {true, true, false, true, false, false, false, true}},
        {1, {false, true, false, false, false, false, false, false}},
        {2, {true, false, false, false, false, false, false, false}},
        {4, {true, true, true, false, false, false, false, false}},
        {32 + 64 + 128, {true, true, false, false, true, true, true, false}},
        {8 + 512 + 1024, {true, true, false, false, false, false, false, false}},  // untested bits
        {-1, {false, false, true, true, true, true, true, true}},
    };
    for (const auto& c : cases) {
        const Flags& e = c.expected;
        SCOPED_TRACE(c.config);
        EXPECT_EQ(NoExtraction(c.config), e.noExtraction);
        EXPECT_EQ(NoListEditing(c.config), e.noListEditing);
        EXPECT_EQ(StartWithWindows(c.config), e.startWithWindows);
        EXPECT_EQ(LockSettings(c.config), e.lockSettings);
        EXPECT_EQ(LockLogEditing(c.config), e.lockLogEditing);
        EXPECT_EQ(StayOnTop(c.config), e.stayOnTop);
        EXPECT_EQ(NeverMinimize(c.config), e.neverMinimize);
        EXPECT_EQ(UserInLog(c.config), e.userInLog);
    }
    EXPECT_EQ(ConfigBit::LockSettings + ConfigBit::UserInLog, 272);
}

TEST(ConfigFlagsTest, ReadConfigFromTheStore) {
    WriteSetting("config", "");
    EXPECT_EQ(ReadConfig(), 0);
    WriteSetting("config", "272");
    EXPECT_EQ(ReadConfig(), 272);
    for (const char* bad : {"abc", " ", "1.5"}) {
        WriteSetting("config", bad);
        try {
            ReadConfig();
            ADD_FAILURE() << bad;
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(bad));
        }
    }
    WriteSetting("config", "");
}

TEST(TextHelpersTest, SecondsToHMS) {
    const struct {
        qint32 seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},
        {59, "00:00:59"},
        {60, "00:01:00"},
        {3599, "00:59:59"},
        {3600, "01:00:00"},
        {3661, "01:01:01"},
        {86399, "23:59:59"},
        {36000, "10:00:00"},
        {360000, "100:00:00"},
        {362439, "100:40:39"},
        {-61, "-00:01:01"},
        {INT_MAX, "596523:14:07"},
        {INT_MIN, "-596523:14:08"},
    };
    for (const auto& c : cases) EXPECT_EQ(SecondsToHMS(c.seconds), c.text) << c.seconds;
}

TEST(TextHelpersTest, RightCharsAndMaxLength) {
    EXPECT_EQ(RightChars("0123", 2), "23");
    EXPECT_EQ(RightChars("7", 2), "7");
    EXPECT_EQ(RightChars("abc", 0), "");
    EXPECT_EQ(RightChars("", 3), "");
    EXPECT_EQ(RightChars(QString::fromUtf8("déjà"), 2), QString::fromUtf8("jà"));

    EXPECT_EQ(MaxLength(5, "abc"), 5);
    EXPECT_EQ(MaxLength(2, "abc"), 3);
    EXPECT_EQ(MaxLength(-4, ""), 0);
    EXPECT_EQ(MaxLength(0, QString::fromUtf8("été")), 3) << "characters, not bytes";
}

TEST(TextHelpersTest, DayName) {
    const char* const names[] = {"",      "Dimanche", "Lundi",  "Mardi", "Mercredi",
                                 "Jeudi", "Vendredi", "Samedi", ""};
    for (quint16 day = 0; day <= 8; ++day) EXPECT_EQ(DayName(day), names[day]) << day;
    EXPECT_EQ(DayName(65535), "");
}

TEST(TextHelpersTest, SplitToList) {
    const struct {
        const char* text;
        const char* separator;
        QStringList items;
    } cases[] = {
        {"a/b/c", "/", {"a", "b", "c"}},
        {"a//b", "/", {"a", "", "b"}},
        {"a/b/", "/", {"a", "b"}},
        {"/a", "/", {"", "a"}},
        {"", "/", {}},
        {"/", "/", {""}},
        {"a::b::c", "::", {"a", "b", "c"}},
        {"a:::b", "::", {"a", ":b"}},  // left to right, no overlap
        {"aXbxc", "x", {"aXb", "c"}},  // case matters
        {"a/b", "", {"a/b"}},
        {"a\r\nb\rc\nd", "/", {"a", "b", "c", "d"}},
        {"a\n\rb", "/", {"a", "", "b"}},  // LF CR is two breaks
        {"a\n", "", {"a"}},
        {"a\n\n", "", {"a", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitToList(c.text, c.separator), c.items)
            << "'" << c.text << "' at '" << c.separator << "'";
}

TEST(TextHelpersTest, SwapDayMonth) {
    const struct {
        const char* date;
        const char* swapped;
    } cases[] = {
        {"25/12/2009", "12/25/2009"},
        {"5/1/2010", "1/5/2010"},
        {"25/12/2009 08:30:00", "12/25/2009 08:30:00"},
        {"a/b/c/d", "b/a/c"},
        {"//x", "//x"},
    };
    for (const auto& c : cases) EXPECT_EQ(SwapDayMonth(c.date), c.swapped) << c.date;
}

TEST(TextHelpersTest, SwapDayMonthMissingField) {
    const struct {
        const char* date;
        int index;
    } cases[] = {
        {"25/12/", 2}, {"25/12", 2}, {"//", 2}, {"2512", 1}, {"", 1}, {"/", 1},
    };
    for (const auto& c : cases) {
        try {
            SwapDayMonth(c.date);
            ADD_FAILURE() << c.date;
        } catch (const ListIndexError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Indice de liste hors limites (%1)").arg(c.index))
                << c.date;
        }
    }
}

TEST(TextHelpersTest, DoubleToSingleQuotes) {
    EXPECT_EQ(DoubleToSingleQuotes(R"(CLIENTS = "Dupont" AND X = "")"),
              R"(CLIENTS = 'Dupont' AND X = '')");
    EXPECT_EQ(DoubleToSingleQuotes("l'été"), "l'été");
    EXPECT_EQ(DoubleToSingleQuotes(""), "");
}

}  // namespace

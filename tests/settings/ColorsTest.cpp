#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>

#include "common/Fakes.h"
#include "settings/Colors.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

TEST(ColorTextTest, NamedColoursAreWrittenByName) {
    const struct {
        const char* name;
        int red, green, blue;
    } named[] = {
        {"clBlack", 0, 0, 0},       {"clMaroon", 128, 0, 0},         {"clGreen", 0, 128, 0},
        {"clOlive", 128, 128, 0},   {"clNavy", 0, 0, 128},           {"clPurple", 128, 0, 128},
        {"clTeal", 0, 128, 128},    {"clGray", 128, 128, 128},       {"clSilver", 192, 192, 192},
        {"clRed", 255, 0, 0},       {"clLime", 0, 255, 0},           {"clYellow", 255, 255, 0},
        {"clBlue", 0, 0, 255},      {"clFuchsia", 255, 0, 255},      {"clAqua", 0, 255, 255},
        {"clWhite", 255, 255, 255}, {"clMoneyGreen", 192, 220, 192}, {"clSkyBlue", 166, 202, 240},
        {"clCream", 255, 251, 240}, {"clMedGray", 160, 160, 164},
    };
    for (const auto& c : named) {
        const TColor value = rgbColor(c.red, c.green, c.blue);
        EXPECT_EQ(ColorToString(value), c.name);
        EXPECT_EQ(StringToColor(c.name), value) << c.name;
        EXPECT_EQ(toQColor(value), QColor(c.red, c.green, c.blue)) << c.name;
        EXPECT_EQ(fromQColor(QColor(c.red, c.green, c.blue)), value) << c.name;
    }
    EXPECT_EQ(clRed, 0x000000FF);
    EXPECT_EQ(clSkyBlue, 0x00F0CAA6);
}

TEST(ColorTextTest, OtherColoursAreWrittenInHex) {
    const struct {
        TColor value;
        const char* text;
    } cases[] = {
        {rgbColor(64, 128, 255), "$00FF8040"},
        {rgbColor(1, 0, 0), "$00000001"},
        {rgbColor(171, 205, 239), "$00EFCDAB"},
        {clBtnFace, "$FF00000F"},  // system colours have no written name
        {clNone, "$1FFFFFFF"},
        {-1, "$FFFFFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ColorToString(c.value), c.text);
        EXPECT_EQ(StringToColor(c.text), c.value) << c.text;
    }
}

TEST(ColorTextTest, Reading) {
    const struct {
        const char* text;
        TColor value;
    } cases[] = {
        {"CLRED", clRed},
        {"clskyblue", clSkyBlue},
        {"clBtnFace", clBtnFace},
        {"CLBTNTEXT", clBtnText},
        {"clWindowFrame", clWindowFrame},
        {"clBtnShadow", clBtnShadow},
        {"clHotLight", clHotLight},
        {"cl3DDkShadow", cl3DDkShadow},
        {"clNone", clNone},
        {"clDefault", clDefault},
        {"255", clRed},
        {"16777215", clWhite},
        {"$ff", clRed},
        {"$00FF8040", rgbColor(64, 128, 255)},
        {"-16777201", clBtnFace},
    };
    for (const auto& c : cases) EXPECT_EQ(StringToColor(c.text), c.value) << c.text;
    EXPECT_EQ(clBtnFace, static_cast<TColor>(0xFF00000F));
    EXPECT_EQ(clBtnText, static_cast<TColor>(0xFF000012));
    EXPECT_EQ(clWindowFrame, static_cast<TColor>(0xFF000006));
    EXPECT_EQ(clBtnShadow, static_cast<TColor>(0xFF000010));
    EXPECT_EQ(clHotLight, static_cast<TColor>(0xFF00001A));
}

TEST(ColorTextTest, TextThatIsNoColourIsAConversionError) {
    for (const char* bad :
         {"", "   ", " clRed", "clRed ", "clReddish", "red", "$", "$GG", "12x", "#FF0000"}) {
        try {
            StringToColor(bad);
            ADD_FAILURE() << "'" << bad << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(bad));
        }
    }
}

TEST(ColorTest, SystemColoursFollowThePalette) {
    QPalette palette = QGuiApplication::palette();
    const struct {
        TColor color;
        QPalette::ColorRole role;
        QColor marker;
    } cases[] = {
        {clBtnFace, QPalette::Button, QColor(1, 2, 3)},
        {clBtnText, QPalette::ButtonText, QColor(4, 5, 6)},
        {clWindowFrame, QPalette::Shadow, QColor(7, 8, 9)},
        {clBtnShadow, QPalette::Dark, QColor(10, 11, 12)},
        {clHotLight, QPalette::Link, QColor(13, 14, 15)},
        {clWindow, QPalette::Base, QColor(16, 17, 18)},
        {clWindowText, QPalette::Text, QColor(19, 20, 21)},
        {clHighlight, QPalette::Highlight, QColor(22, 23, 24)},
        {clHighlightText, QPalette::HighlightedText, QColor(25, 26, 27)},
    };
    const QPalette saved = palette;
    for (const auto& c : cases) palette.setColor(QPalette::Active, c.role, c.marker);
    QGuiApplication::setPalette(palette);
    for (const auto& c : cases)
        EXPECT_EQ(toQColor(c.color), c.marker) << ColorToString(c.color).toStdString();
    QGuiApplication::setPalette(saved);

    EXPECT_EQ(toQColor(clNone).alpha(), 0);
    EXPECT_FALSE(toQColor(clDefault).isValid());
    EXPECT_EQ(toQColor(systemColor(25)), QColor(Qt::black)) << "no such system colour";
}

}  // namespace

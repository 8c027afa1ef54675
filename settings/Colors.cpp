#include "settings/Colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

#include "platform/Error.h"

namespace tavix {

namespace {

struct NamedColor {
    const char* name;
    TColor value;
};

// Written by name; the first twenty entries.
constexpr std::array<NamedColor, 20> kNamedColors{{
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clMoneyGreen", clMoneyGreen},
    {"clSkyBlue", clSkyBlue},
    {"clCream", clCream},
    {"clMedGray", clMedGray},
}};

// Accepted when reading only.
constexpr std::array<NamedColor, 32> kSystemColors{{
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clMenuText", clMenuText},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
    {"clHotLight", clHotLight},
    {"clGradientActiveCaption", clGradientActiveCaption},
    {"clGradientInactiveCaption", clGradientInactiveCaption},
    {"clMenuHighlight", clMenuHighlight},
    {"clMenuBar", clMenuBar},
    {"clNone", clNone},
    {"clDefault", clDefault},
}};

template <std::size_t N>
const NamedColor* findByName(const std::array<NamedColor, N>& table, const QString& text) {
    for (const auto& named : table)
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) return &named;
    return nullptr;
}

// Palette entry standing for each system colour index.
QColor paletteColor(int index) {
    const QPalette palette = QGuiApplication::palette();
    const auto role = [&](QPalette::ColorRole r) { return palette.color(QPalette::Active, r); };
    const auto disabled = [&](QPalette::ColorRole r) {
        return palette.color(QPalette::Disabled, r);
    };
    switch (index) {
        case 0:
            return role(QPalette::Midlight);  // clScrollBar
        case 1:
            return role(QPalette::Dark);  // clBackground (desktop)
        case 2:
            return role(QPalette::Highlight);  // clActiveCaption
        case 3:
            return role(QPalette::Mid);  // clInactiveCaption
        case 4:
            return role(QPalette::Window);  // clMenu
        case 5:
            return role(QPalette::Base);  // clWindow
        case 6:
            return role(QPalette::Shadow);  // clWindowFrame
        case 7:
            return role(QPalette::WindowText);  // clMenuText
        case 8:
            return role(QPalette::Text);  // clWindowText
        case 9:
            return role(QPalette::HighlightedText);  // clCaptionText
        case 10:
            return role(QPalette::Button);  // clActiveBorder
        case 11:
            return role(QPalette::Button);  // clInactiveBorder
        case 12:
            return role(QPalette::Mid);  // clAppWorkSpace
        case 13:
            return role(QPalette::Highlight);  // clHighlight
        case 14:
            return role(QPalette::HighlightedText);  // clHighlightText
        case 15:
            return role(QPalette::Button);  // clBtnFace
        case 16:
            return role(QPalette::Dark);  // clBtnShadow
        case 17:
            return disabled(QPalette::Text);  // clGrayText
        case 18:
            return role(QPalette::ButtonText);  // clBtnText
        case 19:
            return disabled(QPalette::WindowText);  // clInactiveCaptionText
        case 20:
            return role(QPalette::Light);  // clBtnHighlight
        case 21:
            return role(QPalette::Shadow);  // cl3DDkShadow
        case 22:
            return role(QPalette::Midlight);  // cl3DLight
        case 23:
            return role(QPalette::ToolTipText);  // clInfoText
        case 24:
            return role(QPalette::ToolTipBase);  // clInfoBk
        case 26:
            return role(QPalette::Link);  // clHotLight
        case 27:
            return role(QPalette::Highlight);  // clGradientActiveCaption
        case 28:
            return role(QPalette::Midlight);  // clGradientInactiveCaption
        case 29:
            return role(QPalette::Highlight);  // clMenuHighlight
        case 30:
            return role(QPalette::Window);  // clMenuBar
        default:
            return QColor(Qt::black);  // no such system colour
    }
}

}  // namespace

QColor toQColor(TColor color) {
    if (color == clNone) return QColor(Qt::transparent);
    if (color == clDefault) return QColor();
    if (isSystemColor(color)) return paletteColor(color & 0xFF);
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor fromQColor(const QColor& color) {
    return rgbColor(color.red(), color.green(), color.blue());
}

QString ColorToString(TColor color) {
    for (const auto& named : kNamedColors)
        if (named.value == color) return QString::fromLatin1(named.name);
    return QStringLiteral("$%1").arg(static_cast<quint32>(color), 8, 16, QChar(u'0')).toUpper();
}

TColor StringToColor(const QString& text) {
    if (const NamedColor* named = findByName(kNamedColors, text)) return named->value;
    if (const NamedColor* named = findByName(kSystemColors, text)) return named->value;
    return toInteger(text);
}

}  // namespace tavix

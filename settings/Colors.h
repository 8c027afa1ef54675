#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

namespace tavix {

// A colour value. A direct colour holds red in the lowest byte, then green,
// then blue, with the highest byte 0. A system colour holds 0xFF in the
// highest byte and the system colour index in the lowest; it follows the
// current palette.
using TColor = qint32;

constexpr TColor rgbColor(int red, int green, int blue) {
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}
constexpr TColor systemColor(int index) {
    return static_cast<TColor>(0xFF000000u | (index & 0xFF));
}
constexpr bool isSystemColor(TColor color) { return (static_cast<quint32>(color) >> 24) == 0xFF; }

// The twenty named colours.
inline constexpr TColor clBlack = rgbColor(0, 0, 0);
inline constexpr TColor clMaroon = rgbColor(128, 0, 0);
inline constexpr TColor clGreen = rgbColor(0, 128, 0);
inline constexpr TColor clOlive = rgbColor(128, 128, 0);
inline constexpr TColor clNavy = rgbColor(0, 0, 128);
inline constexpr TColor clPurple = rgbColor(128, 0, 128);
inline constexpr TColor clTeal = rgbColor(0, 128, 128);
inline constexpr TColor clGray = rgbColor(128, 128, 128);
inline constexpr TColor clSilver = rgbColor(192, 192, 192);
inline constexpr TColor clRed = rgbColor(255, 0, 0);
inline constexpr TColor clLime = rgbColor(0, 255, 0);
inline constexpr TColor clYellow = rgbColor(255, 255, 0);
inline constexpr TColor clBlue = rgbColor(0, 0, 255);
inline constexpr TColor clFuchsia = rgbColor(255, 0, 255);
inline constexpr TColor clAqua = rgbColor(0, 255, 255);
inline constexpr TColor clWhite = rgbColor(255, 255, 255);
inline constexpr TColor clMoneyGreen = rgbColor(192, 220, 192);
inline constexpr TColor clSkyBlue = rgbColor(166, 202, 240);
inline constexpr TColor clCream = rgbColor(255, 251, 240);
inline constexpr TColor clMedGray = rgbColor(160, 160, 164);

// System colours, by the platform's colour index.
inline constexpr TColor clScrollBar = systemColor(0);
inline constexpr TColor clBackground = systemColor(1);
inline constexpr TColor clActiveCaption = systemColor(2);
inline constexpr TColor clInactiveCaption = systemColor(3);
inline constexpr TColor clMenu = systemColor(4);
inline constexpr TColor clWindow = systemColor(5);
inline constexpr TColor clWindowFrame = systemColor(6);
inline constexpr TColor clMenuText = systemColor(7);
inline constexpr TColor clWindowText = systemColor(8);
inline constexpr TColor clCaptionText = systemColor(9);
inline constexpr TColor clActiveBorder = systemColor(10);
inline constexpr TColor clInactiveBorder = systemColor(11);
inline constexpr TColor clAppWorkSpace = systemColor(12);
inline constexpr TColor clHighlight = systemColor(13);
inline constexpr TColor clHighlightText = systemColor(14);
inline constexpr TColor clBtnFace = systemColor(15);
inline constexpr TColor clBtnShadow = systemColor(16);
inline constexpr TColor clGrayText = systemColor(17);
inline constexpr TColor clBtnText = systemColor(18);
inline constexpr TColor clInactiveCaptionText = systemColor(19);
inline constexpr TColor clBtnHighlight = systemColor(20);
inline constexpr TColor cl3DDkShadow = systemColor(21);
inline constexpr TColor cl3DLight = systemColor(22);
inline constexpr TColor clInfoText = systemColor(23);
inline constexpr TColor clInfoBk = systemColor(24);
inline constexpr TColor clHotLight = systemColor(26);
inline constexpr TColor clGradientActiveCaption = systemColor(27);
inline constexpr TColor clGradientInactiveCaption = systemColor(28);
inline constexpr TColor clMenuHighlight = systemColor(29);
inline constexpr TColor clMenuBar = systemColor(30);

// No colour at all, and the control's own default colour.
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The colour to paint with. System colours come from the application's
// current palette (clBtnFace the button face, clBtnText its text, clHotLight
// the link colour...); clNone is transparent; clDefault gives an invalid
// QColor, for the caller to use its own default.
QColor toQColor(TColor color);

// The direct colour of a QColor (alpha dropped), e.g. from a colour dialog.
TColor fromQColor(const QColor& color);

// Colour text as the settings store it: the name of one of the twenty named
// colours, otherwise "$" and eight upper-case hexadecimal digits.
QString ColorToString(TColor color);

// Reads a colour text: a colour name (named or system colour, any case), or
// a whole number in decimal or "$" hexadecimal. Anything else raises
// notAnInteger(text).
TColor StringToColor(const QString& text);

}  // namespace tavix

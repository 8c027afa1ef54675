#pragma once

// Stand-in for the shared colour type until settings/Colors.h is available:
// only what the colour button itself needs.

#include <QColor>
#include <QtGlobal>

namespace tavix {

// Low byte red, then green, then blue; high byte 0. 0xFF in the high byte
// marks a system colour whose index is the low byte.
using TColor = qint32;

namespace buttoncolors {

inline constexpr TColor systemColor(int index) { return static_cast<TColor>(0xFF000000u | index); }

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clWindowFrame = systemColor(6);
inline constexpr TColor clBtnFace = systemColor(15);
inline constexpr TColor clBtnShadow = systemColor(16);
inline constexpr TColor clBtnText = systemColor(18);
inline constexpr TColor clBtnHighlight = systemColor(20);

// System colours resolve against the application palette.
QColor toQColor(TColor color);

}  // namespace buttoncolors
}  // namespace tavix

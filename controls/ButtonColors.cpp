#include "controls/ButtonColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace tavix::buttoncolors {

namespace {

QPalette::ColorRole roleOf(int index) {
    switch (index) {
        case 5:
            return QPalette::Base;
        case 6:
        case 7:
            return QPalette::WindowText;
        case 8:
            return QPalette::Text;
        case 13:
            return QPalette::Highlight;
        case 14:
            return QPalette::HighlightedText;
        case 15:
            return QPalette::Button;
        case 16:
            return QPalette::Dark;
        case 18:
            return QPalette::ButtonText;
        case 20:
            return QPalette::Light;
        case 21:
            return QPalette::Shadow;
        case 22:
            return QPalette::Midlight;
        case 26:
            return QPalette::Link;
        default:
            return QPalette::Window;
    }
}

}  // namespace

QColor toQColor(TColor color) {
    const auto value = static_cast<quint32>(color);
    if ((value >> 24) == 0xFF) return QGuiApplication::palette().color(roleOf(value & 0xFF));
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace tavix::buttoncolors

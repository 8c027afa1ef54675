#include "FuzzTargets.h"
#include "platform/Error.h"
#include "settings/Colors.h"

namespace tavix::fuzz {

void colorSetting(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    TColor color = 0;
    try {
        color = StringToColor(text);
    } catch (const ConvertError&) {
        return;
    }
    const QString written = ColorToString(color);
    TColor again = 0;
    try {
        again = StringToColor(written);
    } catch (const ConvertError&) {
        broken("a colour written back reads again", text, written);
    }
    if (again != color) broken("a colour written back reads the same", text, written);
}

void integerSetting(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    int value = 0;
    try {
        value = toInteger(text);
    } catch (const ConvertError&) {
        return;
    }
    const QString written = QString::number(value);
    try {
        if (toInteger(written) != value) broken("a number written back reads the same", text);
        if (toInteger(u' ' + text + u' ') != value)
            broken("blanks around a number are ignored", text);
    } catch (const ConvertError&) {
        broken("a number written back reads again", text, written);
    }
}

}  // namespace tavix::fuzz

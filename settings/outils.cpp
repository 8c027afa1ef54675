#include "settings/outils.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "platform/Autostart.h"
#include "platform/Error.h"
#include "platform/Registry.h"

namespace tavix {

QString ReadSetting(const QString& name) { return registry::readText(name); }

void WriteSetting(const QString& name, const QString& value) { registry::writeText(name, value); }

void EnableAutostart(const QString& path) { autostart::enable(path); }

void DisableAutostart() { autostart::disable(); }

int ReadConfig() {
    const QString text = ReadSetting(QStringLiteral("config"));
    return text.isEmpty() ? 0 : toInteger(text);
}

int ReadAwayMinutes() {
    const QString text = ReadSetting(QStringLiteral("absence"));
    return text.isEmpty() ? kDefaultAwayMinutes : std::max(0, toInteger(text));
}

bool NoExtraction(int config) { return (config & ConfigBit::NoExtraction) == 0; }
bool NoListEditing(int config) { return (config & ConfigBit::NoListEditing) == 0; }
bool StartWithWindows(int config) { return (config & ConfigBit::StartWithWindows) != 0; }
bool LockSettings(int config) { return (config & ConfigBit::LockSettings) != 0; }
bool LockLogEditing(int config) { return (config & ConfigBit::LockLogEditing) != 0; }
bool StayOnTop(int config) { return (config & ConfigBit::StayOnTop) != 0; }
bool NeverMinimize(int config) { return (config & ConfigBit::NeverMinimize) != 0; }
bool UserInLog(int config) { return (config & ConfigBit::UserInLog) != 0; }

QString RightChars(const QString& text, quint16 n) { return text.right(n); }

QString SecondsToHMS(qint32 seconds) {
    char text[24];
    return QString::fromLatin1(text, WriteHMS(text, seconds));
}

int WriteHMS(char* out, qint64 seconds) {
    // Unsigned, so that the magnitude of the lowest qint64 still fits.
    const quint64 total = seconds < 0 ? 0 - static_cast<quint64>(seconds) : seconds;
    quint64 hours = total / 3600;
    const int rest = static_cast<int>(total - hours * 3600);
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + hours % 10);
        hours /= 10;
    } while (hours != 0);
    if (n == 1) digits[n++] = '0';
    char* p = out;
    if (seconds < 0) *p++ = '-';
    while (n > 0) *p++ = digits[--n];
    const int minutes = rest / 60;
    const int secs = rest % 60;
    *p++ = ':';
    *p++ = static_cast<char>('0' + minutes / 10);
    *p++ = static_cast<char>('0' + minutes % 10);
    *p++ = ':';
    *p++ = static_cast<char>('0' + secs / 10);
    *p++ = static_cast<char>('0' + secs % 10);
    return static_cast<int>(p - out);
}

QString DayName(quint16 day) {
    static const std::array<QString, 7> kNames = {
        QStringLiteral("Dimanche"), QStringLiteral("Lundi"), QStringLiteral("Mardi"),
        QStringLiteral("Mercredi"), QStringLiteral("Jeudi"), QStringLiteral("Vendredi"),
        QStringLiteral("Samedi")};
    if (day < 1 || day > kNames.size()) return QString();
    return kNames[day - 1];
}

QString SwapDayMonth(const QString& date) {
    const QStringList items = SplitToList(date, QStringLiteral("/"));
    // The month (item 1) is taken first, so it is the one reported missing
    // when there are fewer than two items.
    if (items.size() < 3) {
        const int missing = items.size() < 2 ? 1 : 2;
        throw ListIndexError(QStringLiteral("Indice de liste hors limites (%1)").arg(missing));
    }
    return items[1] + u'/' + items[0] + u'/' + items[2];
}

QString DoubleToSingleQuotes(const QString& text) {
    QString result = text;
    return result.replace(u'"', u'\'');
}

QStringList SplitToList(const QString& text, const QString& separator) {
    QString lines = text;
    if (!separator.isEmpty()) lines.replace(separator, QStringLiteral("\r\n"), Qt::CaseSensitive);
    QStringList items;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < lines.size()) {
        const QChar c = lines.at(i);
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        items.append(lines.mid(start, i - start));
        ++i;
        if (c == u'\r' && i < lines.size() && lines.at(i) == u'\n') ++i;
        start = i;
    }
    if (start < lines.size()) items.append(lines.mid(start));
    return items;
}

qint32 MaxLength(qint32 n, const QString& text) {
    const qint64 length = text.size();
    return length > n ? static_cast<qint32>(length) : n;
}

}  // namespace tavix

#include "platform/Regional.h"

#include <QRegularExpression>

namespace tavix::regional {

QString shortDateFormat() { return QStringLiteral("dd/MM/yyyy"); }
QString longTimeFormat() { return QStringLiteral("HH:mm:ss"); }

QString dateToText(QDate date) { return date.toString(shortDateFormat()); }
QString timeToText(QTime time) { return time.toString(longTimeFormat()); }

QString dateTimeToText(const DateTime& value) {
    if (value.isMidnight()) return dateToText(value.date());
    return dateToText(value.date()) + u' ' + timeToText(value.truncatedToSeconds().time());
}

std::optional<DateTime> textToDateTime(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QDate d(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    if (!d.isValid()) return std::nullopt;
    QTime t(0, 0);
    if (m.hasCaptured(4)) {
        t = QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                  m.hasCaptured(6) ? m.captured(6).toInt() : 0);
        if (!t.isValid()) return std::nullopt;
    }
    return DateTime(d, t);
}

}  // namespace tavix::regional

#include "platform/DateTime.h"

#include <QRegularExpression>
#include <cmath>

namespace tavix {

namespace {
// Julian day of 30/12/1899; a constant, so static date-times of other
// files can be built before this file's statics.
constexpr qint64 kEpochJulianDay = 2415019;

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
}  // namespace

DateTime::DateTime(QDate date, QTime time)
    : ms_((date.toJulianDay() - kEpochJulianDay) * kMsPerDay +
          (time.isValid() ? time.msecsSinceStartOfDay() : 0)) {}

DateTime DateTime::fromDays(double days) {
    return DateTime(static_cast<qint64>(std::llround(days * kMsPerDay)));
}

QDate DateTime::date() const {
    return QDate::fromJulianDay(kEpochJulianDay + floorDiv(ms_, kMsPerDay));
}

QTime DateTime::time() const {
    return QTime::fromMSecsSinceStartOfDay(
        static_cast<int>(ms_ - floorDiv(ms_, kMsPerDay) * kMsPerDay));
}

bool DateTime::isMidnight() const { return floorDiv(ms_, 1000) % 86400 == 0; }

DateTime DateTime::truncatedToSeconds() const { return DateTime(floorDiv(ms_, 1000) * 1000); }

QString DateTime::toIso() const {
    return date().toString(QStringLiteral("yyyy-MM-dd")) + u' ' +
           time().toString(QStringLiteral("HH:mm:ss"));
}

std::optional<DateTime> DateTime::fromIso(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?)?$)"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid()) return std::nullopt;
    QTime t(0, 0);
    if (m.hasCaptured(4)) {
        QString msText = m.captured(7);
        while (!msText.isEmpty() && msText.size() < 3) msText += u'0';
        t = QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                  m.hasCaptured(6) ? m.captured(6).toInt() : 0,
                  msText.isEmpty() ? 0 : msText.toInt());
        if (!t.isValid()) return std::nullopt;
    }
    return DateTime(d, t);
}

}  // namespace tavix

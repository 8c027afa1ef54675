#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <compare>
#include <optional>

namespace tavix {

// A naive wall-clock date-time: the day count from 30/12/1899 with the time
// of day as its fraction, kept in milliseconds. No time zone is ever applied,
// so a timing across a daylight-saving change keeps both ends as the clock
// showed them.
class DateTime {
public:
    DateTime() = default;  // 30/12/1899 00:00:00, the "zero" date-time
    DateTime(QDate date, QTime time);

    static DateTime fromDays(double days);
    static DateTime fromMSecs(qint64 msecs) { return DateTime(msecs); }
    double toDays() const { return static_cast<double>(ms_) / kMsPerDay; }
    qint64 toMSecs() const { return ms_; }

    QDate date() const;
    QTime time() const;
    bool isMidnight() const;  // time of day 00:00:00, milliseconds ignored

    DateTime addSecs(qint64 secs) const { return DateTime(ms_ + secs * 1000); }
    DateTime addMSecs(qint64 msecs) const { return DateTime(ms_ + msecs); }
    DateTime addDays(qint64 days) const { return DateTime(ms_ + days * kMsPerDay); }
    qint64 secsTo(const DateTime& other) const { return (other.ms_ - ms_) / 1000; }
    DateTime truncatedToSeconds() const;

    // 'YYYY-MM-DD HH:MM:SS', the storage form.
    QString toIso() const;
    static std::optional<DateTime> fromIso(const QString& text);

    auto operator<=>(const DateTime&) const = default;

    static constexpr qint64 kMsPerDay = 86400000;

private:
    explicit DateTime(qint64 ms) : ms_(ms) {}
    qint64 ms_ = 0;
};

}  // namespace tavix

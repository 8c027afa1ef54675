#include "consult/IcsExport.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>
#include <optional>

#include "platform/Error.h"

namespace tavix {

struct IcsWriter::Calendar {
    icalcomponent* root = nullptr;
    icaltimezone* zone = nullptr;  // nullptr: UTC
    QByteArray tzid;               // the IANA name, as calendars know it
    QTimeZone qtZone;
    icalcomponent* definition = nullptr;  // the VTIMEZONE, inside root
    std::optional<DateTime> earliest;
    icaltimetype stamp{};
    ~Calendar() {
        if (root) icalcomponent_free(root);
    }
};

namespace {

// Line breaks as one LF each, which libical writes as \n.
QByteArray textValue(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return text.toUtf8();
}

icaltimetype timeOf(QDate d, QTime time, icaltimezone* zone) {
    icaltimetype t = icaltime_null_time();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    t.hour = time.hour();
    t.minute = time.minute();
    t.second = time.second();
    t.is_date = 0;
    return icaltime_set_timezone(&t, zone);
}

icaltimetype utcOf(const QDateTime& moment) {
    const QDateTime utc = moment.toUTC();
    return timeOf(utc.date(), utc.time(), icaltimezone_get_utc_timezone());
}

// A local wall-clock time in the zone, or in UTC when there is none.
icaltimetype wallClock(const DateTime& value, icaltimezone* zone) {
    if (!zone) return utcOf(QDateTime(value.date(), value.time()));
    return timeOf(value.date(), value.time(), zone);
}

// A DTSTART or DTEND carrying the zone's plain name as TZID (none for UTC),
// rather than the name libical gives its own copy of the zone.
icalproperty* timeProperty(icalproperty* p, const QByteArray& tzid) {
    icalproperty_remove_parameter_by_kind(p, ICAL_TZID_PARAMETER);
    if (!tzid.isEmpty()) icalproperty_add_parameter(p, icalparameter_new_tzid(tzid.constData()));
    return p;
}

}  // namespace

IcsWriter::IcsWriter(const QString& zoneId, const DateTime& stamp)
    : calendar_(std::make_unique<Calendar>()) {
    const QByteArray id = zoneId.isEmpty() ? QTimeZone::systemTimeZoneId() : zoneId.toUtf8();
    // UTC needs no zone definition: times then end in Z.
    if (id != "UTC" && id != "Etc/UTC" && !id.isEmpty())
        calendar_->zone = icaltimezone_get_builtin_timezone(id.constData());
    calendar_->root = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    icalcomponent* root = calendar_->root;
    icalcomponent_add_property(root, icalproperty_new_version("2.0"));
    icalcomponent_add_property(root,
                               icalproperty_new_prodid("-//Tavix//Surveillance des tâches//FR"));
    icalcomponent_add_property(root, icalproperty_new_calscale("GREGORIAN"));
    if (calendar_->zone) {
        if (icalcomponent* definition = icaltimezone_get_component(calendar_->zone)) {
            calendar_->tzid = id;
            calendar_->qtZone = QTimeZone(id);
            calendar_->definition = icalcomponent_new_clone(definition);
            if (icalproperty* p =
                    icalcomponent_get_first_property(calendar_->definition, ICAL_TZID_PROPERTY))
                icalproperty_set_tzid(p, id.constData());
            icalcomponent_add_component(root, calendar_->definition);
        } else {
            calendar_->zone = nullptr;
        }
    }
    const QDateTime utc = QDateTime(stamp.date(), stamp.time()).toUTC();
    calendar_->stamp = utcOf(QDateTime(stamp.date(), stamp.time()));
}

IcsWriter::~IcsWriter() = default;

QString IcsWriter::uidFor(const Entry& e, int occurrence) {
    QByteArray key;
    for (const QString& part : {e.user, e.activity, e.client, e.start.toIso()}) {
        key += part.toUtf8();
        key += '\x1f';
    }
    key += QByteArray::number(occurrence);
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral("@tavix");
}

void IcsWriter::add(const Entry& e) {
    icaltimezone* zone = calendar_->zone;
    const QString base = uidFor(e, 0);
    const int occurrence = seen_[base]++;
    icalcomponent* event = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    icalcomponent_add_property(event,
                               icalproperty_new_uid(uidFor(e, occurrence).toUtf8().constData()));
    icalcomponent_add_property(event, icalproperty_new_dtstamp(calendar_->stamp));
    icalcomponent_add_property(
        event, timeProperty(icalproperty_new_dtstart(wallClock(e.start, zone)), calendar_->tzid));
    icalcomponent_add_property(
        event, timeProperty(icalproperty_new_dtend(wallClock(e.end, zone)), calendar_->tzid));
    if (!calendar_->earliest || e.start < *calendar_->earliest) calendar_->earliest = e.start;
    const QString summary = (e.activity + QStringLiteral(" – ") + e.client).trimmed();
    icalcomponent_add_property(event, icalproperty_new_summary(textValue(summary).constData()));
    if (!e.comment.isEmpty())
        icalcomponent_add_property(event,
                                   icalproperty_new_description(textValue(e.comment).constData()));
    icalcomponent_add_component(calendar_->root, event);
}

QByteArray IcsWriter::take() {
    // The zone's rules from a year before the first event on, not since 1891.
    if (calendar_->definition && calendar_->earliest) {
        const QDateTime from =
            QDateTime(calendar_->earliest->date().addYears(-1), QTime(0, 0), calendar_->qtZone)
                .toUTC();
        icaltimezone_truncate_vtimezone(calendar_->definition, utcOf(from), icaltime_null_time(),
                                        0);
    }
    char* text = icalcomponent_as_ical_string_r(calendar_->root);
    if (!text) throw Error(QStringLiteral("Le calendrier n'a pas pu être écrit"));
    QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace tavix

#include "consult/IcsExport.h"

#include <libical/ical.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>

#include "platform/Error.h"

namespace tavix {

struct IcsWriter::Calendar {
    icalcomponent* root = nullptr;
    icaltimezone* zone = nullptr;  // nullptr: UTC
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

icaltimetype wallClock(const DateTime& value, icaltimezone* zone) {
    icaltimetype t = icaltime_null_time();
    QDate d = value.date();
    QTime time = value.time();
    if (!zone) {
        const QDateTime utc = QDateTime(d, time).toUTC();
        d = utc.date();
        time = utc.time();
    }
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    t.hour = time.hour();
    t.minute = time.minute();
    t.second = time.second();
    t.is_date = 0;
    return icaltime_set_timezone(&t, zone ? zone : icaltimezone_get_utc_timezone());
}

// A DTSTART or DTEND carrying its zone's TZID (none for UTC).
icalproperty* timeProperty(icalproperty* p, icaltimezone* zone) {
    if (zone && !icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
        icalproperty_add_parameter(p, icalparameter_new_tzid(icaltimezone_get_tzid(zone)));
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
        icalcomponent* definition = icaltimezone_get_component(calendar_->zone);
        if (definition) icalcomponent_add_component(root, icalcomponent_new_clone(definition));
    }
    const QDateTime utc = QDateTime(stamp.date(), stamp.time()).toUTC();
    calendar_->stamp = wallClock(DateTime(utc.date(), utc.time()), nullptr);
    calendar_->stamp = icaltime_set_timezone(&calendar_->stamp, icaltimezone_get_utc_timezone());
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
        event, timeProperty(icalproperty_new_dtstart(wallClock(e.start, zone)), zone));
    icalcomponent_add_property(event,
                               timeProperty(icalproperty_new_dtend(wallClock(e.end, zone)), zone));
    const QString summary = (e.activity + QStringLiteral(" – ") + e.client).trimmed();
    icalcomponent_add_property(event, icalproperty_new_summary(textValue(summary).constData()));
    if (!e.comment.isEmpty())
        icalcomponent_add_property(event,
                                   icalproperty_new_description(textValue(e.comment).constData()));
    icalcomponent_add_component(calendar_->root, event);
}

QByteArray IcsWriter::take() {
    char* text = icalcomponent_as_ical_string_r(calendar_->root);
    if (!text) throw Error(QStringLiteral("Le calendrier n'a pas pu être écrit"));
    QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace tavix

#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

#include "platform/DateTime.h"

namespace tavix::regional {

// The one place holding the user's regional formats. The interface is
// French: short date dd/MM/yyyy, long time HH:mm:ss.
QString shortDateFormat();
QString longTimeFormat();

QString dateToText(QDate date);
QString timeToText(QTime time);

// Default date-time form: date, blank, time; the date alone at exactly
// midnight (milliseconds ignored).
QString dateTimeToText(const DateTime& value);

// Reads the same form back: a date, optionally a blank and a time
// (h:mm or h:mm:ss). Day and month may have one or two digits.
std::optional<DateTime> textToDateTime(const QString& text);

}  // namespace tavix::regional

#pragma once

#include <QObject>

class QCalendarWidget;
class QDateTimeEdit;

namespace tavix {

// Opens a date box's calendar from the keyboard, as a list box opens: F4,
// Alt+Down or Alt+Up. Qt opens it only with the mouse; the calendar then
// takes the keyboard (arrows, Enter picks, Escape closes) and tells a
// screen reader the month it shows.
class CalendarKeys : public QObject {
public:
    // Installed on picker, and owned by it.
    static void install(QDateTimeEdit* picker);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CalendarKeys(QDateTimeEdit* picker);
    static void nameTheMonth(QCalendarWidget* calendar);
};

}  // namespace tavix

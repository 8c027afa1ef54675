#include "controls/CalendarKeys.h"

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>

#include "platform/Announce.h"

namespace tavix {

namespace {
bool isOpenKey(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers m = modifiers & ~Qt::KeypadModifier;
    return (key == Qt::Key_F4 && m == Qt::NoModifier) ||
           ((key == Qt::Key_Down || key == Qt::Key_Up) && m == Qt::AltModifier);
}
}  // namespace

CalendarKeys::CalendarKeys(QDateTimeEdit* picker) : QObject(picker) {
    picker->installEventFilter(this);
    if (picker->calendarPopup()) nameTheMonth(picker->calendarWidget());
}

// The days' cells say only their number: the calendar's table is named
// after the month shown and described by the whole date chosen, so a screen
// reader says "mars 2026" on entering it and the full date on asking.
void CalendarKeys::nameTheMonth(QCalendarWidget* calendar) {
    auto* days = calendar ? calendar->findChild<QTableView*>() : nullptr;
    if (!days) return;
    const QLocale french(QLocale::French, QLocale::France);
    const auto tell = [calendar, days, french] {
        const QDate month(calendar->yearShown(), calendar->monthShown(), 1);
        const QString name = french.toString(month, QStringLiteral("MMMM yyyy"));
        const QString chosen =
            french.toString(calendar->selectedDate(), QStringLiteral("dddd d MMMM yyyy"));
        calendar->setAccessibleName(name);
        if (days->accessibleName() != name) {
            days->setAccessibleName(name);
            QAccessibleEvent changed(days, QAccessible::NameChanged);
            tellAccessibility(&changed, true);
        }
        if (days->accessibleDescription() != chosen) {
            days->setAccessibleDescription(chosen);
            QAccessibleEvent changed(days, QAccessible::DescriptionChanged);
            tellAccessibility(&changed, true);
        }
    };
    tell();
    connect(calendar, &QCalendarWidget::currentPageChanged, days, tell);
    connect(calendar, &QCalendarWidget::selectionChanged, days, tell);
}

void CalendarKeys::install(QDateTimeEdit* picker) { new CalendarKeys(picker); }

bool CalendarKeys::eventFilter(QObject* watched, QEvent* event) {
    // Only key presses; the box may be half destroyed when others come.
    if (event->type() != QEvent::KeyPress) return false;
    auto* picker = qobject_cast<QDateTimeEdit*>(watched);
    if (!picker || !picker->calendarPopup() || picker->isReadOnly()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!isOpenKey(key->key(), key->modifiers())) return false;
    // The only way in is the press on the arrow, which places the calendar
    // under the box exactly as a click does.
    QStyleOptionComboBox option;
    option.initFrom(picker);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow = picker->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                        QStyle::SC_ComboBoxArrow, picker);
    if (arrow.isEmpty()) return false;
    const QPointF at = arrow.center();
    QMouseEvent press(QEvent::MouseButtonPress, at, picker->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(picker, &press);
    return true;
}

}  // namespace tavix

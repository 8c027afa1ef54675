#include "controls/CalendarKeys.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

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

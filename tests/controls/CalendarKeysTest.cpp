// A date box's calendar opens from the keyboard and picks a date with it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QTest>

#include "controls/CalendarKeys.h"

using namespace tavix;

namespace {

TEST(CalendarKeysTest, TheCalendarOpensFromTheKeyboardAndPicksADate) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool opens;
    } cases[] = {
        {Qt::Key_F4, Qt::NoModifier, true},
        {Qt::Key_Down, Qt::AltModifier, true},
        {Qt::Key_Up, Qt::AltModifier, true},
        {Qt::Key_Down, Qt::NoModifier, false},  // steps the date, as before
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        QDateTimeEdit picker(QDateTime(QDate(2026, 3, 10), QTime(0, 0)));
        picker.setDisplayFormat("dd/MM/yyyy");
        picker.setCalendarPopup(true);
        CalendarKeys::install(&picker);
        picker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
        picker.setFocus();
        QTest::keyClick(&picker, c.key, c.modifiers);
        QCalendarWidget* calendar = picker.calendarWidget();
        EXPECT_EQ(calendar->isVisible(), c.opens);
        if (!c.opens) continue;
        // The calendar has the keyboard: one day on, Enter picks it and closes.
        QWidget* keys = QApplication::focusWidget();
        ASSERT_NE(keys, nullptr);
        EXPECT_TRUE(calendar->isAncestorOf(keys) || keys == calendar);
        QTest::keyClick(keys, Qt::Key_Right);
        QTest::keyClick(keys, Qt::Key_Return);
        EXPECT_FALSE(calendar->isVisible());
        EXPECT_EQ(picker.date(), QDate(2026, 3, 11));
    }
}

}  // namespace

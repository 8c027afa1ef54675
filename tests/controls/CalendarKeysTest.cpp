// A date box's calendar opens from the keyboard and picks a date with it.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QTest>

#include "common/AccessibleEvents.h"
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

// A screen reader entering the calendar hears the month, not a bare day
// number, and hears the new month when the page turns.
TEST(CalendarKeysTest, TheCalendarTellsTheMonthAndTheDateChosen) {
    QDateTimeEdit picker(QDateTime(QDate(2026, 3, 10), QTime(0, 0)));
    picker.setDisplayFormat("dd/MM/yyyy");
    picker.setCalendarPopup(true);
    CalendarKeys::install(&picker);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    picker.setFocus();
    test::AccessibleEvents heard;
    QTest::keyClick(&picker, Qt::Key_F4);
    QWidget* keys = QApplication::focusWidget();
    ASSERT_NE(keys, nullptr);
    const auto spoken = [&](QAccessible::Text t) {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(keys);
        return i ? i->text(t) : QString();
    };
    EXPECT_EQ(spoken(QAccessible::Name), "mars 2026");
    EXPECT_EQ(spoken(QAccessible::Description), "mardi 10 mars 2026");
    heard.clear();
    QTest::keyClick(keys, Qt::Key_PageDown);
    EXPECT_EQ(spoken(QAccessible::Name), "avril 2026");
    EXPECT_EQ(spoken(QAccessible::Description), "vendredi 10 avril 2026");
    EXPECT_GE(heard.count(QAccessible::NameChanged, keys), 1);
    QTest::keyClick(keys, Qt::Key_Escape);
}

}  // namespace

#pragma once

#include <QDate>
#include <QWidget>
#include <utility>

class QDateTimeEdit;
class QPushButton;

namespace tavix {

// The periods a user who bills asks for, beside the consultation's dates:
// "Cette semaine", "Semaine dernière", "Ce mois", "Mois dernier". A click
// sets both dates (weeks from Monday to Sunday) and emits chosen().
class PeriodPresets : public QWidget {
    Q_OBJECT
public:
    enum class Period { ThisWeek, LastWeek, ThisMonth, LastMonth };
    // The first and last day of the period that holds, or precedes, today.
    static std::pair<QDate, QDate> range(Period period, const QDate& today);

    PeriodPresets(QDateTimeEdit* start, QDateTimeEdit* end, QWidget* parent);
    QPushButton* button(Period period) const;
    void choose(Period period);

    // The dates the pickers showed when the window last closed, or today
    // for both the first time; the time of day is kept from `now`.
    static void restoreDates(QDateTimeEdit& start, QDateTimeEdit& end, const QDateTime& now);
    static void keepDates(const QDateTimeEdit& start, const QDateTimeEdit& end);

signals:
    void chosen();

private:
    QDateTimeEdit* start_;
    QDateTimeEdit* end_;
    QPushButton* buttons_[4];
};

}  // namespace tavix

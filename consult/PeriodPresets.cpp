#include "consult/PeriodPresets.h"

#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QPushButton>

#include "platform/Services.h"
#include "settings/outils.h"

namespace tavix {

namespace {

const QString kStartSetting = QStringLiteral("consultation debut");
const QString kEndSetting = QStringLiteral("consultation fin");

QDate storedDate(const QString& name) {
    // A value edited by hand that is no date counts as none.
    return QDate::fromString(ReadSetting(name), Qt::ISODate);
}

}  // namespace

std::pair<QDate, QDate> PeriodPresets::range(Period period, const QDate& today) {
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate firstOfMonth(today.year(), today.month(), 1);
    switch (period) {
        case Period::ThisWeek:
            return {monday, monday.addDays(6)};
        case Period::LastWeek:
            return {monday.addDays(-7), monday.addDays(-1)};
        case Period::ThisMonth:
            return {firstOfMonth, firstOfMonth.addMonths(1).addDays(-1)};
        case Period::LastMonth:
            return {firstOfMonth.addMonths(-1), firstOfMonth.addDays(-1)};
    }
    return {today, today};
}

PeriodPresets::PeriodPresets(QDateTimeEdit* start, QDateTimeEdit* end, QWidget* parent)
    : QWidget(parent), start_(start), end_(end) {
    setObjectName(QStringLiteral("PeriodPresets"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const struct {
        Period period;
        const char* name;
        QString caption;
        QString description;
    } presets[] = {
        {Period::ThisWeek, "CetteSemaine", QStringLiteral("Cette semaine"),
         QStringLiteral("Du lundi au dimanche de cette semaine")},
        {Period::LastWeek, "SemaineDerniere", QStringLiteral("Semaine dernière"),
         QStringLiteral("Du lundi au dimanche de la semaine dernière")},
        {Period::ThisMonth, "CeMois", QStringLiteral("Ce mois"),
         QStringLiteral("Du premier au dernier jour de ce mois")},
        {Period::LastMonth, "MoisDernier", QStringLiteral("Mois dernier"),
         QStringLiteral("Du premier au dernier jour du mois dernier")},
    };
    for (const auto& p : presets) {
        auto* b = new QPushButton(p.caption, this);
        b->setObjectName(QString::fromLatin1(p.name));
        b->setToolTip(p.description);
        b->setAccessibleDescription(p.description);
        b->setAutoDefault(false);
        row->addWidget(b);
        buttons_[int(p.period)] = b;
        const Period period = p.period;
        connect(b, &QPushButton::clicked, this, [this, period] { choose(period); });
    }
}

QPushButton* PeriodPresets::button(Period period) const { return buttons_[int(period)]; }

void PeriodPresets::choose(Period period) {
    const auto [first, last] = range(period, clock().now().date());
    start_->setDate(first);
    end_->setDate(last);
    emit chosen();
}

void PeriodPresets::restoreDates(QDateTimeEdit& start, QDateTimeEdit& end, const QDateTime& now) {
    const QDate first = storedDate(kStartSetting);
    const QDate last = storedDate(kEndSetting);
    start.setDateTime(QDateTime(first.isValid() ? first : now.date(), now.time()));
    end.setDateTime(QDateTime(last.isValid() ? last : now.date(), now.time()));
}

void PeriodPresets::keepDates(const QDateTimeEdit& start, const QDateTimeEdit& end) {
    WriteSetting(kStartSetting, start.date().toString(Qt::ISODate));
    WriteSetting(kEndSetting, end.date().toString(Qt::ISODate));
}

}  // namespace tavix

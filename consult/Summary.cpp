#include "consult/Summary.h"

#include <QLocale>
#include <algorithm>

#include "platform/Regional.h"

namespace tavix {

namespace {

QLocale french() {
    QLocale l(QLocale::French, QLocale::France);
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

const int kSteps[] = {1, 5, 6, 10, 15, 30};

}  // namespace

qint64 Rounding::apply(qint64 seconds) const {
    if (!active() || seconds <= 0) return seconds;
    const qint64 step = qint64(minutes) * 60;
    const qint64 base = seconds / step * step;
    const qint64 rest = seconds - base;
    if (rest == 0) return seconds;
    if (nearest) return rest * 2 >= step ? base + step : base;
    return base + step;
}

QString Rounding::toSetting() const {
    if (!active()) return {};
    return QString::number(minutes) +
           (nearest ? QStringLiteral(" proche") : QStringLiteral(" haut")) +
           (perLine ? QStringLiteral(" ligne") : QString());
}

Rounding Rounding::fromSetting(const QString& text) {
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 2 && !(parts.size() == 3 && parts[2] == QLatin1String("ligne"))) return {};
    bool ok = false;
    const int m = parts[0].toInt(&ok);
    if (!ok || std::find(std::begin(kSteps), std::end(kSteps), m) == std::end(kSteps)) return {};
    const bool perLine = parts.size() == 3;
    if (parts[1] == QLatin1String("haut")) return {m, false, perLine};
    if (parts[1] == QLatin1String("proche")) return {m, true, perLine};
    return {};
}

QString Rounding::rule(Grouping g) const {
    if (!active()) return QStringLiteral("sans arrondi");
    QString step;
    switch (minutes) {
        case 1:
            step = nearest ? QStringLiteral("à la minute la plus proche")
                           : QStringLiteral("à la minute supérieure");
            break;
        case 15:
            step = nearest ? QStringLiteral("au quart d'heure le plus proche")
                           : QStringLiteral("au quart d'heure supérieur");
            break;
        case 30:
            step = nearest ? QStringLiteral("à la demi-heure la plus proche")
                           : QStringLiteral("à la demi-heure supérieure");
            break;
        default:
            step = (nearest ? QStringLiteral("aux %1 minutes les plus proches")
                            : QStringLiteral("aux %1 minutes supérieures"))
                       .arg(minutes);
    }
    return QStringLiteral("arrondi ") + step +
           (perLine ? QStringLiteral(", sur le total de chaque ligne (%1)")
                          .arg(groupingName(g).toLower())
                    : QStringLiteral(", entrée par entrée"));
}

QString Rounding::label() const {
    if (!active()) return QStringLiteral("Sans arrondi");
    const QString step =
        minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
    return nearest ? QStringLiteral("À %1, au plus proche").arg(step)
                   : QStringLiteral("À %1, par excès").arg(step);
}

std::vector<Rounding> Rounding::choices() {
    std::vector<Rounding> out{Rounding{}};
    for (const int m : kSteps) {
        out.push_back({m, false});
        out.push_back({m, true});
    }
    return out;
}

QString hmsText(qint64 seconds) {
    const qint64 m = seconds < 0 ? -seconds : seconds;
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QString())
        .arg(m / 3600, 2, 10, QLatin1Char('0'))
        .arg(m / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(m % 60, 2, 10, QLatin1Char('0'));
}

QString decimalHoursText(qint64 seconds) {
    // Hundredths of an hour rounded half away from zero, in integers so
    // that 7,125 h does not become 7,12 through binary fractions.
    const qint64 m = seconds < 0 ? -seconds : seconds;
    const qint64 hundredths = (m * 100 + 1800) / 3600;
    return QStringLiteral("%1%2,%3")
        .arg(seconds < 0 ? QStringLiteral("-") : QString())
        .arg(hundredths / 100)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString shareText(qint64 part, qint64 total) {
    if (total <= 0) return french().toString(0.0, 'f', 1);
    return french().toString(100.0 * double(part) / double(total), 'f', 1);
}

QString totalsText(qint64 entries, qint64 seconds) {
    return QStringLiteral("%1 %2 — %3 — %4 h")
        .arg(entries)
        .arg(entries > 1 ? QStringLiteral("entrées") : QStringLiteral("entrée"))
        .arg(hmsText(seconds), decimalHoursText(seconds));
}

QString groupingName(Grouping g) {
    switch (g) {
        case Grouping::Client:
            return QStringLiteral("Par client");
        case Grouping::Activity:
            return QStringLiteral("Par surveillance");
        case Grouping::ClientActivity:
            return QStringLiteral("Par client et surveillance");
        case Grouping::Day:
            return QStringLiteral("Par jour");
        case Grouping::Week:
            return QStringLiteral("Par semaine");
        case Grouping::Month:
            return QStringLiteral("Par mois");
    }
    return {};
}

QStringList keyTitles(Grouping g) {
    switch (g) {
        case Grouping::Client:
            return {QStringLiteral("Client")};
        case Grouping::Activity:
            return {QStringLiteral("Surveillance")};
        case Grouping::ClientActivity:
            return {QStringLiteral("Client"), QStringLiteral("Surveillance")};
        case Grouping::Day:
            return {QStringLiteral("Jour")};
        case Grouping::Week:
            return {QStringLiteral("Semaine")};
        case Grouping::Month:
            return {QStringLiteral("Mois")};
    }
    return {};
}

Summary::Recent& Summary::Recent::operator=(Recent&&) noexcept {
    day = QDate();
    dayLine = weekLine = monthLine = nullptr;
    pairs.clear();
    seen.fill(Slot());
    return *this;
}

namespace {
bool sameText(const QString& a, const QString& b) {
    return a.constData() == b.constData() && a.size() == b.size();
}
}  // namespace

SummaryLine& Summary::line(Grouping g, const QString& sortKey, const QStringList& keys) {
    auto [it, added] = groups_[size_t(g)].try_emplace(sortKey);
    if (added) {
        it->second.keys = keys;
        it->second.sortKey = sortKey;
    }
    return it->second;
}

SummaryLine& Summary::nameLine(Grouping g, const QString& name) {
    auto& group = groups_[size_t(g)];
    const auto it = group.find(name);
    return it != group.end() ? it->second : line(g, name, {name});
}

void Summary::add(const Entry& e) {
    const qint64 rounded = rounding_.apply(e.duration);
    // Entries come in order of time: the day's keys are made once per day.
    const QDate day = e.start.date();
    if (day != recent_.day || !recent_.dayLine) {
        int weekYear = 0;
        const int week = day.weekNumber(&weekYear);
        const QString isoDay = day.toString(Qt::ISODate);
        const QString weekKey =
            QStringLiteral("%1-S%2").arg(weekYear).arg(week, 2, 10, QLatin1Char('0'));
        recent_.day = day;
        recent_.dayLine = &line(Grouping::Day, isoDay, {regional::dateToText(day)});
        recent_.weekLine = &line(Grouping::Week, weekKey, {weekKey});
        recent_.monthLine = &line(Grouping::Month, isoDay.left(7),
                                  {french().toString(day, QStringLiteral("MMMM yyyy"))});
    }
    const auto at =
        (quintptr(e.client.constData()) >> 4) * 31 + (quintptr(e.activity.constData()) >> 4);
    Recent::Slot& slot = recent_.seen[at % recent_.seen.size()];
    if (!slot.pairLine || !sameText(slot.client, e.client) ||
        !sameText(slot.activity, e.activity)) {
        SummaryLine*& pair = recent_.pairs[{e.client, e.activity}];
        if (!pair)
            pair = &line(Grouping::ClientActivity, e.client + u'\x1f' + e.activity,
                         {e.client, e.activity});
        slot = {e.client,
                e.activity,
                &nameLine(Grouping::Client, e.client),
                &nameLine(Grouping::Activity, e.activity),
                pair,
                rates_ ? rates_->candidates(e.client, e.activity) : nullptr};
    }
    // Rounded per line, the line's rounding scales its value afterwards.
    const Rate* rate = rates_ ? Rates::at(slot.rates, day) : nullptr;
    const Value value =
        rate ? rates_->value(*rate, rounding_.perLine ? e.duration : rounded) : Value();
    if (!rate) ++unrated_;
    for (SummaryLine* l : {slot.clientLine, slot.activityLine, slot.pairLine, recent_.dayLine,
                           recent_.weekLine, recent_.monthLine}) {
        ++l->entries;
        l->seconds += e.duration;
        l->rounded += rounded;
        l->value += value;
        if (!rate) ++l->unrated;
    }
    ++entries_;
    seconds_ += e.duration;
    rounded_ += rounded;
    if (first_ == DateTime() || e.start < first_) first_ = e.start;
    if (last_ == DateTime() || e.end > last_) last_ = e.end;
}

std::vector<SummaryLine> Summary::lines(Grouping g) const {
    std::vector<SummaryLine> out;
    out.reserve(groups_[size_t(g)].size());
    for (const auto& [key, line] : groups_[size_t(g)]) {
        out.push_back(line);
        if (rounding_.perLine) out.back().rounded = rounding_.apply(line.seconds);
        out.back().amount = amountOf(line);
    }
    return out;
}

qint64 Summary::amountOf(const SummaryLine& l) const {
    const qint64 day = rates_ ? rates_->daySeconds() : 7 * 3600;
    if (rounding_.perLine && l.seconds > 0)
        return centsOf(l.value, day, rounding_.apply(l.seconds), l.seconds);
    return centsOf(l.value, day);
}

qint64 Summary::amount(Grouping g) const {
    qint64 sum = 0;
    for (const auto& [key, line] : groups_[size_t(g)]) sum += amountOf(line);
    return sum;
}

QString unratedText(qint64 entries) {
    return entries > 1 ? QStringLiteral("%1 entrées sans tarif").arg(entries)
                       : QStringLiteral("%1 entrée sans tarif").arg(entries);
}

QString amountText(qint64 cents, qint64 entries, qint64 unrated) {
    if (entries > 0 && unrated >= entries) return QStringLiteral("sans tarif");
    if (unrated == 0) return moneyText(cents);
    return moneyText(cents) + QStringLiteral(" (") + unratedText(unrated) + u')';
}

qint64 Summary::rounded(Grouping g) const {
    if (!rounding_.perLine) return rounded_;
    qint64 sum = 0;
    for (const auto& [key, line] : groups_[size_t(g)]) sum += rounding_.apply(line.seconds);
    return sum;
}

}  // namespace tavix

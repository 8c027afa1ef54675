// Rates looked up by day and scope, and the amounts of the summary in cents
// against sums worked out here on their own.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "consult/Summary.h"
#include "data/Billing.h"

using namespace tavix;

namespace {

const QString A = QStringLiteral("Atelier Brun");
const QString B = QStringLiteral("Bâtiments Roux");
const QString Dev = QStringLiteral("Développement");
const QString Other = QStringLiteral("Réunion");

Rate rate(const QString& client, const QString& activity, QDate from, qint64 cents,
          bool daily = false) {
    return {client, activity, from, cents, daily};
}

// 65 € for A from November, 80 € for A's development from 1 December, 70 €
// for A's other work from 15 December.
std::shared_ptr<const Rates> fixtureRates() {
    return std::make_shared<const Rates>(std::vector<Rate>{
        rate(A, {}, QDate(2026, 11, 1), 6500),
        rate(A, Dev, QDate(2026, 12, 1), 8000),
        rate(A, {}, QDate(2026, 12, 15), 7000),
    });
}

Entry entry(const QString& client, const QString& activity, QDate day, qint64 seconds,
            QTime at = QTime(9, 0)) {
    Entry e;
    e.client = client;
    e.activity = activity;
    e.start = DateTime(day, at);
    e.end = e.start.addSecs(seconds);
    e.duration = seconds;
    return e;
}

qint64 halfUp(qint64 numerator, qint64 denominator) {
    return (2 * numerator + denominator) / (2 * denominator);
}

}  // namespace

TEST(RatesTest, TheMoreSpecificAndLatestStartedRateApplies) {
    const auto rates = fixtureRates();
    const struct {
        QString client, activity;
        QDate day;
        qint64 cents;  // -1: none
    } cases[] = {
        {A, Dev, QDate(2026, 10, 31), -1},    // before any rate
        {A, Dev, QDate(2026, 11, 30), 6500},  // the client's, the activity's not yet
        {A, Dev, QDate(2026, 12, 1), 8000},   // the activity's from its first day
        {A, Dev, QDate(2026, 12, 20), 8000},  // a later client rate does not win over it
        {A, Other, QDate(2026, 12, 14), 6500}, {A, Other, QDate(2026, 12, 15), 7000},
        {B, Dev, QDate(2026, 12, 20), -1},  // another client
    };
    for (const auto& c : cases) {
        const Rate* r = rates->find(c.client, c.activity, c.day);
        EXPECT_EQ(r ? r->cents : -1, c.cents)
            << c.activity.toStdString() << " " << c.day.toString(Qt::ISODate).toStdString();
    }
}

TEST(RatesTest, AChangeInTheMonthSplitsTheAmountsAtItsDay) {
    Summary s({}, fixtureRates());
    // One hour of other work every day from 12 to 17 December: 65 € up to
    // the 14th, 70 € from the 15th; development stays at 80 €.
    for (int d = 12; d <= 17; ++d) s.add(entry(A, Other, QDate(2026, 12, d), 3600));
    s.add(entry(A, Dev, QDate(2026, 12, 16), 1800, QTime(14, 0)));
    std::map<QString, qint64> byDay;
    for (const SummaryLine& l : s.lines(Grouping::Day)) byDay[l.sortKey] = l.amount;
    EXPECT_EQ(byDay["2026-12-14"], 6500);
    EXPECT_EQ(byDay["2026-12-15"], 7000);
    EXPECT_EQ(byDay["2026-12-16"], 7000 + 4000);
    const auto months = s.lines(Grouping::Month);
    ASSERT_EQ(months.size(), 1u);
    EXPECT_EQ(months[0].amount, 3 * 6500 + 3 * 7000 + 4000);
    EXPECT_EQ(s.amount(Grouping::Month), s.amount(Grouping::Day));
    EXPECT_EQ(s.unrated(), 0);
}

TEST(RatesTest, HandWorkedAmountsWithAndWithoutRounding) {
    const auto rates = std::make_shared<const Rates>(
        std::vector<Rate>{rate(A, {}, QDate(2026, 1, 1), 6500),
                          rate(A, Dev, QDate(2026, 1, 1), 8000),
                          rate(B, {}, QDate(2026, 1, 1), 52000, true)},
        8 * 3600);
    const struct {
        Rounding rounding;
        QString client, activity;
        std::vector<qint64> seconds;
        qint64 cents;
    } cases[] = {
        {{}, A, Other, {4020}, 7258},                  // 1 h 07 at 65 €: 72,583…
        {{15, false, false}, A, Other, {4020}, 8125},  // 1 h 15 billed
        {{}, A, Dev, {1200}, 2667},                    // 20 min at 80 €: 26,666…
        {{}, A, Dev, {1350}, 3000},                    // exactly 30,00
        {{}, A, Other, {18}, 33},                      // 0,325: half a cent goes up
        {{}, A, Other, {17}, 31},                      // 0,3069…
        {{}, B, Dev, {4 * 3600}, 26000},               // half a day at 520 € a day
        // Each entry up to the quarter, or the line's total once.
        {{15, false, false}, A, Dev, {60, 60, 60}, 6000},
        {{15, false, true}, A, Dev, {60, 60, 60}, 2000},
        {{15, true, true}, A, Dev, {400, 500}, 2000},  // 15 min to the nearest quarter
    };
    for (const auto& c : cases) {
        Summary s(c.rounding, rates);
        int minute = 0;
        for (const qint64 sec : c.seconds)
            s.add(entry(c.client, c.activity, QDate(2026, 3, 2), sec, QTime(9, minute++)));
        EXPECT_EQ(s.amount(Grouping::Client), c.cents)
            << c.rounding.toSetting().toStdString() << " " << c.seconds.front();
    }
}

TEST(RatesTest, AmountsInCentsAgreeWithSumsWorkedOutApart) {
    const auto rates = fixtureRates();
    std::mt19937 random(28);
    std::vector<Entry> entries;
    const QString clients[] = {A, B};
    // Many pairs of names, met in any order, so that the rates looked up
    // for one pair stay valid while those of others are added.
    QStringList activities{Dev, Other};
    for (int i = 0; i < 60; ++i) activities << QStringLiteral("Tâche %1").arg(i);
    for (int i = 0; i < 800; ++i) {
        const QDate day = QDate(2026, 11, 1).addDays(int(random() % 61));
        entries.push_back(entry(clients[random() % 2], activities[random() % activities.size()],
                                day, qint64(random() % 20000), QTime(8, 0).addSecs(int(i % 600))));
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& x, const Entry& y) { return x.start < y.start; });
    for (const Rounding rounding :
         {Rounding{}, Rounding{15, false, false}, Rounding{6, true, false},
          Rounding{15, false, true}, Rounding{30, true, true}}) {
        Summary s(rounding, rates);
        for (const Entry& e : entries) s.add(e);
        // Per client and activity, each line's amount worked out here: the
        // billed seconds of each entry (or of the line, spread over its
        // rates by their share) times the rate, to the cent once.
        struct Sum {
            qint64 seconds = 0, centSeconds = 0, entries = 0, unrated = 0;
        };
        std::map<std::pair<QString, QString>, Sum> sums;
        for (const Entry& e : entries) {
            Sum& sum = sums[{e.client, e.activity}];
            ++sum.entries;
            sum.seconds += e.duration;
            qint64 cents = -1;
            if (e.client == A)
                cents = e.activity == Dev && e.start.date() >= QDate(2026, 12, 1) ? 8000
                        : e.start.date() >= QDate(2026, 12, 15)                   ? 7000
                                                                                  : 6500;
            if (cents < 0) {
                ++sum.unrated;
                continue;
            }
            const qint64 billed = rounding.perLine ? e.duration : rounding.apply(e.duration);
            sum.centSeconds += billed * cents;
        }
        qint64 total = 0;
        const auto lines = s.lines(Grouping::ClientActivity);
        ASSERT_EQ(lines.size(), sums.size());
        for (const SummaryLine& l : lines) {
            const Sum& sum = sums[{l.keys[0], l.keys[1]}];
            const qint64 expected =
                rounding.perLine
                    ? halfUp(sum.centSeconds * rounding.apply(sum.seconds), 3600 * sum.seconds)
                    : halfUp(sum.centSeconds, 3600);
            EXPECT_EQ(l.amount, expected)
                << l.keys.join(" / ").toStdString() << " " << rounding.toSetting().toStdString();
            EXPECT_EQ(l.unrated, sum.unrated);
            total += expected;
        }
        EXPECT_EQ(s.amount(Grouping::ClientActivity), total);
        qint64 unrated = 0;
        for (const auto& [key, sum] : sums) unrated += sum.unrated;
        EXPECT_EQ(s.unrated(), unrated);
        EXPECT_GT(unrated, 0);
    }
}

TEST(RatesTest, EntriesWithoutARateAreCountedNeverAZero) {
    Summary s({}, fixtureRates());
    s.add(entry(A, Dev, QDate(2026, 12, 2), 3600));
    s.add(entry(B, Dev, QDate(2026, 12, 2), 3600, QTime(10, 0)));
    s.add(entry(B, Other, QDate(2026, 12, 3), 3600));
    s.add(entry(B, Other, QDate(2026, 12, 4), 3600));
    EXPECT_EQ(s.unrated(), 3);
    std::map<QString, QString> shown;
    for (const SummaryLine& l : s.lines(Grouping::Client))
        shown[l.keys[0]] = amountText(l.amount, l.entries, l.unrated);
    EXPECT_EQ(shown[A], QStringLiteral("80,00\u00A0€"));
    EXPECT_EQ(shown[B], QStringLiteral("sans tarif"));
    const auto days = s.lines(Grouping::Day);
    EXPECT_EQ(amountText(days[0].amount, days[0].entries, days[0].unrated),
              QStringLiteral("80,00\u00A0€ (1 entrée sans tarif)"));
    EXPECT_EQ(unratedText(3), QStringLiteral("3 entrées sans tarif"));
    // No rate at all: nothing is priced.
    Summary none;
    none.add(entry(A, Dev, QDate(2026, 12, 2), 3600));
    EXPECT_FALSE(none.priced());
}

TEST(MoneyTest, TypedAmountsAreReadOrRefusedWithTheReason) {
    const struct {
        QString text;
        qint64 cents;  // -1: refused
        QString why;   // part of the reason
    } cases[] = {
        {"65", 6500, {}},
        {"65,5", 6550, {}},
        {"65.50", 6550, {}},
        {" 65,50 € ", 6550, {}},
        {"0,07", 7, {}},
        {"-5", -1, "négatif"},
        {"douze", -1, "n'est pas un montant"},
        {"1,234", -1, "deux décimales"},
        {"", -1, "aucun montant"},
        {"1e3", -1, "n'est pas un montant"},
    };
    for (const auto& c : cases) {
        QString why;
        const auto cents = parseMoney(c.text, &why);
        EXPECT_EQ(cents.value_or(-1), c.cents) << c.text.toStdString();
        if (!c.why.isEmpty()) {
            EXPECT_TRUE(why.contains(c.why)) << why.toStdString();
        }
    }
    EXPECT_EQ(moneyText(123456), QStringLiteral("1234,56\u00A0€"));
    EXPECT_EQ(moneyText(5), QStringLiteral("0,05\u00A0€"));
    EXPECT_EQ(moneyFigure(-250), QStringLiteral("-2,50"));
    EXPECT_EQ(rateText(rate(A, {}, QDate(2026, 1, 1), 52000, true)),
              QStringLiteral("520,00\u00A0€ / jour"));
}

// Billing figures: rounding, duration texts, the selection read with bound
// values and the totals by every grouping against sums made from the rows.

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <cmath>
#include <map>
#include <set>

#include "common/TempDatabase.h"
#include "consult/Entries.h"
#include "consult/Report.h"
#include "consult/Summary.h"
#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "platform/Regional.h"

using namespace tavix;
using test::TempDatabase;

namespace {

TEST(RoundingTest, StepsUpAndNearest) {
    const struct {
        int minutes;
        bool nearest;
        qint64 seconds, expected;
    } cases[] = {
        {0, false, 61, 61},      // none: exact
        {15, false, 0, 0},       // nothing to bill
        {15, false, 900, 900},   // exact multiple stays
        {15, false, 901, 1800},  // one second past goes up
        {15, true, 901, 900},    // ...but not to the nearest
        {15, true, 1349, 900},   // just under half a step
        {15, true, 1350, 1800},  // half a step goes up
        {1, false, 59, 60},
        {1, true, 29, 0},
        {5, false, 3601, 3900},
        {6, true, 539, 360},        // 8:59 to 6 min
        {6, true, 540, 720},        // 9:00 to 12 min
        {10, false, 86399, 86400},  // a day less a second
        {30, false, 1200, 1800},    // 23:50 to 00:10 across midnight
        {30, true, 2 * 3600 + 1, 7200},
    };
    for (const auto& c : cases) {
        const Rounding r{c.minutes, c.nearest};
        EXPECT_EQ(r.apply(c.seconds), c.expected)
            << c.minutes << (c.nearest ? " nearest " : " up ") << c.seconds;
    }
}

TEST(RoundingTest, SettingTextReadsBackAndNonsenseMeansNone) {
    for (const Rounding& r : Rounding::choices())
        EXPECT_EQ(Rounding::fromSetting(r.toSetting()), r) << r.toSetting().toStdString();
    EXPECT_EQ(Rounding::choices().size(), 13u);
    for (const char* bad : {"", "15", "7 haut", "15 bas", "x haut", "15 haut x"})
        EXPECT_FALSE(Rounding::fromSetting(bad).active()) << bad;
}

TEST(RoundingTest, TheRuleInWordsAndPerLineTotals) {
    const struct {
        Rounding r;
        Grouping g;
        const char* rule;
    } rules[] = {
        {{}, Grouping::Client, "sans arrondi"},
        {{15, false}, Grouping::Client, "arrondi au quart d'heure supérieur, entrée par entrée"},
        {{15, true}, Grouping::Day, "arrondi au quart d'heure le plus proche, entrée par entrée"},
        {{30, false, true},
         Grouping::Day,
         "arrondi à la demi-heure supérieure, sur le total de chaque ligne (par jour)"},
        {{1, true, true},
         Grouping::ClientActivity,
         "arrondi à la minute la plus proche, sur le total de chaque ligne (par client et "
         "surveillance)"},
        {{6, false}, Grouping::Month, "arrondi aux 6 minutes supérieures, entrée par entrée"},
    };
    for (const auto& c : rules) {
        EXPECT_EQ(c.r.rule(c.g), c.rule);
        EXPECT_EQ(Rounding::fromSetting(c.r.toSetting()), c.r) << c.rule;
    }
    EXPECT_FALSE(Rounding::fromSetting("15 haut ligne x").active());

    // Three entries of 10 minutes for one client on two days: per entry
    // 3 x 15 min; per client line 30 min rounded to 30; per day 20 -> 30
    // and 10 -> 15.
    const DateTime d1(QDate(2026, 3, 2), QTime(8, 0)), d2(QDate(2026, 3, 3), QTime(8, 0));
    for (const bool perLine : {false, true}) {
        Summary s(Rounding{15, false, perLine});
        for (const DateTime& at : {d1, d1.addSecs(3600), d2})
            s.add(Entry{0, "u", "Saisie", "Martin", at, at.addSecs(600), 600, {}});
        EXPECT_EQ(s.rounded(), 2700);  // each entry rounded, whatever the choice
        EXPECT_EQ(s.rounded(Grouping::Client), perLine ? 1800 : 2700);
        EXPECT_EQ(s.rounded(Grouping::Day), perLine ? 2700 : 2700);
        EXPECT_EQ(s.lines(Grouping::Day)[0].rounded, perLine ? 1800 : 1800);
        EXPECT_EQ(s.lines(Grouping::Client)[0].rounded, perLine ? 1800 : 2700);
    }
}

TEST(DurationTextTest, ClockDecimalShareAndTotals) {
    EXPECT_EQ(hmsText(0), "00:00:00");
    EXPECT_EQ(hmsText(27900), "07:45:00");
    EXPECT_EQ(hmsText(360000 + 2439), "100:40:39");
    EXPECT_EQ(hmsText(qint64(3) << 31), "1789569:42:24");  // past 32 bits
    EXPECT_EQ(decimalHoursText(27900), "7,75");
    EXPECT_EQ(decimalHoursText(0), "0,00");
    EXPECT_EQ(decimalHoursText(25650), "7,13");  // 7,125 goes up
    EXPECT_EQ(decimalHoursText(17), "0,00");
    EXPECT_EQ(decimalHoursText(18), "0,01");
    EXPECT_EQ(decimalHoursText(3600 * 1234), "1234,00");  // no thousands mark
    EXPECT_EQ(shareText(1, 3), "33,3");
    EXPECT_EQ(shareText(0, 0), "0,0");
    EXPECT_EQ(totalsText(12, 27900), "12 entrées — 07:45:00 — 7,75 h");
    EXPECT_EQ(totalsText(1, 60), "1 entrée — 00:01:00 — 0,02 h");
    EXPECT_EQ(totalsText(0, 0), "0 entrée — 00:00:00 — 0,00 h");
}

struct Row {
    QString user, activity, client;
    DateTime start, end;
    qint64 duration;
    QString comment;
};

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A deterministic month of entries over awkward names.
        const QStringList clients{"Dupont \"&\" fils", "L'Oréal", "A;B", "Zoé", "Tous"};
        const QStringList activities{"Saisie", "Appel d'offre", "Réunion \"x\""};
        QRandomGenerator random(18);
        DateTime at(QDate(2026, 2, 27), QTime(7, 0));
        for (int i = 0; i < 240; ++i) {
            at = at.addSecs(random.bounded(600, 5 * 3600));
            const qint64 duration = random.bounded(0, 4 * 3600);
            Row r{i % 7 ? "marie" : "",
                  activities[random.bounded(activities.size())],
                  clients[random.bounded(clients.size())],
                  at,
                  at.addSecs(duration),
                  duration,
                  i % 5 ? QString("note %1").arg(i) : QString()};
            rows.push_back(r);
        }
        QString sql =
            "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
            "COMMENTAIRE) VALUES ";
        auto q = [](const QString& s) { return "'" + QString(s).replace("'", "''") + "'"; };
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row& r = rows[i];
            sql += QString("%1(%2, %3, %4, %5, %6, %7, %8)")
                       .arg(i ? "," : "", q(r.user), q(r.activity), q(r.client), q(r.start.toIso()),
                            q(r.end.toIso()))
                       .arg(r.duration)
                       .arg(q(r.comment));
        }
        db.exec(sql);
        connection.setConnectionString("Data Source=" + db.path());
        connection.open();
    }

    std::vector<Entry> read(const EntryFilter& f) {
        std::vector<Entry> out;
        forEachEntry(connection, f, [&](const Entry& e) { out.push_back(e); });
        return out;
    }

    TempDatabase db;
    db::Connection connection;
    std::vector<Row> rows;
};

TEST_F(SelectionTest, SelectsWhatTheReportSelects) {
    const struct {
        QString activity, client;
        QDate from, to;
        bool all;
    } cases[] = {
        {"Tous", "Tous", {2026, 3, 1}, {2026, 3, 31}, false},
        {"Tous", "Dupont \"&\" fils", {2026, 3, 1}, {2026, 3, 15}, false},
        {"Appel d'offre", "L'Oréal", {2026, 2, 1}, {2026, 4, 30}, false},
        {"Réunion \"x\"", "A;B", {2026, 3, 2}, {2026, 3, 2}, false},
        {"Tous", "Tous", {2026, 3, 10}, {2026, 3, 1}, true},  // "Tout": dates ignored
        {"Saisie", "Personne", {2026, 3, 1}, {2026, 3, 31}, false},
    };
    for (const auto& c : cases) {
        const EntryFilter f{c.activity, c.client, c.from, c.to, c.all};
        std::vector<QString> expected;
        db::Query query(connection);
        query.add(BuildReportSelection(c.activity, c.client, DateTime(c.from, QTime(9, 0)),
                                       DateTime(c.to, QTime(9, 0)), c.all)
                      .statement);
        for (query.open(); !query.eof(); query.next())
            expected.push_back(query.asString("CLIENTS") + "|" + query.asString("DEBUT") + "|" +
                               query.asString("COMMENTAIRE"));
        std::vector<QString> got;
        for (const Entry& e : read(f))
            got.push_back(e.client + "|" + regional::dateTimeToText(e.start) + "|" + e.comment);
        EXPECT_EQ(got, expected) << f.describe().toStdString() << " " << f.period().toStdString();
    }
    // The client named "Tous" is no wildcard in the lists, but is a name in the table.
    EXPECT_FALSE(read({"Tous", "Tous", {2026, 3, 1}, {2026, 3, 31}, false}).empty());
}

TEST_F(SelectionTest, TotalsMatchSumsMadeFromTheRows) {
    const EntryFilter f{"Tous", "Tous", {2026, 3, 1}, {2026, 3, 31}, false};
    for (const Rounding rounding : {Rounding{}, Rounding{15, false}, Rounding{6, true}}) {
        Summary summary(rounding);
        forEachEntry(connection, f, [&](const Entry& e) { summary.add(e); });

        // The same figures computed straight from the generated rows.
        std::map<QString, std::array<qint64, 3>> byClient, byClientActivity, byDay, byWeek, byMonth;
        qint64 count = 0, total = 0, totalRounded = 0;
        for (const Row& r : rows) {
            if (r.start < DateTime(QDate(2026, 3, 1), QTime(0, 0)) ||
                r.end > DateTime(QDate(2026, 4, 1), QTime(0, 0)))
                continue;
            qint64 rounded = r.duration;
            if (rounding.active()) {
                const qint64 step = rounding.minutes * 60;
                const double steps = double(r.duration) / double(step);
                rounded =
                    qint64(rounding.nearest ? std::floor(steps + 0.5) : std::ceil(steps)) * step;
            }
            const QDate d = r.start.date();
            for (const auto& [map, key] :
                 {std::pair{&byClient, r.client},
                  std::pair{&byClientActivity, r.client + "/" + r.activity},
                  std::pair{&byDay, d.toString("dd/MM/yyyy")},
                  std::pair{&byWeek,
                            QString("%1-S%2").arg(d.year()).arg(d.weekNumber(), 2, 10, QChar('0'))},
                  std::pair{&byMonth, d.toString("yyyy-MM")}}) {
                auto& sums = (*map)[key];
                sums[0] += 1;
                sums[1] += r.duration;
                sums[2] += rounded;
            }
            ++count;
            total += r.duration;
            totalRounded += rounded;
        }
        ASSERT_GT(count, 100);
        EXPECT_EQ(summary.entries(), count);
        EXPECT_EQ(summary.seconds(), total);
        EXPECT_EQ(summary.rounded(), totalRounded);

        auto check = [&](Grouping g, const std::map<QString, std::array<qint64, 3>>& expected,
                         auto keyOf) {
            std::map<QString, std::array<qint64, 3>> got;
            qint64 sumOfLines = 0;
            for (const SummaryLine& l : summary.lines(g)) {
                got[keyOf(l)] = {l.entries, l.seconds, l.rounded};
                sumOfLines += l.seconds;
            }
            EXPECT_EQ(got, expected) << groupingName(g).toStdString();
            EXPECT_EQ(sumOfLines, total);
        };
        check(Grouping::Client, byClient, [](const SummaryLine& l) { return l.keys[0]; });
        check(Grouping::ClientActivity, byClientActivity,
              [](const SummaryLine& l) { return l.keys[0] + "/" + l.keys[1]; });
        check(Grouping::Day, byDay, [](const SummaryLine& l) { return l.keys[0]; });
        check(Grouping::Week, byWeek, [](const SummaryLine& l) { return l.keys[0]; });
        check(Grouping::Month, byMonth, [](const SummaryLine& l) { return l.sortKey; });
    }
}

TEST(SummaryTest, PeriodsFollowTheStartAndSortByDate) {
    Summary s;
    // Across midnight and across a year's end: the day and the ISO week of the start.
    s.add({1, "", "a", "c", DateTime(QDate(2026, 12, 31), QTime(23, 50)),
           DateTime(QDate(2027, 1, 1), QTime(0, 10)), 1200, ""});
    s.add({2, "", "a", "c", DateTime(QDate(2027, 1, 4), QTime(9, 0)),
           DateTime(QDate(2027, 1, 4), QTime(10, 0)), 3600, ""});
    s.add({3, "", "a", "c", DateTime(QDate(2026, 2, 10), QTime(9, 0)),
           DateTime(QDate(2026, 2, 10), QTime(9, 1)), 60, ""});
    auto keys = [&](Grouping g) {
        QStringList out;
        for (const SummaryLine& l : s.lines(g)) out << l.keys.join("/");
        return out;
    };
    EXPECT_EQ(keys(Grouping::Day), (QStringList{"10/02/2026", "31/12/2026", "04/01/2027"}));
    EXPECT_EQ(keys(Grouping::Week), (QStringList{"2026-S07", "2026-S53", "2027-S01"}));
    EXPECT_EQ(keys(Grouping::Month),
              (QStringList{"février 2026", "décembre 2026", "janvier 2027"}));
    EXPECT_EQ(s.firstStart(), DateTime(QDate(2026, 2, 10), QTime(9, 0)));
    EXPECT_EQ(s.lastEnd(), DateTime(QDate(2027, 1, 4), QTime(10, 0)));
}

// Totals built in pieces, the summary moved and copied between them as the
// billing panel does, equal those built in one go.
TEST(SummaryTest, AMovedOrCopiedSummaryGoesOnCounting) {
    std::vector<Entry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({i, "", QString("act%1").arg(i % 3), QString("cli%1").arg(i % 4),
                           DateTime(QDate(2026, 3, 1 + i / 5), QTime(9, i)),
                           DateTime(QDate(2026, 3, 1 + i / 5), QTime(10, i)), 60 + i, ""});
    Summary whole(Rounding{15, false});
    for (const Entry& e : entries) whole.add(e);

    Summary first(Rounding{15, false});
    for (int i = 0; i < 15; ++i) first.add(entries[size_t(i)]);
    Summary moved = std::move(first);
    for (int i = 15; i < 30; ++i) moved.add(entries[size_t(i)]);
    Summary copy(Rounding{15, false});
    copy = moved;
    moved = Summary(Rounding{15, false});  // the copy must not lean on it
    for (int i = 30; i < 40; ++i) copy.add(entries[size_t(i)]);

    for (const Grouping g : kGroupings) {
        const std::vector<SummaryLine> a = whole.lines(g), b = copy.lines(g);
        ASSERT_EQ(a.size(), b.size()) << groupingName(g).toStdString();
        for (size_t k = 0; k < a.size(); ++k) {
            EXPECT_EQ(a[k].keys, b[k].keys);
            EXPECT_EQ(a[k].entries, b[k].entries);
            EXPECT_EQ(a[k].seconds, b[k].seconds);
            EXPECT_EQ(a[k].rounded, b[k].rounded);
        }
    }
    EXPECT_EQ(copy.entries(), 40);
    EXPECT_EQ(copy.rounded(), whole.rounded());
}

}  // namespace

// The report's statement and filter, and its text.

#include <gtest/gtest.h>

#include "common/Fakes.h"
#include "consult/Report.h"

using namespace tavix;

namespace {

const QString kSelect =
    "SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE] FROM "
    "activites ";

TEST(ReportSelectionTest, StatementAndFilterTexts) {
    const DateTime start(QDate(2009, 12, 25), QTime(10, 0));
    const DateTime end(QDate(2009, 12, 26), QTime(9, 0));
    const QString dates = "DEBUT>=#12/25/2009#  AND FIN<=#12/27/2009# ";
    const QString filterDates = "DEBUT>='25/12/2009'  AND FIN<='27/12/2009' ";
    const struct {
        QString activity, client;
        bool all;
        QString where, filter;
    } cases[] = {
        {"Tous", "Tous", false, " WHERE " + dates, filterDates},
        {"Tous", "Dupont", false, " WHERE CLIENTS =\"Dupont\" AND " + dates,
         "CLIENTS ='Dupont' AND " + filterDates},
        {"Saisie", "Dupont", false,
         " WHERE CLIENTS =\"Dupont\" AND SURVEILLANCES =\"Saisie\" AND " + dates,
         "CLIENTS ='Dupont' AND SURVEILLANCES ='Saisie' AND " + filterDates},
        {"tous", "Tous", false, " WHERE SURVEILLANCES =\"tous\" AND " + dates,
         "SURVEILLANCES ='tous' AND " + filterDates},
        // Each side doubles its own quote and leaves the other kind alone.
        {"Tous", "Dupont \"&\" fils", false,
         " WHERE CLIENTS =\"Dupont \"\"&\"\" fils\" AND " + dates,
         "CLIENTS ='Dupont \"&\" fils' AND " + filterDates},
        {"Appel d'offre", "L'Oréal", false,
         " WHERE CLIENTS =\"L'Oréal\" AND SURVEILLANCES =\"Appel d'offre\" AND " + dates,
         "CLIENTS ='L''Oréal' AND SURVEILLANCES ='Appel d''offre' AND " + filterDates},
        {"Saisie", "Dupont", true, "", ""},
    };
    for (const auto& c : cases) {
        const auto s = BuildReportSelection(c.activity, c.client, start, end, c.all);
        EXPECT_EQ(s.statement, kSelect + c.where + " ORDER BY DEBUT") << c.client.toStdString();
        EXPECT_EQ(s.filter, c.filter) << c.client.toStdString();
    }
    // "Tout": two blanks before ORDER; the dates do not matter.
    EXPECT_EQ(BuildReportSelection("Tous", "Tous", end, start, true).statement,
              kSelect + " ORDER BY DEBUT");
    // The end date's following day crosses months and years.
    EXPECT_EQ(
        BuildReportSelection("Tous", "Tous", start, DateTime(QDate(2009, 12, 31), QTime()), false)
            .filter,
        "DEBUT>='25/12/2009'  AND FIN<='01/01/2010' ");
}

ReportWriter::Entry entry(const QString& user, const QString& client, const DateTime& start,
                          const DateTime& end, qint32 duration, const QString& comment = {}) {
    ReportWriter::Entry e;
    e.user = user;
    e.activity = "Saisie";
    e.client = client;
    e.startValue = start;
    e.endValue = end;
    e.start = start == DateTime() ? QString() : start.toIso();
    e.end = end == DateTime() ? QString() : end.toIso();
    e.duration = duration;
    e.comment = comment;
    return e;
}

const QString kLine(208, u'-');

TEST(ReportWriterTest, TextToTheByte) {
    const DateTime a(QDate(2009, 12, 25), QTime(8, 0));
    const DateTime b(QDate(2009, 12, 25), QTime(10, 30));
    const DateTime c(QDate(2009, 12, 26), QTime(0, 0));
    for (const bool comments : {false, true}) {
        ReportWriter w(comments);
        w.add(entry("marie", "Dupont", a, b, 9000, "note"));
        w.add(entry("", "L'Oréal", b, c, 48600));
        QString expected =
            "marie\tSaisie\tDupont\t" + a.toIso() + "\t" + b.toIso() + "\t02:30:00\r\n";
        if (comments) expected += "\tnote\r\n";
        expected += "\tSaisie\tL'Oréal\t" + b.toIso() + "\t" + c.toIso() + "\t13:30:00\r\n";
        if (comments) expected += "\t\r\n";
        expected += kLine + "Total\t\t\t\t\t25/12/2009 08:00:00\t\t26/12/2009\t\t16:00:00";
        EXPECT_EQ(QString::fromUtf8(w.finish()), expected) << comments;
        EXPECT_EQ(w.widths(), (std::array<qint32, 6>{5, 6, 7, 19, 19, 8}));
    }
}

TEST(ReportWriterTest, TotalLine) {
    const DateTime day(QDate(2010, 1, 5), QTime(9, 0));
    const struct {
        std::vector<ReportWriter::Entry> entries;
        QString total;
    } cases[] = {
        {{}, "Total\t\t\t\t\t30/12/1899\t\t30/12/1899\t\t00:00:00"},
        // Earliest start and latest end, whatever the rows' order.
        {{entry("", "x", day, day.addSecs(60), 359999),
          entry("", "x", day.addDays(-1), day.addSecs(30), 2440)},
         "Total\t\t\t\t\t04/01/2010 09:00:00\t\t05/01/2010 09:01:00\t\t100:40:39"},
        // A sum past 2^31 seconds keeps every digit.
        {{entry("", "x", day, day, 2000000000), entry("", "x", day, day, 2000000000)},
         "Total\t\t\t\t\t05/01/2010 09:00:00\t\t05/01/2010 09:00:00\t\t1111111:06:40"},
    };
    for (const auto& c : cases) {
        ReportWriter w(false);
        for (const auto& e : c.entries) w.add(e);
        const QString text = QString::fromUtf8(w.finish());
        EXPECT_EQ(text.right(c.total.size() + 208), kLine + c.total);
        EXPECT_EQ(w.rows(), static_cast<int>(c.entries.size()));
    }
}

}  // namespace

// The entries a filter selects, read by the statement that searches a
// period between its two dates: exactly the rows of a start on or after the
// first day and an end on or before the night after the last, in the same
// order, on a file and on a PostgreSQL server, awkward rows included.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <algorithm>
#include <memory>

#include "common/PgCluster.h"
#include "common/TempDatabase.h"
#include "consult/Entries.h"
#include "consult/Report.h"
#include "data/Unit2.h"
#include "data/engine/BoundSelect.h"
#include "data/engine/Dialect.h"
#include "data/engine/Query.h"

using namespace tavix;

namespace {

enum class Engine { File, Server };

struct Row {
    const char* client;
    const char* activity;
    const char* start;  // nullptr: NULL
    const char* end;
};

// Periods below run from 2026-03-02 00:00 to 2026-03-04 00:00 (two days).
const Row kRows[] = {
    {"A", "x", "2026-03-02 08:00:00", "2026-03-02 09:00:00"},  // inside
    {"A", "x", "2026-03-02 00:00:00", "2026-03-02 01:00:00"},  // starts on the first bound
    {"B", "y", "2026-03-03 23:00:00", "2026-03-04 00:00:00"},  // ends on the last bound
    {"A", "y", "2026-03-01 23:59:59", "2026-03-02 01:00:00"},  // starts the day before
    {"B", "x", "2026-03-03 23:00:00", "2026-03-04 00:00:01"},  // ends one second late
    {"A", "x", "2026-03-04 00:00:00", "2026-03-04 00:00:00"},  // 0 s on the last bound
    {"B", "x", "2026-03-02 10:00:00", "2026-03-02 09:00:00"},  // ends before it starts, inside
    {"A", "x", "2026-03-05 10:00:00", "2026-03-03 09:00:00"},  // starts after, ends inside
    {"B", "y", "2026-03-05 10:00:00", "2026-03-03 09:00:00"},  // the same, other names
    {"A", "x", "2026-03-04 00:00:01", "2026-03-04 00:00:00"},  // one second over, ends on it
    {"A", "x", "2026-03-06 00:00:00", "2026-03-05 00:00:00"},  // both after
    {"A", "x", "2026-03-02 10:00:00", "2026-03-01 09:00:00"},  // ends before the first bound
    {"B", "x", "2026-03-01 10:00:00", "2026-02-28 09:00:00"},  // both before
    {"A", "x", "2026-03-02 11:00:00", nullptr},                // no end
    {"A", "x", nullptr, "2026-03-02 11:00:00"},                // no start
    {"A", "x", nullptr, nullptr},
    {"A", "x", "2026-03-02 08:00:00", "2026-03-02 08:30:00"},  // same start as the first
};

class EntrySelectionTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        QString conninfo;
        if (GetParam() == Engine::File) {
            file = std::make_unique<test::TempDatabase>();
            path = file->path();
        } else {
            TAVIX_PG_OR_SKIP(found);
            cluster = found;
            path = conninfo = cluster->createDatabase();
        }
        // The program's own opening, which makes the indexes.
        module = std::make_unique<TDataModule2>();
        module->DatabasePath = path;
        ASSERT_TRUE(module->OpenDatabase());
        QString sql =
            "INSERT INTO activites (\"USER\", \"SURVEILLANCES\", \"CLIENTS\", \"DEBUT\", \"FIN\", "
            "\"DUREE\") VALUES ";
        auto literal = [](const char* t) {
            return t ? QStringLiteral("'%1'").arg(QLatin1String(t)) : QStringLiteral("NULL");
        };
        for (size_t i = 0; i < std::size(kRows); ++i)
            sql += QStringLiteral("%1('u', '%2', '%3', %4, %5, %6)")
                       .arg(i ? "," : "", QLatin1String(kRows[i].activity),
                            QLatin1String(kRows[i].client), literal(kRows[i].start),
                            literal(kRows[i].end))
                       .arg(i + 1);
        if (file)
            file->exec(sql);
        else
            cluster->exec(conninfo, sql);
    }

    // What the filter's plain condition selects, read through the same
    // engine: the rows the new statement must give, in the same order.
    std::vector<qint64> plain(const EntryFilter& f) {
        QString sql = QStringLiteral("SELECT DUREE FROM activites");
        QVariantList values;
        if (!f.all) {
            sql += QStringLiteral(" WHERE ");
            if (f.client != QLatin1String("Tous")) {
                sql += QStringLiteral("CLIENTS = ? AND ");
                values << f.client;
            }
            if (f.activity != QLatin1String("Tous")) {
                sql += QStringLiteral("SURVEILLANCES = ? AND ");
                values << f.activity;
            }
            sql += QStringLiteral("DEBUT >= ? AND FIN <= ?");
            values << QVariant::fromValue(DateTime(f.from, QTime(0, 0)))
                   << QVariant::fromValue(DateTime(f.to.addDays(1), QTime(0, 0)));
        }
        sql += QStringLiteral(" ORDER BY DEBUT, rowid");
        std::vector<qint64> rows;
        db::selectBound(module->ADOConnection1, sql, values,
                        [&](const db::BoundRow& r) { rows.push_back(r.integer(0)); });
        return rows;
    }
    std::vector<qint64> selected(const EntryFilter& f) {
        std::vector<qint64> rows;
        forEachEntry(module->ADOConnection1, f,
                     [&](const Entry& e) { rows.push_back(e.duration); });
        return rows;
    }

    std::unique_ptr<test::TempDatabase> file;
    test::PgCluster* cluster = nullptr;
    QString path;
    std::unique_ptr<TDataModule2> module;
};

TEST_P(EntrySelectionTest, ThePeriodSearchSelectsTheRowsOfThePlainConditionInOrder) {
    const QDate d2(2026, 3, 2), d3(2026, 3, 3);
    const struct {
        EntryFilter filter;
        std::vector<qint64> rows;  // DUREE holds each row's number in kRows
    } cases[] = {
        {{"Tous", "Tous", d2, d3}, {2, 1, 17, 7, 12, 3, 6, 10, 8, 9}},
        {{"Tous", "A", d2, d3}, {2, 1, 17, 12, 6, 10, 8}},
        {{"x", "Tous", d2, d3}, {2, 1, 17, 7, 12, 6, 10, 8}},
        {{"y", "B", d2, d3}, {3, 9}},
        {{"Tous", "Tous", d3, d3}, {3, 6, 10, 8, 9}},
        {{"Tous", "Tous", QDate(2026, 3, 5), QDate(2026, 3, 5)}, {8, 9, 11}},
        {{"Tous", "Tous", QDate(2025, 1, 1), QDate(2025, 1, 31)}, {}},
        {{"z", "Tous", d2, d3}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter.describe().toStdString() + " " + c.filter.period().toStdString());
        const std::vector<qint64> rows = selected(c.filter);
        EXPECT_EQ(rows, plain(c.filter));
        EXPECT_EQ(rows, c.rows);
    }
    EntryFilter all;
    all.all = true;
    EXPECT_EQ(selected(all), plain(all));
    EXPECT_EQ(selected(all).size(), std::size(kRows));
}

// The report's statement as the window builds it, and what its reader runs.
TEST_P(EntrySelectionTest, TheReportsSearchReadsTheRowsOfItsStatementInItsOrder) {
    struct Read {
        std::vector<qint64> rows;  // DUREE: each row's number in kRows
        std::vector<DateTime> starts;
    };
    auto run = [&](const QString& sql) {
        Read r;
        db::Query q(module->ADOConnection1);
        q.add(sql);
        q.open();
        for (; !q.eof(); q.next()) {
            r.rows.push_back(q.asInteger("DUREE"));
            r.starts.push_back(q.asDateTime("DEBUT"));
        }
        return r;
    };
    const DateTime d2(QDate(2026, 3, 2), QTime(10, 0)), d3(QDate(2026, 3, 3), QTime(9, 0));
    const struct {
        const char *activity, *client;
        DateTime from, to;
        size_t count;
    } cases[] = {
        {"Tous", "Tous", d2, d3, 10},
        {"Tous", "A", d2, d3, 7},
        {"y", "B", d2, d3, 2},
        {"Tous", "Tous", d3, d3, 5},
        {"Tous", "Tous", DateTime(QDate(2026, 3, 5), QTime(0, 0)),
         DateTime(QDate(2026, 3, 5), QTime(0, 0)), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.activity) + " " + c.client + " " + c.from.toIso().toStdString());
        const ReportSelection s = BuildReportSelection(c.activity, c.client, c.from, c.to, false);
        ASSERT_FALSE(s.search.isEmpty());
        const Read plain = run(s.statement), searched = run(s.search);
        EXPECT_EQ(searched.rows.size(), c.count);
        EXPECT_TRUE(std::is_sorted(searched.starts.begin(), searched.starts.end()));
        EXPECT_EQ(searched.starts, plain.starts);
        // Entries of one start may come in any order.
        std::vector<qint64> a = plain.rows, b = searched.rows;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b);
    }
    EXPECT_TRUE(BuildReportSelection("Tous", "Tous", d2, d3, true).search.isEmpty());
}

TEST_P(EntrySelectionTest, RowsEndingBeforeTheyStartHaveTheirOwnIndex) {
    EntryFilter month{"Tous", "Tous", QDate(2026, 3, 1), QDate(2026, 3, 31)};
    if (file) {
        // Neither part of the billing's statement nor of the report's walks
        // the log to its end.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY,
                                  nullptr),
                  SQLITE_OK);
        const ReportSelection report =
            BuildReportSelection("Tous", "Tous", DateTime(month.from, QTime(0, 0)),
                                 DateTime(month.to, QTime(0, 0)), false);
        for (const QByteArray& statement :
             {entriesStatement(month).toUtf8(), db::detail::translate(db, report.search)}) {
            SCOPED_TRACE(statement.toStdString());
            sqlite3_stmt* stmt = nullptr;
            const QByteArray sql = "EXPLAIN QUERY PLAN " + statement;
            ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr), SQLITE_OK)
                << sqlite3_errmsg(db);
            QStringList plan;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                plan << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
            sqlite3_finalize(stmt);
            const QString text = plan.join(u'\n');
            EXPECT_TRUE(text.contains("activites_debut_fin (DEBUT>? AND DEBUT<?)"))
                << qPrintable(text);
            EXPECT_TRUE(text.contains("activites_fin_avant_debut (FIN<?)")) << qPrintable(text);
            EXPECT_FALSE(text.contains("SCAN")) << qPrintable(text);
        }
        sqlite3_close(db);
    } else {
        EXPECT_EQ(cluster->rows(module->DatabasePath,
                                "SELECT indexdef FROM pg_indexes WHERE indexname = "
                                "'activites_fin_avant_debut'"),
                  QStringList{"CREATE INDEX activites_fin_avant_debut ON public.activites USING "
                              "btree (\"FIN\") WHERE (\"FIN\" < \"DEBUT\")"});
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, EntrySelectionTest,
                         ::testing::Values(Engine::File, Engine::Server),
                         [](const auto& p) { return p.param == Engine::File ? "File" : "Server"; });

}  // namespace

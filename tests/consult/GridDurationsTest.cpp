// Entries corrected by hand in the consultation window's grid, on a file and
// on a PostgreSQL server: durations follow the times typed, and every total
// on screen follows each post and delete.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <memory>

#include "common/Fakes.h"
#include "common/PgCluster.h"
#include "common/TempDatabase.h"
#include "consult/BillingPanel.h"
#include "consult/SummaryView.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "controls/ReportView.h"
#include "data/Unit2.h"
#include "platform/Regional.h"

using namespace tavix;
using Nav = TDBNavigator::Button;

namespace {

enum class Engine { File, Server };

const DateTime kEight(QDate(2026, 3, 2), QTime(8, 0));
QString at(const QTime& t) { return regional::dateTimeToText(DateTime(kEight.date(), t)); }
// Grid columns.
constexpr int kStart = 3, kEnd = 4, kDuration = 5, kComment = 6, kActivity = 1, kClient = 2;

class GridDurationsTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        if (GetParam() == Engine::File) {
            file = std::make_unique<test::TempDatabase>();
            path = file->path();
        } else {
            TAVIX_PG_OR_SKIP(cluster);
            path = cluster->createDatabase();
        }
        module = std::make_unique<TDataModule2>();
        module->DatabasePath = path;
        ASSERT_TRUE(module->OpenDatabase());
        // A timed entry: its stopwatch kept 3590 s of 08:00-09:00.
        module->AddLogEntry("marie", "Martin", "Saisie", kEight, kEight.addSecs(3600), 3590, "");
        form = std::make_unique<TForm5>();
        form->show();
        form->chkTout->setChecked(true);
        form->Commenter->click();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !form->Billing->totalsRunning() && !form->reportRunning(); }, 10000));
        form->Button2->click();  // the grid
        ASSERT_EQ(grid()->model()->rowCount(), 1);
    }
    void TearDown() override {
        form.reset();
        module.reset();
    }

    TDBGrid* grid() const { return form->DBGrid1; }

    // Types text in a cell of the current row, as in its cell editor.
    void type(int column, const QString& text) {
        const QModelIndex cell = grid()->model()->index(module->ADOTable1.recNo(), column);
        grid()->setCurrentIndex(cell);
        grid()->edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(grid()->cellEditor());
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        grid()->commitEditor();
    }

    void goTo(const QTime& start) {
        auto& t = module->ADOTable1;
        for (int row = 0; row < t.recordCount(); ++row)
            if (t.textAt(row, t.fieldIndex("DEBUT")) == at(start)) t.setRecNo(row);
        ASSERT_EQ(t.asString("DEBUT"), at(start));
    }

    void press(Nav button) {
        runGuarded([&] { form->DBNavigator1->btnClick(button); });
    }

    QStringList storedDurations() {
        QStringList out;
        db::Query q(module->ADOConnection1);
        q.add("SELECT DUREE FROM activites ORDER BY DEBUT");
        q.open();
        for (; !q.eof(); q.next()) out << q.asString("DUREE");
        return out;
    }

    // Every total shown reads `seconds` over `entries`.
    void expectTotals(qint64 entries, qint64 seconds, const char* when) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Billing->totalsRunning(); }, 10000));
        EXPECT_TRUE(form->Billing->StatusLine->text().startsWith(totalsText(entries, seconds)))
            << form->Billing->StatusLine->text().toStdString();
        const auto& t = form->Billing->totals();
        EXPECT_EQ(t.entries(), entries);
        EXPECT_EQ(t.seconds(), seconds);
        // The summary table, by client: its lines add up to the total.
        SummaryModel* m = form->Billing->summaryView()->Model;
        qint64 sum = 0;
        const int duration = m->columnCount() - 3;  // before Heures and Part
        for (int r = 0; r < m->rowCount(); ++r)
            sum += toSeconds(m->data(m->index(r, duration), Qt::DisplayRole).toString());
        EXPECT_EQ(sum, seconds);
        // The report, hidden behind the grid, is written anew when it shows.
        // (On a server the report's cells still read as empty: the shared
        // query hands over cells from SQLite only.)
        if (GetParam() == Engine::Server) return;
        form->Button2->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->reportRunning(); }, 10000));
        EXPECT_TRUE(form->RichEdit1->text().trimmed().endsWith(hmsText(seconds)))
            << form->RichEdit1->text().right(80).toStdString();
        form->Button2->click();
    }

    static qint64 toSeconds(const QString& hms) {
        const QStringList p = hms.split(u':');
        return p.size() == 3 ? p[0].toLongLong() * 3600 + p[1].toInt() * 60 + p[2].toInt() : -1;
    }

    std::unique_ptr<test::TempDatabase> file;
    QString path;
    test::FakeClock clock{DateTime(QDate(2026, 3, 2), QTime(18, 0))};
    test::ScriptedBoxes boxes;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm5> form;
};

TEST_P(GridDurationsTest, EditedTimesGiveTheDurationAndTotalsFollow) {
    const struct {
        const char* name;
        QList<std::pair<int, QString>> typed;
        QString duration;  // stored after the post
    } cases[] = {
        {"comment only: the stopwatch's duration stays", {{kComment, "relu"}}, "3590"},
        {"start", {{kStart, at(QTime(8, 30))}}, "1800"},
        {"end", {{kEnd, at(QTime(9, 30))}}, "3600"},
        {"both", {{kStart, at(QTime(7, 0))}, {kEnd, at(QTime(7, 45))}}, "2700"},
        {"duration typed too wins", {{kEnd, at(QTime(10, 0))}, {kDuration, "100"}}, "100"},
        {"end moved by seconds", {{kEnd, at(QTime(10, 0, 27))}}, "10827"},
    };
    qint64 previous = 3590;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectTotals(1, previous, "before");
        for (const auto& [column, text] : c.typed) type(column, text);
        press(Nav::Post);
        EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
        EXPECT_EQ(storedDurations(), QStringList{c.duration});
        EXPECT_EQ(grid()->model()->index(0, kDuration).data().toString(), c.duration);
        previous = c.duration.toLongLong();
        expectTotals(1, previous, "after the post");
    }
}

TEST_P(GridDurationsTest, NewRowsEndBeforeStartAndDelete) {
    // "+", 10:00-11:30 typed: 1,50 h.
    press(Nav::Insert);
    type(kActivity, "Appel");
    type(kClient, "Dupont");
    type(kStart, at(QTime(10, 0)));
    type(kEnd, at(QTime(11, 30)));
    press(Nav::Post);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
    EXPECT_EQ(storedDurations(), (QStringList{"3590", "5400"}));
    expectTotals(2, 3590 + 5400, "new row");

    // A new row whose duration is typed keeps it.
    press(Nav::Insert);
    type(kStart, at(QTime(12, 0)));
    type(kEnd, at(QTime(13, 0)));
    type(kDuration, "60");
    press(Nav::Post);
    expectTotals(3, 3590 + 5400 + 60, "new row with its duration");

    // An end before the start is refused, naming both; the row stays
    // pending, and nothing changes.
    goTo(QTime(8, 0));
    type(kEnd, at(QTime(7, 0)));
    press(Nav::Post);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains(at(QTime(7, 0)))) << boxes.errors[0].toStdString();
    EXPECT_TRUE(boxes.errors[0].contains("précède")) << boxes.errors[0].toStdString();
    EXPECT_EQ(module->ADOTable1.state(), db::TableDataset::State::Edit);
    press(Nav::Cancel);
    EXPECT_EQ(module->ADOTable1.state(), db::TableDataset::State::Browse);
    expectTotals(3, 3590 + 5400 + 60, "refused");

    // Delete, after "OK".
    boxes.answers = {true};
    goTo(QTime(8, 0));
    press(Nav::Delete);
    EXPECT_EQ(storedDurations(), (QStringList{"5400", "60"}));
    expectTotals(2, 5400 + 60, "deleted");
}

INSTANTIATE_TEST_SUITE_P(Engines, GridDurationsTest,
                         ::testing::Values(Engine::File, Engine::Server), [](const auto& p) {
                             return p.param == Engine::File ? std::string("File")
                                                            : std::string("Server");
                         });

}  // namespace

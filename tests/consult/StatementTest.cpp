// The statement of a client's month, read back from its PDF with pdftotext
// line by line, and saved numbered from the consultation window.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "consult/BillingPanel.h"
#include "consult/Statement.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "data/Billing.h"
#include "data/Unit2.h"
#include "platform/Regional.h"

using namespace tavix;

namespace {

const QString kBrun = QStringLiteral("Atelier Brun");

Entry entry(QDate day, QTime at, const QString& activity, qint64 seconds,
            const QString& comment = {}) {
    Entry e;
    e.client = kBrun;
    e.activity = activity;
    e.start = DateTime(day, at);
    e.end = e.start.addSecs(seconds);
    e.duration = seconds;
    e.comment = comment;
    return e;
}

// December: 80 € for development from the 1st, 65 € for the rest from the
// 2nd, so that the meeting of the 1st has no rate.
std::vector<Rate> decemberRates() {
    return {{kBrun, QStringLiteral("Développement"), QDate(2026, 12, 1), 8000, false},
            {kBrun, {}, QDate(2026, 12, 2), 6500, false}};
}

std::vector<Entry> decemberEntries() {
    return {entry(QDate(2026, 12, 1), QTime(9, 0), "Développement", 7200, "Maquette"),
            entry(QDate(2026, 12, 1), QTime(14, 0), "Réunion", 900),
            entry(QDate(2026, 12, 2), QTime(14, 0), "Réunion", 4020),
            entry(QDate(2026, 12, 15), QTime(10, 0), "Développement", 1800),
            entry(QDate(2026, 12, 16), QTime(11, 0), "Support", 1200)};
}

SenderDetails sender(std::optional<int> vat) {
    SenderDetails s;
    s.name = "Marie Curie Conseil";
    s.address = "12 rue des Lilas\n69001 Lyon";
    s.siret = "123 456 789 00012";
    s.mentions = "Paiement à 30 jours.\nPénalités de retard : trois fois le taux légal.";
    s.vatBasisPoints = vat;
    return s;
}

// The text of a PDF, page by page as pdftotext lays it out, each line with
// its runs of spaces made one; blank lines left out.
QStringList textOf(const QByteArray& pdf) {
    QTemporaryDir dir;
    const QString path = dir.filePath("r.pdf");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {"cannot write"};
    f.write(pdf);
    f.close();
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    p.waitForFinished(30000);
    QStringList lines;
    for (const QString& l : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString s = l.simplified();
        if (!s.isEmpty()) lines << s;
    }
    return lines;
}

}  // namespace

TEST(StatementTest, AClientsMonthReadsBackLineByLine) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    const auto rates = std::make_shared<const Rates>(decemberRates());
    const struct {
        StatementDetail detail;
        std::optional<int> vat;
        qint64 number;
        QStringList expected;
    } cases[] = {
        {StatementDetail::Entry,
         std::nullopt,
         0,
         {"Marie Curie Conseil Atelier Brun",
          "12 rue des Lilas 5 place Bellecour",
          "69001 Lyon 69002 Lyon",
          "SIRET : 123 456 789 00012 Référence client : AB-7",
          "Relevé d'activité",
          "Période : du 01/12/2026 au 31/12/2026",
          "Date du relevé : 05/01/2027",
          "Durées facturées : arrondi au quart d'heure supérieur, entrée par entrée",
          "Date Désignation Durée Facturée Tarif HT Montant HT",
          "01/12/2026 Développement — Maquette 02:00:00 02:00:00 80,00 € / h 160,00 €",
          "01/12/2026 Réunion 00:15:00 00:15:00 sans tarif",
          "02/12/2026 Réunion 01:07:00 01:15:00 65,00 € / h 81,25 €",
          "15/12/2026 Développement 00:30:00 00:30:00 80,00 € / h 40,00 €",
          "16/12/2026 Support 00:20:00 00:30:00 65,00 € / h 32,50 €",
          "Total HT 313,75 €",
          "Total TTC 313,75 €",
          "TVA non applicable, art. 293 B du CGI",
          "1 entrée sans tarif : non comptées dans les montants",
          "Paiement à 30 jours.",
          "Pénalités de retard : trois fois le taux légal.",
          "Marie Curie Conseil Page 1 / 1"}},
        // Per activity, numbered, with VAT: development's two entries are
        // one line; the meeting splits where its rate starts.
        {StatementDetail::Activity,
         2000,
         7,
         {"Marie Curie Conseil Atelier Brun",
          "12 rue des Lilas 5 place Bellecour",
          "69001 Lyon 69002 Lyon",
          "SIRET : 123 456 789 00012 Référence client : AB-7",
          "Facture n° 7",
          "Période : du 01/12/2026 au 31/12/2026",
          "Date de la facture : 05/01/2027",
          "Durées facturées : arrondi au quart d'heure supérieur, entrée par entrée",
          "Date Désignation Durée Facturée Tarif HT Montant HT",
          "Développement 02:30:00 02:30:00 80,00 € / h 200,00 €",
          "Réunion 00:15:00 00:15:00 sans tarif",
          "Réunion 01:07:00 01:15:00 65,00 € / h 81,25 €",
          "Support 00:20:00 00:30:00 65,00 € / h 32,50 €",
          "Total HT 313,75 €",
          "TVA 20,00 % 62,75 €",
          "Total TTC 376,50 €",
          "1 entrée sans tarif : non comptées dans les montants",
          "Paiement à 30 jours.",
          "Pénalités de retard : trois fois le taux légal.",
          "Marie Curie Conseil Page 1 / 1"}},
    };
    for (const auto& c : cases) {
        Statement s(kBrun, QDate(2026, 12, 1), QDate(2026, 12, 31), c.detail, {15, false, false},
                    rates, sender(c.vat),
                    ClientDetails{kBrun, "5 place Bellecour\n69002 Lyon", "AB-7"});
        for (const Entry& e : decemberEntries()) s.add(e);
        EXPECT_EQ(textOf(s.pdf(c.number, QDate(2027, 1, 5))), c.expected)
            << statementDetailName(c.detail).toStdString();
    }
}

TEST(StatementTest, AYearRunsOverPagesEachNumbered) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    Statement s(kBrun, QDate(2026, 1, 1), QDate(2026, 12, 31), StatementDetail::Entry, {},
                std::make_shared<const Rates>(decemberRates()), sender(std::nullopt), {});
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1))
        for (int i = 0; i < 6; ++i) s.add(entry(d, QTime(8 + i, 0), "Développement", 3000 + i));
    const QStringList text = textOf(s.pdf(0, QDate(2027, 1, 5)));
    const qsizetype pages =
        text.filter(QRegularExpression("^Marie Curie Conseil Page \\d+ / ")).size();
    EXPECT_GT(pages, 20);
    EXPECT_TRUE(text.contains(QString("Marie Curie Conseil Page %1 / %1").arg(pages)));
    // Each page with entries repeats the columns' titles above them (the
    // footer closes each page's text); every entry is there.
    const QRegularExpression row("^\\d\\d/\\d\\d/2026 Développement ");
    bool titled = false, rows = false;
    int pagesWithRows = 0;
    for (const QString& l : text) {
        if (l == "Date Désignation Durée Facturée Tarif HT Montant HT") titled = true;
        if (row.match(l).hasMatch()) {
            EXPECT_TRUE(titled) << l.toStdString();
            rows = true;
        }
        if (l.startsWith("Marie Curie Conseil Page ")) {
            pagesWithRows += rows;
            titled = rows = false;
        }
    }
    EXPECT_GE(pagesWithRows, pages - 1);
    EXPECT_EQ(text.filter(QRegularExpression("^\\d\\d/\\d\\d/2026 Développement ")).size(),
              365 * 6);
}

// Numbered from the window: the number is given when the file is saved,
// and a save that fails gives none away.
TEST(StatementTest, SavedFromTheWindowNumberedOnlyWhenWritten) {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
    test::TempDatabase db;
    QString sql =
        "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES ";
    bool first = true;
    for (const Entry& e : decemberEntries()) {
        sql += QString("%1('', '%2', '%3', '%4', '%5', %6)")
                   .arg(first ? "" : ",", e.activity, e.client, e.start.toIso(), e.end.toIso())
                   .arg(e.duration);
        first = false;
    }
    db.exec(sql);
    test::FakeClock clock{DateTime(QDate(2027, 1, 5), QTime(9, 30))};
    test::ScriptedBoxes boxes;
    TDataModule2 module;
    module.DatabasePath = db.path();
    ASSERT_TRUE(module.OpenDatabase());
    for (const Rate& r : decemberRates()) billing::saveRate(module.ADOConnection1, r);
    sender(2000).save();
    TForm5 form;
    form.show();
    BillingPanel* billing = form.Billing;
    form.dateDebut->setDateTime(QDateTime(QDate(2026, 12, 1), QTime(10, 0)));
    form.DateFin->setDateTime(QDateTime(QDate(2026, 12, 31), QTime(10, 0)));
    form.Commenter->click();
    billing->finishTotals();
    // The status line has the amount and the entry without a rate.
    EXPECT_TRUE(billing->StatusLine->text().contains("montant HT : 294,25\u00A0€"))
        << billing->StatusLine->text().toStdString();
    EXPECT_TRUE(billing->StatusLine->text().contains("1 entrée sans tarif"));

    QTemporaryDir out;
    const BillingPanel::StatementRequest request{kBrun, QDate(2026, 12, 1), QDate(2026, 12, 31),
                                                 StatementDetail::Day, true};
    EXPECT_EQ(billing->saveStatement(request, out.filePath("a.pdf")), 1);
    // A folder that cannot be made (a file has its name): nothing is
    // written, no number is used.
    EXPECT_THROW(billing->saveStatement(request, out.filePath("a.pdf/b.pdf")), Error);
    EXPECT_FALSE(QFile::exists(out.filePath("a.pdf/b.pdf")));
    EXPECT_EQ(billing->saveStatement(request, out.filePath("c.pdf")), 2);
    const auto book = billing::invoices(module.ADOConnection1);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[1].number, 2);
    EXPECT_EQ(book[1].file, "c.pdf");
    EXPECT_EQ(book[1].totalCents, 35310);  // 294,25 € and 20 %
    EXPECT_EQ(billing->DoneLine->text(), "Facture n° 2 enregistrée : c.pdf");
    // The register refuses the next number (a row of its own already holds
    // it): the file the user agreed to replace stays as it was.
    QFile kept(out.filePath("a.pdf"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray before = kept.readAll();
    kept.close();
    db.exec("INSERT INTO registre_factures (NUMERO, CLIENT) VALUES (3, 'saisi à la main')");
    boxes.answers = {true};
    EXPECT_THROW(billing->saveStatement(request, out.filePath("a.pdf")), Error);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), before);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList({"a.pdf", "c.pdf"}));
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QFile f(out.filePath("c.pdf"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QStringList text = textOf(f.readAll());
        EXPECT_TRUE(text.contains("Facture n° 2"));
        EXPECT_TRUE(text.contains("Total TTC 353,10 €"));
    }
}

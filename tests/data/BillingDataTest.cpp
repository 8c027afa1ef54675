// The rates, clients' details and numbered documents stored beside the log,
// on a database file and on a PostgreSQL server alike.

#include <gtest/gtest.h>

#include <QDateTimeEdit>
#include <QFileInfo>
#include <QLabel>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "common/Fakes.h"
#include "common/PgCluster.h"
#include "common/TempDatabase.h"
#include "consult/BillingPanel.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "data/Billing.h"
#include "data/Unit2.h"
#include "data/engine/Backup.h"
#include "data/engine/Connection.h"
#include "platform/Error.h"

using namespace tavix;

namespace {

enum class Engine { File, Server };

// A fresh database of the program's layout on one engine.
struct Target {
    Engine engine;
    std::unique_ptr<test::TempDatabase> file;
    QString path;
};

Target target(Engine engine, test::PgCluster* cluster) {
    Target t{engine, nullptr, {}};
    if (engine == Engine::File) {
        t.file = std::make_unique<test::TempDatabase>();
        t.path = t.file->path();
    } else {
        t.path = cluster->createDatabase();
    }
    return t;
}

void openOn(db::Connection& c, const QString& path) {
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                          db::connectionStringValue(path));
    c.open();
}

QStringList layout(db::Connection& c) {
    QStringList out;
    for (const QString table : {"clients", "travaux", "activites"}) {
        QStringList names;
        for (const db::FieldDef& f : c.tableFields(table)) names << f.name;
        out << table + ": " + names.join(',');
    }
    return out;
}

class BillingDataTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Server) {
            cluster = test::PgCluster::get();
            if (!cluster) {
                if (test::PgCluster::required()) GTEST_FAIL() << "PostgreSQL exigé";
                GTEST_SKIP() << test::PgCluster::reason().toStdString();
            }
        }
        base = target(GetParam(), cluster);
    }
    test::PgCluster* cluster = nullptr;
    Target base;
    test::ScriptedBoxes boxes;
};

}  // namespace

TEST_P(BillingDataTest, TablesOfTheirOwnAreMadeAndTheLogsTablesStayAsTheyAre) {
    QStringList before;
    {
        db::Connection c;
        openOn(c, base.path);
        before = layout(c);
    }
    for (int run = 0; run < 2; ++run) {  // a second opening finds them made
        TDataModule2 module;
        module.DatabasePath = base.path;
        ASSERT_TRUE(module.OpenDatabase());
        EXPECT_EQ(layout(module.ADOConnection1), before);
        db::Connection& c = module.ADOConnection1;
        if (run == 0) {
            billing::saveRate(c, {"Dupont \"&\" fils", {}, QDate(2026, 11, 1), 6500, false});
            billing::saveRate(c, {"Dupont \"&\" fils", "Saisie", QDate(2026, 12, 1), 8000, false});
            billing::saveRate(c, {"Martin", {}, QDate(2026, 1, 1), 1, false});
            // The same client, activity and day: the new amount replaces the old.
            billing::saveRate(c, {"Martin", {}, QDate(2026, 1, 1), 52000, true});
            billing::saveClientDetails(c, {"Martin", "3 rue Haute\n75001 Paris", "M-12"});
            billing::saveClientDetails(c, {"Martin", "5 rue Basse\n75002 Paris", "M-13"});
        }
        const Rates rates = billing::readRates(c);
        ASSERT_EQ(rates.all().size(), 3u);
        EXPECT_EQ(rates.find("Dupont \"&\" fils", "Saisie", QDate(2026, 12, 1))->cents, 8000);
        EXPECT_EQ(rates.find("Dupont \"&\" fils", "Appel", QDate(2026, 12, 1))->cents, 6500);
        const Rate* martin = rates.find("Martin", "Saisie", QDate(2026, 6, 1));
        ASSERT_TRUE(martin);
        EXPECT_EQ(martin->cents, 52000);
        EXPECT_TRUE(martin->daily);
        const auto details = billing::readClientDetails(c, "Martin");
        ASSERT_TRUE(details);
        EXPECT_EQ(details->address, "5 rue Basse\n75002 Paris");
        EXPECT_EQ(details->reference, "M-13");
        EXPECT_FALSE(billing::readClientDetails(c, "Dupont \"&\" fils"));
    }
    TDataModule2 module;
    module.DatabasePath = base.path;
    ASSERT_TRUE(module.OpenDatabase());
    // The copy made before a purge keeps them with the log.
    QTemporaryDir copies;
    const QString copy = copies.filePath("copie.bak");
    db::backupDatabase(module.ADOConnection1, copy);
    {
        db::Connection c;
        openOn(c, copy);
        EXPECT_EQ(billing::readRates(c).all(), billing::readRates(module.ADOConnection1).all());
        EXPECT_EQ(billing::readClientDetails(c, "Martin")->reference, "M-13");
    }
    billing::deleteRate(module.ADOConnection1, {"Martin", {}, QDate(2026, 1, 1), 0, false});
    EXPECT_EQ(billing::readRates(module.ADOConnection1).all().size(), 2u);
}

// Two copies number documents at the same moment, some saves failing: the
// numbers given are exactly 1..n, none twice, and the register holds each
// saved one.
TEST_P(BillingDataTest, InvoiceNumbersOfTwoCopiesSavingAtOnceHaveNoDuplicateNorGap) {
    {
        TDataModule2 module;
        module.DatabasePath = base.path;
        ASSERT_TRUE(module.OpenDatabase());
    }
    std::mutex lock;
    std::vector<qint64> given;
    std::atomic<int> failed{0};
    std::atomic<int> errors{0};
    const auto copy = [&](const QString& client) {
        try {
            db::Connection c;
            c.setBusyTimeout(30000);
            openOn(c, base.path);
            for (int i = 0; i < 12; ++i) {
                Invoice inv{
                    0,        QDate(2026, 12, 31), client, QDate(2026, 12, 1), QDate(2026, 12, 31),
                    1000 + i, "releve.pdf"};
                try {
                    const qint64 n = billing::issueInvoice(c, inv, [&](qint64) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                        if (i % 5 == 4) throw Error("disque plein");
                    });
                    const std::lock_guard<std::mutex> hold(lock);
                    given.push_back(n);
                } catch (const Error& e) {
                    if (e.message() != "disque plein") throw;
                    ++failed;
                }
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << client.toStdString() << ": " << e.what();
            ++errors;
        }
    };
    std::thread first(copy, QStringLiteral("Dupont"));
    std::thread second(copy, QStringLiteral("Martin"));
    first.join();
    second.join();
    ASSERT_EQ(errors, 0);
    EXPECT_EQ(failed, 4);
    std::sort(given.begin(), given.end());
    ASSERT_EQ(given.size(), 20u);
    for (size_t i = 0; i < given.size(); ++i) EXPECT_EQ(given[i], qint64(i + 1));

    TDataModule2 module;
    module.DatabasePath = base.path;
    ASSERT_TRUE(module.OpenDatabase());
    const auto book = billing::invoices(module.ADOConnection1);
    ASSERT_EQ(book.size(), 20u);
    QSet<QString> clients;
    for (size_t i = 0; i < book.size(); ++i) {
        EXPECT_EQ(book[i].number, qint64(i + 1));
        EXPECT_EQ(book[i].from, QDate(2026, 12, 1));
        clients << book[i].client;
    }
    EXPECT_EQ(clients, (QSet<QString>{"Dupont", "Martin"}));
    // The next number follows, whatever failed before.
    EXPECT_EQ(billing::issueInvoice(module.ADOConnection1, book[0], [](qint64) {}), 21);
}

INSTANTIATE_TEST_SUITE_P(Engines, BillingDataTest, ::testing::Values(Engine::File, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& p) {
                             return p.param == Engine::File ? "Fichier" : "Serveur";
                         });

// Through the consultation window, as a user saves it: the amounts of the
// selection, then two numbered statements in a row.
TEST_P(BillingDataTest, AStatementFromTheWindowIsPricedAndNumbered) {
    test::FakeClock clock{DateTime(QDate(2027, 1, 5), QTime(9, 30))};
    TDataModule2 module;
    module.DatabasePath = base.path;
    ASSERT_TRUE(module.OpenDatabase());
    const QString brun = "Atelier \"Brun\"";
    const DateTime first(QDate(2026, 12, 1), QTime(9, 0));
    module.AddLogEntry("", brun, "Développement", first, first.addSecs(7200), 7200, "");
    const DateTime second(QDate(2026, 12, 2), QTime(9, 0));
    module.AddLogEntry("", brun, "Réunion", second, second.addSecs(4020), 4020, "");
    module.AddLogEntry("", "Autre", "Réunion", second, second.addSecs(600), 600, "");
    billing::saveRate(module.ADOConnection1, {brun, {}, QDate(2026, 11, 1), 6500, false});
    billing::saveRate(module.ADOConnection1,
                      {brun, "Développement", QDate(2026, 12, 1), 8000, false});

    TForm5 form;
    form.show();
    form.dateDebut->setDateTime(QDateTime(QDate(2026, 12, 1), QTime(10, 0)));
    form.DateFin->setDateTime(QDateTime(QDate(2026, 12, 31), QTime(10, 0)));
    form.Commenter->click();
    form.Billing->finishTotals();
    // 2 h at 80 € and 1 h 07 at 65 €: 160 + 72,583… = 232,58 €.
    EXPECT_TRUE(form.Billing->StatusLine->text().endsWith(
        "montant HT : 232,58\u00A0€ — 1 entrée sans tarif"))
        << form.Billing->StatusLine->text().toStdString();

    QTemporaryDir out;
    const BillingPanel::StatementRequest request{brun, QDate(2026, 12, 1), QDate(2026, 12, 31),
                                                 StatementDetail::Activity, true};
    EXPECT_EQ(form.Billing->saveStatement(request, out.filePath("a.pdf")), 1);
    EXPECT_EQ(form.Billing->saveStatement(request, out.filePath("b.pdf")), 2);
    const auto book = billing::invoices(module.ADOConnection1);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[1].client, brun);
    EXPECT_EQ(book[1].totalCents, 23258);  // no VAT set
    EXPECT_EQ(book[1].file, "b.pdf");
    EXPECT_TRUE(QFileInfo(out.filePath("b.pdf")).size() > 0);
}

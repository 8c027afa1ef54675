// Rates typed in their editor as a user would, then the amounts the
// consultation window shows and exports for November and December.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "consult/BillingPanel.h"
#include "consult/RatesEditor.h"
#include "consult/SummaryView.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "data/Unit2.h"

using namespace tavix;

namespace {

// Records split on ";" (no field here needs quotes), the byte-order mark off.
std::vector<QStringList> records(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll().mid(3));
    std::vector<QStringList> out;
    for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts))
        out.push_back(line.split(';'));
    return out;
}

class RatesWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        db.exec(
            "INSERT INTO clients (NOM) VALUES ('Atelier Brun'), ('Bâtiments Roux');"
            "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Développement', 1), ('Réunion', 2);"
            "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
            "('', 'Développement', 'Atelier Brun', '2026-11-10 09:00:00', '2026-11-10 11:00:00', "
            "7200), "
            "('', 'Réunion', 'Atelier Brun', '2026-11-12 14:00:00', '2026-11-12 15:30:00', 5400), "
            "('', 'Développement', 'Atelier Brun', '2026-12-01 09:00:00', '2026-12-01 10:00:00', "
            "3600), "
            "('', 'Réunion', 'Atelier Brun', '2026-12-02 09:00:00', '2026-12-02 09:45:00', 2700), "
            "('', 'Développement', 'Bâtiments Roux', '2026-12-03 09:00:00', '2026-12-03 "
            "10:00:00', 3600)");
        module = std::make_unique<TDataModule2>();
        module->DatabasePath = db.path();
        ASSERT_TRUE(module->OpenDatabase());
        form = std::make_unique<TForm5>();
        form->show();
        billing = form->Billing;
        form->dateDebut->setDateTime(QDateTime(QDate(2026, 11, 1), QTime(10, 0)));
        form->DateFin->setDateTime(QDateTime(QDate(2026, 12, 31), QTime(10, 0)));
        form->Commenter->click();
        waitTotals();
    }

    void waitTotals() {
        QElapsedTimer guard;
        guard.start();
        while (billing->totalsRunning() && guard.elapsed() < 30000)
            QCoreApplication::processEvents();
        ASSERT_FALSE(billing->totalsRunning());
    }

    // The summary's cells of one grouping, as shown, one line a text.
    std::string shownLines(Grouping g) {
        SummaryView* view = billing->summaryView();
        view->GroupingBox->setCurrentIndex(view->GroupingBox->findData(int(g)));
        QAbstractItemModel* m = view->Table->model();
        QStringList out;
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m->columnCount(); ++c) cells << m->index(r, c).data().toString();
            out << cells.join(" | ");
        }
        return out.join("\n").toStdString();
    }

    test::TempDatabase db;
    QTemporaryDir folder;
    test::FakeClock clock{DateTime(QDate(2027, 1, 5), QTime(9, 30))};
    test::ScriptedBoxes boxes;
    test::ScriptedModals modals;
    test::ScriptedFiles files;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm5> form;
    BillingPanel* billing = nullptr;
};

}  // namespace

TEST_F(RatesWindowTest, RatesTypedInTheEditorPriceTheSummaryAndTheExports) {
    EXPECT_FALSE(billing->StatusLine->text().contains("montant"));
    modals.scripts.push_back([&](QDialog& dialog) {
        auto& editor = dynamic_cast<RatesEditor&>(dialog);
        editor.ClientBox->setCurrentText("Atelier Brun");
        editor.ActivityBox->setCurrentIndex(0);
        editor.FromDate->setDate(QDate(2026, 11, 1));
        // Refused with the reason, the box keeping the focus for a correction.
        for (const QString bad : {"-65", "soixante", "65,555"}) {
            editor.AmountEdit->setText(bad);
            QTest::keyClick(editor.AmountEdit, Qt::Key_Return);
        }
        EXPECT_EQ(boxes.informs.join("\n").toStdString(),
                  (QStringList{"Tarif refusé : un tarif ne peut pas être négatif.",
                               "Tarif refusé : « soixante » n'est pas un montant (exemple : "
                               "65,50).",
                               "Tarif refusé : « 65,555 » a plus de deux décimales."})
                      .join("\n")
                      .toStdString());
        EXPECT_EQ(editor.RatesTable->rowCount(), 0);
        editor.AmountEdit->setText("65");
        QTest::keyClick(editor.AmountEdit, Qt::Key_Return);
        editor.ActivityBox->setCurrentText("Développement");
        editor.FromDate->setDate(QDate(2026, 12, 1));
        editor.AmountEdit->setText("80,00 €");
        editor.SaveRateButton->click();
        EXPECT_EQ(editor.RatesTable->rowCount(), 2);
        EXPECT_EQ(editor.RatesTable->item(1, 3)->text(), "80,00\u00A0€ / h");
        return int(QDialog::Rejected);
    });
    billing->RatesButton->click();
    ASSERT_EQ(modals.shown, QStringList{"tavix::RatesEditor"});
    waitTotals();

    // November at 65 € (2 h + 1 h 30), December at 80 € for development and
    // 65 € for the meeting; Roux has no rate.
    EXPECT_EQ(shownLines(Grouping::Month),
              "novembre 2026 | 2 | 03:30:00 | 3,50 | 56,0 | 227,50\u00A0€\n"
              "décembre 2026 | 3 | 02:45:00 | 2,75 | 44,0 | 128,75\u00A0€ (1 entrée sans tarif)");
    EXPECT_EQ(shownLines(Grouping::Client),
              "Atelier Brun | 4 | 05:15:00 | 5,25 | 84,0 | 356,25\u00A0€\n"
              "Bâtiments Roux | 1 | 01:00:00 | 1,00 | 16,0 | sans tarif");
    EXPECT_TRUE(
        billing->StatusLine->text().endsWith(" — montant HT : 356,25\u00A0€ — 1 entrée sans tarif"))
        << billing->StatusLine->text().toStdString();

    // Rounded to the next half hour entry by entry: 2 h, 1 h 30 | 1 h, 1 h.
    billing->summaryView()->RoundingBox->setCurrentIndex(
        billing->summaryView()->RoundingBox->findData("30 haut"));
    waitTotals();
    EXPECT_EQ(shownLines(Grouping::Month),
              "novembre 2026 | 2 | 03:30:00 | 3,50 | 56,0 | 03:30:00 | 3,50 | 227,50\u00A0€\n"
              "décembre 2026 | 3 | 02:45:00 | 2,75 | 44,0 | 03:00:00 | 3,00 | 145,00\u00A0€ "
              "(1 entrée sans tarif)");

    files.answers.push_back(folder.filePath("synthese.csv"));
    billing->exportTo(BillingPanel::Export::SummaryCsv);
    const auto summary = records(folder.filePath("synthese.csv"));
    ASSERT_EQ(summary.size(), 5u);  // titles, two months, total, rule
    EXPECT_EQ(summary[0].mid(9), (QStringList{"Montant HT (€)", "Entrées sans tarif"}));
    EXPECT_EQ(summary[1].mid(9), (QStringList{"227,50", "0"}));
    EXPECT_EQ(summary[2].mid(9), (QStringList{"145,00", "1"}));
    EXPECT_EQ(summary[3].mid(9), (QStringList{"372,50", "1"}));

    files.answers.push_back(folder.filePath("entrees.csv"));
    billing->exportTo(BillingPanel::Export::EntriesCsv);
    const auto entries = records(folder.filePath("entrees.csv"));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].mid(12, 3), (QStringList{"Tarif HT (€)", "Unité", "Montant HT (€)"}));
    EXPECT_EQ(entries[3].mid(12, 3), (QStringList{"80,00", "heure", "80,00"}));
    EXPECT_EQ(entries[5].mid(12, 3), (QStringList{"", "sans tarif", ""}));
}

// Every access key of a tab, its tab bar and the dialog's own buttons
// leads to one place.
TEST_F(RatesWindowTest, EachTabsAccessKeysAreOneOfAKind) {
    RatesEditor editor(form.get());
    editor.show();
    QStringList common;
    for (int t = 0; t < editor.Tabs->count(); ++t) common << editor.Tabs->tabText(t);
    for (QPushButton* b : editor.findChildren<QPushButton*>())
        if (!editor.Tabs->isAncestorOf(b)) common << b->text();
    for (int t = 0; t < editor.Tabs->count(); ++t) {
        QStringList texts = common;
        QWidget* page = editor.Tabs->widget(t);
        for (QLabel* l : page->findChildren<QLabel*>())
            if (l->buddy()) texts << l->text();
        for (QPushButton* b : page->findChildren<QPushButton*>()) texts << b->text();
        QMap<QKeySequence, QString> seen;
        for (const QString& text : texts) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (key.isEmpty()) continue;
            EXPECT_FALSE(seen.contains(key))
                << text.toStdString() << " / " << seen.value(key).toStdString();
            seen[key] = text;
        }
    }
}

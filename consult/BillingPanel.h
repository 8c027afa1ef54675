#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "consult/Entries.h"
#include "consult/Statement.h"
#include "consult/Summary.h"

class QAction;
class QButtonGroup;
class QLabel;
class QMenu;
class QPrinter;
class QPagedPaintDevice;
class QPushButton;
class QTimer;

namespace tavix {

class ChartsView;
class SummaryView;

// What the consultation window adds for billing, under its report: the
// status line of what "&Voir" selected, the choice of the report, the
// summary or the charts (shown in the report's place), export and print.
// The selection is read again from the base whenever it is needed, so
// nothing of it is kept but its totals. The totals are read a slice at a
// time once the report is read, so the window never stops answering.
class BillingPanel : public QWidget {
    Q_OBJECT
public:
    // report: the report's panel; editing: the grid's panel, in whose mode
    // the summary and the charts step aside.
    BillingPanel(QWidget* report, QWidget* editing, QWidget* parent);
    ~BillingPanel() override;

    // Content pages, for the window's layout beside the report's.
    QWidget* summaryPage() const;
    QWidget* chartsPage() const;
    SummaryView* summaryView() const { return summary_; }
    ChartsView* chartsView() const { return charts_; }

    // After "&Voir": binds the selection; its totals are read from
    // startTotals() on, in slices.
    void select(const EntryFilter& filter);
    const std::optional<EntryFilter>& selection() const { return filter_; }
    // The selection's totals once complete; empty while being read.
    const Summary& totals() const { return totals_; }
    bool totalsRunning() const { return cursor_ != nullptr; }
    // Totals that the report's reading fills as it reads the same rows,
    // when a click's totals wait for it; null otherwise. They are used
    // once the report has been read, unless the selection or the rounding
    // changed meanwhile.
    std::shared_ptr<Summary> shareWithReport();
    void startTotals();  // once the report has been read
    // The rates were changed: the amounts are computed again.
    void ratesChanged();
    void finishTotals();  // reads what is left at once
    void stopTotals();    // drops a reading in progress and its selection
    // The entries changed: the totals of the same selection are read again,
    // a first slice at once.
    void reread();
    // How long one slice of reading may hold the window, in ms.
    int totalsSliceMs = 30;

    void showReport();
    void showSummary();
    void showCharts();

    enum class Export { EntriesCsv, SummaryCsv, EntriesIcs, Pdf, Statement };
    void exportTo(Export kind);  // asks for the file
    void print();                // the printer dialog

    QLabel* StatusLine;
    QLabel* DoneLine;  // the last export, confirmed in words
    QPushButton* ReportButton;
    QPushButton* SummaryButton;
    QPushButton* ChartsButton;
    QPushButton* ExportButton;
    QPushButton* PrintButton;
    QPushButton* RatesButton;
    QMenu* ExportMenu;

    // The rates' editor, from the summary; the amounts follow its changes.
    void editRates();

    // One client's statement of a period, asked in a dialog of its own.
    struct StatementRequest {
        QString client;
        QDate from, to;
        StatementDetail detail = StatementDetail::Entry;
        bool numbered = false;  // as an invoice, with the next number
    };
    // Writes the statement to path, asking before replacing a file; its
    // invoice number (0 when not numbered), or -1 when the user declined.
    qint64 saveStatement(const StatementRequest& request, const QString& path);

    // Writes one export to a chosen path, asking before replacing a file.
    // False when the user declined or cancelled; the file is then as it was.
    bool exportFile(Export kind, const QString& path);
    // How long one slice of painting may hold the window, in ms.
    int paintSliceMs = 30;

signals:
    void totalsReady();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recompute(const Rounding& rounding);
    void loadRates();
    void readTotals(qint64 budgetMs);
    void complete(Summary&& totals);
    void showTotals();
    void setStatus(const QString& text);
    void confirmDone(const QString& text);
    void setRounding(const Rounding& r);
    void show(QWidget* page);
    void forEach(const std::function<void(const Entry&)>& each) const;
    QString statusText() const;
    bool paintSelection(QPagedPaintDevice& device, const QString& what);
    void exportStatement();

    QWidget* report_;
    QWidget* editing_;
    SummaryView* summary_;
    ChartsView* charts_;
    QButtonGroup* pages_;
    std::optional<EntryFilter> filter_;
    Summary totals_;
    Summary pending_;  // being read
    std::unique_ptr<EntryCursor> cursor_;
    std::shared_ptr<Summary> fromReport_;
    std::shared_ptr<const Rates> rates_;
    QTimer* readMore_;
};

}  // namespace tavix

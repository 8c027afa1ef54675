#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QTimer;
class QWidget;

namespace tavix {

class BillingPanel;
class PeriodPresets;
class ReportReader;
struct ReportSelection;
class ReportView;
class TColorButton;
class TDataSource;
class TDBGrid;
class TDBNavigator;

// The consultation window: the filtered report of the log entries, the
// editing mode on table activites and the purge.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    ~TForm5() override;

    QWidget* TitleBand;
    QLabel* Image1;
    QLabel* Label1;
    QWidget* Panel2;
    QLabel* Label2;
    QComboBox* cbTravaux;
    QLabel* Label3;
    QComboBox* cbClients;
    QLabel* Label4;
    QDateTimeEdit* dateDebut;
    QLabel* Label5;
    QDateTimeEdit* DateFin;
    PeriodPresets* Presets;
    QCheckBox* chkTout;
    QCheckBox* chkComm;
    TColorButton* Commenter;
    QWidget* Panel3;
    ReportView* RichEdit1;
    QWidget* Panel4;
    TDataSource* DataSource1;
    TDBGrid* DBGrid1;
    TDBNavigator* DBNavigator1;
    QWidget* Panel1;
    TColorButton* ColorButton1;
    TColorButton* ColorButton2;
    TColorButton* Button2;
    TColorButton* Button3;
    BillingPanel* Billing;  // status line, summary, charts, export, print

    bool SortAscending = false;
    QString ClickedColumn;

    void FormActivate();
    void FormClose();
    void Button1Click();
    void ColorButton2Click();
    void Button2Click();
    void DBGrid1TitleClick(const QString& title);
    void DBGrid1CellClick(const QString& title);
    void Button3Click();
    void BitBtn1Click();

    // True while a long report is still being read.
    bool reportRunning() const { return reader_ != nullptr; }
    // How long one slice of reading may hold the window, in ms.
    int reportSliceMs = 30;

    // Every way out (Escape, "&Fermer", the close box) ends here: an edit
    // still pending in the grid is posted first, or the window stays open.
    void done(int result) override;

signals:
    void reportReady();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readReportRows(qint64 budgetMs);
    void finishReport();
    void stopReport();
    bool postPendingEdit();
    void openGridTable();
    void readReport();
    void logEdited();

    bool activated_ = false;
    bool gridTablePending_ = false;  // "&Voir" set its filter; opened when the grid shows
    std::unique_ptr<ReportReader> reader_;
    // What the last report read, so that an edit in the grid rewrites it.
    std::unique_ptr<ReportSelection> lastReport_;
    bool lastComments_ = false;
    bool reportStale_ = false;
    QTimer* readMore_;
    QElapsedTimer click_;
};

}  // namespace tavix

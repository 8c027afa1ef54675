#include "consult/Unit5.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

#include "consult/BillingPanel.h"
#include "consult/PeriodPresets.h"
#include "consult/Report.h"
#include "controls/CalendarKeys.h"
#include "controls/ColorButton.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "controls/DataSource.h"
#include "controls/KeyboardAccess.h"
#include "controls/ReportView.h"
#include "data/Unit2.h"
#include "data/engine/Backup.h"
#include "data/engine/Collation.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "settings/outils.h"

namespace tavix {

namespace {

const QString kToEditing = QStringLiteral("&Basculer en mode édition");
const QString kToReport = QStringLiteral("Basculer en mode &RTF");

DateTime pickerValue(const QDateTimeEdit* picker) {
    const QDateTime v = picker->dateTime();
    return DateTime(v.date(), v.time());
}

DateTime dateTimeOf(const QString& text) {
    if (const auto v = regional::textToDateTime(text)) return *v;
    throw ConvertError(QStringLiteral("'%1' n'est pas une date et heure correcte").arg(text));
}

TColorButton* commandButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new TColorButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    applyColorSet(*b, silverSet());
    // Room for the longest caption the button takes, "&" left out.
    QString longest = caption;
    if (name == QLatin1String("Button2")) longest = QStringLiteral("&Basculer en mode édition");
    longest.remove(u'&');
    b->setMinimumSize(b->fontMetrics().horizontalAdvance(longest) + 32, 27);
    return b;
}

QLabel* label(const QString& name, const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Consulter"));
    resize(900, 600);

    TitleBand = new QWidget(this);
    TitleBand->setObjectName(QStringLiteral("TitleBand"));
    TitleBand->setFixedHeight(81);
    TitleBand->setAutoFillBackground(true);
    QPalette band = TitleBand->palette();
    band.setColor(QPalette::Window, Qt::black);
    TitleBand->setPalette(band);
    Image1 = new QLabel(TitleBand);
    Image1->setObjectName(QStringLiteral("Image1"));
    if (const QPixmap logo(QStringLiteral(":/pictures/logo.png")); !logo.isNull())
        Image1->setPixmap(logo.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Label1 = new QLabel(QStringLiteral("Edition des surveillances"), TitleBand);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPixelSize(27);
    titleFont.setBold(true);
    Label1->setFont(titleFont);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);
    auto* bandLayout = new QHBoxLayout(TitleBand);
    bandLayout->addWidget(Image1);
    bandLayout->addWidget(Label1, 1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    cbTravaux = new QComboBox(Panel2);
    cbTravaux->setObjectName(QStringLiteral("cbTravaux"));
    cbTravaux->setEditable(true);
    cbTravaux->setInsertPolicy(QComboBox::NoInsert);
    cbTravaux->setMinimumContentsLength(12);
    Label2 = label(QStringLiteral("Label2"), QStringLiteral("Surveillances"), cbTravaux, Panel2);
    cbClients = new QComboBox(Panel2);
    cbClients->setObjectName(QStringLiteral("cbClients"));
    cbClients->setEditable(true);
    cbClients->setInsertPolicy(QComboBox::NoInsert);
    cbClients->setMinimumContentsLength(12);
    Label3 = label(QStringLiteral("Label3"), QStringLiteral("Clients"), cbClients, Panel2);
    dateDebut = new QDateTimeEdit(Panel2);
    dateDebut->setObjectName(QStringLiteral("dateDebut"));
    dateDebut->setDisplayFormat(regional::shortDateFormat());
    dateDebut->setCalendarPopup(true);
    CalendarKeys::install(dateDebut);
    Label4 = label(QStringLiteral("Label4"), QStringLiteral("Début"), dateDebut, Panel2);
    DateFin = new QDateTimeEdit(Panel2);
    DateFin->setObjectName(QStringLiteral("DateFin"));
    DateFin->setDisplayFormat(regional::shortDateFormat());
    DateFin->setCalendarPopup(true);
    CalendarKeys::install(DateFin);
    Label5 = label(QStringLiteral("Label5"), QStringLiteral("Fin"), DateFin, Panel2);
    Presets = new PeriodPresets(dateDebut, DateFin, Panel2);
    chkTout = new QCheckBox(QStringLiteral("Tout"), Panel2);
    chkTout->setObjectName(QStringLiteral("chkTout"));
    chkComm = new QCheckBox(QStringLiteral("Commentaires"), Panel2);
    chkComm->setObjectName(QStringLiteral("chkComm"));
    Commenter = commandButton(QStringLiteral("Commenter"), QStringLiteral("&Voir"), Panel2);
    auto* filters = new QGridLayout(Panel2);
    int column = 0;
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label2, cbTravaux, Label3, cbClients, Label4, dateDebut,
                                         Label5, DateFin, chkTout, chkComm, Commenter})
        filters->addWidget(w, 0, column++);
    filters->setColumnStretch(column, 1);
    // The periods under the dates: beside them, the bar would not fit a
    // small screen.
    filters->addWidget(Presets, 1, 4, 1, column - 4, Qt::AlignLeft);

    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    RichEdit1 = new ReportView(Panel3);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAccessibleName(QStringLiteral("Rapport"));
    QFont reportFont(QStringLiteral("MS Sans Serif"));
    reportFont.setPixelSize(11);
    reportFont.setBold(true);
    RichEdit1->setFont(reportFont);
    auto* reportLayout = new QVBoxLayout(Panel3);
    reportLayout->setContentsMargins(0, 0, 0, 0);
    reportLayout->addWidget(RichEdit1);

    Panel4 = new QWidget(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    DataSource1 = new TDataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setDataSet(&DataModule2->ADOTable1);
    DBGrid1 = new TDBGrid(Panel4);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setAccessibleName(QStringLiteral("Surveillances"));
    DBGrid1->setDataSource(DataSource1);
    DBGrid1->setColumns({{QStringLiteral("USER"), 50, QStringLiteral("USER")},
                         {QStringLiteral("SURVEILLANCES"), 100, QStringLiteral("SURVEILLANCES")},
                         {QStringLiteral("CLIENTS"), 100, QStringLiteral("CLIENTS")},
                         {QStringLiteral("DEBUT"), 110, QStringLiteral("DEBUT")},
                         {QStringLiteral("FIN"), 110, QStringLiteral("FIN")},
                         {QStringLiteral("DUREE"), 50, QStringLiteral("DUREE")},
                         {QStringLiteral("COMMENTAIRE"), 300, QStringLiteral("COMMENTAIRE")}});
    DBGrid1->setShowTitles(true);
    DBNavigator1 = new TDBNavigator(Panel4);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setDataSource(DataSource1);
    auto* gridLayout = new QVBoxLayout(Panel4);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(DBGrid1, 1);
    gridLayout->addWidget(DBNavigator1);

    // Made before the commands below it: Tab follows what is on screen.
    Billing = new BillingPanel(Panel3, Panel4, this);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    ColorButton1 =
        commandButton(QStringLiteral("ColorButton1"), QStringLiteral("&Purger la base"), Panel1);
    ColorButton2 = commandButton(QStringLiteral("ColorButton2"), QStringLiteral("&Fermer"), Panel1);
    Button2 = commandButton(QStringLiteral("Button2"), kToEditing, Panel1);
    Button3 = commandButton(QStringLiteral("Button3"), QStringLiteral("&Recalculer"), Panel1);
    Button3->setToolTip(
        QStringLiteral("Cliquez sur le cellule dont vous souhaitez recalculer la valeur."));
    auto* commands = new QHBoxLayout(Panel1);
    for (QWidget* w : {ColorButton1, ColorButton2, Button2, Button3}) commands->addWidget(w);
    commands->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TitleBand);
    layout->addWidget(Panel2);
    layout->addWidget(Panel3, 1);
    layout->addWidget(Panel4, 1);
    layout->addWidget(Billing->summaryPage(), 1);
    layout->addWidget(Billing->chartsPage(), 1);
    layout->addWidget(Billing);
    layout->addWidget(Panel1);

    readMore_ = new QTimer(this);
    readMore_->setSingleShot(true);
    readMore_->setInterval(0);
    connect(readMore_, &QTimer::timeout, this, guarded([this] { readReportRows(reportSliceMs); }));
    // The totals are read after the report, never before its first screen.
    connect(this, &TForm5::reportReady, Billing, &BillingPanel::startTotals);

    connect(Commenter, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    // A period chosen in one click is shown at once.
    connect(Presets, &PeriodPresets::chosen, this, [this] {
        chkTout->setChecked(false);
        Commenter->click();
    });
    connect(ColorButton1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(ColorButton2, &QPushButton::clicked, this, guarded([this] { ColorButton2Click(); }));
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, guarded([this] { Button3Click(); }));
    connect(&DataModule2->LogEdits, &LogDurations::changed, this, guarded([this] { logEdited(); }));
    connect(DBGrid1, &TDBGrid::titleClick, this,
            guarded([this](const QString& title) { DBGrid1TitleClick(title); }));
    connect(DBGrid1, &TDBGrid::cellClick, this,
            guarded([this](const QString& title) { DBGrid1CellClick(title); }));

    // Ctrl+E and Ctrl+P also from the lists and dates, where the focus starts.
    keepWindowShortcuts(this);
    returnFocusOnClose(this);
}

TForm5::~TForm5() = default;

void TForm5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    runGuarded([this] { FormActivate(); });
}

void TForm5::done(int result) {
    if (!postPendingEdit()) return;
    runGuarded([this] { FormClose(); });
    QDialog::done(result);
}

// A refused post is shown, and the window stays open on the row for the user
// to correct or cancel (navigator, or Escape in the grid).
bool TForm5::postPendingEdit() {
    try {
        DataSource1->postPending();
        return true;
    } catch (...) {
        reportException(std::current_exception());
    }
    if (Panel4->isHidden()) Button2Click();
    DBGrid1->setFocus();
    return false;
}

void TForm5::FormActivate() {
    SortAscending = false;
    Button3->setEnabled(false);
    Button2->setVisible(!LockLogEditing(ReadConfig()));

    Panel4->hide();
    Panel3->show();

    const DateTime now = clock().now();
    PeriodPresets::restoreDates(*dateDebut, *DateFin, QDateTime(now.date(), now.time()));

    cbClients->clear();
    cbTravaux->clear();
    RichEdit1->clear();

    db::Query& query = DataModule2->ADOQuery1;
    query.clear();
    query.add(QStringLiteral("SELECT NOM FROM Clients ORDER BY ") +
              db::collated(QStringLiteral("NOM")));
    query.open();
    cbClients->addItem(QStringLiteral("Tous"));
    cbClients->setCurrentText(QStringLiteral("Tous"));
    for (; !query.eof(); query.next()) cbClients->addItem(query.asString(QStringLiteral("NOM")));
    query.close();

    query.clear();
    query.add(QStringLiteral("SELECT TRAVAUX FROM Travaux ORDER BY Ordre, ") +
              db::collated(QStringLiteral("TRAVAUX")));
    query.open();
    cbTravaux->addItem(QStringLiteral("Tous"));
    cbTravaux->setCurrentText(QStringLiteral("Tous"));
    for (; !query.eof(); query.next())
        cbTravaux->addItem(query.asString(QStringLiteral("TRAVAUX")));
    query.close();

    DataModule2->ADOTable1.close();
    gridTablePending_ = false;
}

void TForm5::FormClose() {
    stopReport();
    Billing->stopTotals();
    try {
        DataModule2->ADOQuery1.close();
    } catch (const Error&) {
        // Closing the window goes on whatever the query says.
    }
    // The next opening starts from the same period.
    PeriodPresets::keepDates(*dateDebut, *DateFin);
}

void TForm5::ColorButton2Click() { close(); }

void TForm5::Button1Click() {
    // An edit typed in the grid is stored before the table is read again; a
    // refused one stops here, the row still pending.
    DataSource1->postPending();
    click_.start();  // the click's own work counts in its first slice
    // Everything the report depends on is read now, once.
    const DateTime start = pickerValue(dateDebut);
    const DateTime end = pickerValue(DateFin);
    const bool all = chkTout->isChecked();
    const bool comments = chkComm->isChecked();
    const QString activity = cbTravaux->currentText();
    const QString client = cbClients->currentText();

    // The grid's table is read when the grid shows, not here.
    db::TableDataset& table = DataModule2->ADOTable1;
    table.close();
    gridTablePending_ = true;
    if (end < start && !all) {
        if (Panel4->isVisible()) openGridTable();
        return;
    }
    Billing->select({activity, client, start.date(), end.date(), all});

    stopReport();
    DataModule2->ADOQuery1.clear();
    RichEdit1->clear();
    const ReportSelection selection = BuildReportSelection(activity, client, start, end, all);
    // The filter is set while the table is closed, so its rows are read once.
    if (!selection.filter.isEmpty() && !all) {
        table.setFilter(selection.filter);
        table.setFiltered(true);
    } else {
        table.setFiltered(false);
    }
    if (Panel4->isVisible()) openGridTable();

    lastReport_ = std::make_unique<ReportSelection>(selection);
    lastComments_ = comments;
    reportStale_ = false;
    readReport();
}

void TForm5::readReport() {
    reader_ =
        std::make_unique<ReportReader>(DataModule2->ADOConnection1, *lastReport_, lastComments_);
    if (auto totals = Billing->shareWithReport()) reader_->feed(std::move(totals));
    RichEdit1->setReport(reader_->text());
    // A short first slice: a screenful shows at once, the rest follows.
    readReportRows(
        std::max<qint64>(0, std::min<qint64>(reportSliceMs / 4, reportSliceMs - click_.elapsed())));
    // More is to come: the first screen is painted now rather than when the
    // window system next asks, which would be after the next slice.
    if (reader_) RichEdit1->viewport()->repaint();
}

// A row stored or deleted in the grid: every total shown follows at once;
// the report, hidden behind the grid, is written again when it shows.
void TForm5::logEdited() {
    Billing->reread();
    if (!lastReport_) return;
    if (Panel3->isVisible()) {
        stopReport();
        click_.start();
        readReport();
    } else {
        reportStale_ = true;
    }
}

void TForm5::openGridTable() {
    if (!gridTablePending_) return;
    gridTablePending_ = false;
    DataModule2->ADOTable1.open();
}

void TForm5::readReportRows(qint64 budgetMs) {
    if (!reader_) return;
    try {
        if (!reader_->read(budgetMs)) {
            QList<qreal> stops;
            for (const qint32 w : reader_->writer().widths()) stops.append(3.0 * w);
            RichEdit1->setTabStops(stops);
            RichEdit1->textGrew();
            readMore_->start();
            return;
        }
    } catch (...) {
        reader_.reset();
        RichEdit1->clear();  // no half report
        Billing->stopTotals();
        throw;
    }
    finishReport();
}

void TForm5::finishReport() {
    QList<qreal> stops;
    for (const qint32 w : reader_->writer().widths()) stops.append(3.0 * w);
    reader_.reset();
    RichEdit1->setTabStops(stops);
    RichEdit1->textGrew();
    emit reportReady();
}

void TForm5::stopReport() {
    readMore_->stop();
    reader_.reset();
}

void TForm5::Button2Click() {
    if (Button2->text() == kToEditing) {
        openGridTable();
        Panel3->hide();
        Panel4->show();
        Button2->setText(kToReport);
        Button3->setEnabled(true);
    } else {
        Panel4->hide();
        Panel3->show();
        Button2->setText(kToEditing);
        Button3->setEnabled(false);
        if (reportStale_ && lastReport_) {
            reportStale_ = false;
            stopReport();
            click_.start();
            readReport();
        }
    }
}

void TForm5::DBGrid1TitleClick(const QString& title) {
    SortAscending = !SortAscending;
    const QString direction = SortAscending ? QStringLiteral("ASC") : QStringLiteral("DESC");
    DataModule2->ADOTable1.setSort(title + u' ' + direction);
    DataModule2->ADOTable1.refresh();
}

void TForm5::DBGrid1CellClick(const QString& title) { ClickedColumn = title; }

void TForm5::Button3Click() {
    db::TableDataset& table = DataModule2->ADOTable1;
    DBGrid1->commitEditor();  // a value still being typed counts
    const QString start = table.asString(QStringLiteral("DEBUT"));
    const QString end = table.asString(QStringLiteral("FIN"));
    const QString duration = table.asString(QStringLiteral("DUREE"));
    if (start.isEmpty() && end.isEmpty() && duration.isEmpty()) return;

    QString field;
    QString value;
    if (ClickedColumn == QLatin1String("DEBUT")) {
        field = ClickedColumn;
        value = regional::dateTimeToText(dateTimeOf(end).addSecs(-toInteger(duration)));
    } else if (ClickedColumn == QLatin1String("FIN")) {
        field = ClickedColumn;
        value = regional::dateTimeToText(dateTimeOf(start).addSecs(toInteger(duration)));
    } else if (ClickedColumn == QLatin1String("DUREE")) {
        field = ClickedColumn;
        value = QString::number(std::llabs(dateTimeOf(start).secsTo(dateTimeOf(end))));
    } else {
        return;
    }
    table.edit();
    table.setFieldText(field, value);
    table.post();
    table.refresh();
}

void TForm5::BitBtn1Click() {
    const QString question = QStringLiteral("\r\nVoulez-vous vraiment vider les surveillances ?");
    if (!messageBoxes().confirmDestructive(QStringLiteral("Attention !!! ") + question)) return;
    db::Query& query = DataModule2->ADOQuery1;
    query.clear();
    if (!messageBoxes().confirmDestructive(QStringLiteral("Attention !!!!!!!!!!!!!!!! ") +
                                           question))
        return;
    // A report being read is finished first: it shows the entries its click chose.
    if (reader_) {
        readMore_->stop();
        readReportRows(-1);
    }
    Billing->finishTotals();  // likewise, and its statement ends before the purge

    // A copy (beside the file, or for a server a local file in the user's
    // data folder), so the purge can be undone by hand; no copy, no purge.
    // Copy and delete share one snapshot: an entry another workstation
    // stores meanwhile is either in the copy or stays in the base.
    db::purgeTable(DataModule2->ADOConnection1, QStringLiteral("activites"),
                   DataModule2->BackupPath(clock().now()));
    messageBoxes().inform(QStringLiteral("Suivi des surveillances vide"));
}

}  // namespace tavix

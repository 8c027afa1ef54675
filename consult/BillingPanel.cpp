#include "consult/BillingPanel.h"

#include <QAccessible>
#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <exception>
#include <thread>

#include "consult/ChartsView.h"
#include "consult/CsvExport.h"
#include "consult/IcsExport.h"
#include "consult/PrintDocument.h"
#include "consult/RatesEditor.h"
#include "consult/SummaryView.h"
#include "controls/KeyboardAccess.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "platform/Announce.h"
#include "platform/AtomicFile.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "settings/outils.h"

namespace tavix {

namespace {

QPushButton* pageButton(const QString& name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setCheckable(true);
    return b;
}

// The file keeps the permissions it had, and a new one gets the ordinary
// ones rather than the private ones of the temporary file.
QFileDevice::Permissions exportPermissions(const QString& path) {
    const QFileInfo old(path);
    return old.exists()
               ? old.permissions()
               : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
}

// Writes beside, then renames.
void writeExport(const QString& path, const QByteArray& data) {
    const QFileDevice::Permissions permissions = exportPermissions(path);
    files::writeAtomically(path, data);
    QFile::setPermissions(path, permissions);
}

}  // namespace

BillingPanel::BillingPanel(QWidget* report, QWidget* editing, QWidget* parent)
    : QWidget(parent), report_(report), editing_(editing) {
    setObjectName(QStringLiteral("BillingPanel"));
    summary_ = new SummaryView(parent);
    summary_->hide();
    charts_ = new ChartsView(parent);
    charts_->hide();

    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setAccessibleName(QStringLiteral("Total de la sélection"));
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    StatusLine->setFocusPolicy(Qt::StrongFocus);
    // Rounding and amounts make it long: it wraps rather than widen the window.
    StatusLine->setWordWrap(true);
    // Reached by Tab, the line shows it: a label draws no focus of its own.
    StatusLine->setStyleSheet(
        QStringLiteral("QLabel#StatusLine { border: 2px solid transparent; }"
                       "QLabel#StatusLine:focus { border: 2px dashed black; }"));
    QFont bold = StatusLine->font();
    bold.setBold(true);
    StatusLine->setFont(bold);
    // What the last export did, in words for every user.
    DoneLine = new QLabel(this);
    DoneLine->setObjectName(QStringLiteral("DoneLine"));
    DoneLine->setAccessibleName(QStringLiteral("Dernière opération"));

    ReportButton = pageButton(QStringLiteral("ReportButton"), QStringLiteral("R&apport"), this);
    SummaryButton = pageButton(QStringLiteral("SummaryButton"), QStringLiteral("S&ynthèse"), this);
    ChartsButton = pageButton(QStringLiteral("ChartsButton"), QStringLiteral("Grap&hiques"), this);
    ReportButton->setChecked(true);
    pages_ = new QButtonGroup(this);
    pages_->setExclusive(true);
    for (QPushButton* b : {ReportButton, SummaryButton, ChartsButton}) pages_->addButton(b);
    ExportButton = new QPushButton(QStringLiteral("&Exporter…"), this);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    ExportButton->setToolTip(QStringLiteral("Exporter la sélection (Ctrl+E)"));
    PrintButton = new QPushButton(QStringLiteral("&Imprimer…"), this);
    PrintButton->setObjectName(QStringLiteral("PrintButton"));
    PrintButton->setToolTip(QStringLiteral("Imprimer la synthèse et les entrées (Ctrl+P)"));
    ExportMenu = new QMenu(ExportButton);
    ExportMenu->setObjectName(QStringLiteral("ExportMenu"));
    const std::pair<QString, Export> exports[] = {
        {QStringLiteral("&Entrées en CSV…"), Export::EntriesCsv},
        {QStringLiteral("&Synthèse en CSV…"), Export::SummaryCsv},
        {QStringLiteral("Entrées en &iCalendar…"), Export::EntriesIcs},
        {QStringLiteral("Synthèse et entrées en &PDF…"), Export::Pdf},
        {QStringLiteral("&Relevé d'activité d'un client en PDF…"), Export::Statement},
    };
    for (const auto& [text, kind] : exports)
        connect(ExportMenu->addAction(text), &QAction::triggered, this,
                guarded([this, kind = kind] { exportTo(kind); }));
    ExportButton->setMenu(ExportMenu);
    // Opened from the keyboard, the menu starts on its first item, which a
    // screen reader then reads.
    connect(ExportMenu, &QMenu::aboutToShow, this, [this] {
        QTimer::singleShot(0, ExportMenu, [this] {
            if (ExportMenu->isVisible() && !ExportMenu->activeAction())
                ExportMenu->setActiveAction(ExportMenu->actions().value(0));
        });
    });
    ExportButton->setEnabled(false);
    PrintButton->setEnabled(false);
    RatesButton = new QPushButton(QStringLiteral("&Tarifs…"), this);
    RatesButton->setObjectName(QStringLiteral("RatesButton"));
    RatesButton->setToolTip(QStringLiteral("Tarifs, coordonnées et factures"));

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : {ReportButton, SummaryButton, ChartsButton}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(DoneLine);
    buttons->addWidget(RatesButton);
    buttons->addWidget(ExportButton);
    buttons->addWidget(PrintButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(StatusLine);
    layout->addLayout(buttons);

    connect(ReportButton, &QPushButton::clicked, this, [this] { showReport(); });
    connect(SummaryButton, &QPushButton::clicked, this, [this] { showSummary(); });
    connect(ChartsButton, &QPushButton::clicked, this, [this] { showCharts(); });
    connect(PrintButton, &QPushButton::clicked, this, guarded([this] { print(); }));
    connect(RatesButton, &QPushButton::clicked, this, guarded([this] { editRates(); }));
    auto* exportKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), parent);
    connect(exportKey, &QShortcut::activated, this, [this] {
        if (ExportButton->isEnabled()) ExportButton->showMenu();
    });
    auto* printKey = new QShortcut(QKeySequence::Print, parent);
    connect(printKey, &QShortcut::activated, this, guarded([this] {
                if (PrintButton->isEnabled()) print();
            }));
    connect(summary_, &SummaryView::roundingChosen, this,
            guarded([this](const Rounding& r) { setRounding(r); }));
    // Rounded per line, the billed total is that of the lines shown.
    connect(summary_, &SummaryView::groupingChosen, this, [this] {
        if (filter_ && !cursor_) setStatus(statusText());
    });

    const Rounding saved = Rounding::fromSetting(ReadSetting(kRoundingSetting));
    totals_ = Summary(saved, rates_);
    summary_->setRounding(saved);
    editing_->installEventFilter(this);

    readMore_ = new QTimer(this);
    readMore_->setSingleShot(true);
    readMore_->setInterval(0);
    connect(readMore_, &QTimer::timeout, this, guarded([this] { readTotals(totalsSliceMs); }));
}

BillingPanel::~BillingPanel() = default;

QWidget* BillingPanel::summaryPage() const { return summary_; }
QWidget* BillingPanel::chartsPage() const { return charts_; }

bool BillingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editing_) {
        // The grid takes the content area: the summary and the charts step
        // aside, and come back to the report with it.
        if (event->type() == QEvent::ShowToParent) {
            summary_->hide();
            charts_->hide();
            ReportButton->setChecked(true);
            for (QAbstractButton* b : pages_->buttons()) b->setEnabled(false);
        } else if (event->type() == QEvent::HideToParent) {
            for (QAbstractButton* b : pages_->buttons()) b->setEnabled(true);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BillingPanel::show(QWidget* page) {
    if (!editing_->isHidden()) return;
    for (QWidget* w : {report_, static_cast<QWidget*>(summary_), static_cast<QWidget*>(charts_)})
        w->setVisible(w == page);
    (page == report_    ? ReportButton
     : page == summary_ ? SummaryButton
                        : ChartsButton)
        ->setChecked(true);
}

void BillingPanel::showReport() { show(report_); }
void BillingPanel::showSummary() { show(summary_); }
void BillingPanel::showCharts() { show(charts_); }

void BillingPanel::forEach(const std::function<void(const Entry&)>& each) const {
    if (filter_) forEachEntry(DataModule2->ADOConnection1, *filter_, each);
}

void BillingPanel::select(const EntryFilter& filter) {
    filter_ = filter;
    recompute(totals_.rounding());
    ExportButton->setEnabled(true);
    PrintButton->setEnabled(true);
}

void BillingPanel::setRounding(const Rounding& r) {
    WriteSetting(kRoundingSetting, r.toSetting());
    if (!filter_) {
        totals_ = Summary(r, rates_);
        return;
    }
    const bool waiting = cursor_ && !readMore_->isActive();  // the report is still read
    recompute(r);
    if (!waiting) startTotals();
}

// Binds the selection now; the reading waits for startTotals().
void BillingPanel::recompute(const Rounding& rounding) {
    readMore_->stop();
    fromReport_.reset();
    cursor_.reset();
    loadRates();
    totals_ = Summary(rounding, rates_);
    pending_ = Summary(rounding, rates_);
    cursor_ = std::make_unique<EntryCursor>(DataModule2->ADOConnection1, *filter_);
    setStatus(QStringLiteral("Calcul des totaux…"));
    showTotals();
}

std::shared_ptr<Summary> BillingPanel::shareWithReport() {
    if (!cursor_ || readMore_->isActive() || pending_.entries() > 0) return {};
    fromReport_ = std::make_shared<Summary>(totals_.rounding(), rates_);
    return fromReport_;
}

void BillingPanel::loadRates() {
    try {
        rates_ = std::make_shared<const Rates>(billing::readRates(DataModule2->ADOConnection1));
    } catch (const db::ServerUnreachable&) {
        throw;
    } catch (const Error&) {
        rates_.reset();  // a base without the rates' table bills nothing
    }
}

void BillingPanel::ratesChanged() {
    if (filter_) {
        recompute(totals_.rounding());
        startTotals();
    } else {
        loadRates();
        totals_ = Summary(totals_.rounding(), rates_);
    }
}

void BillingPanel::startTotals() {
    if (!cursor_) return;
    if (fromReport_) {
        Summary totals = std::move(*fromReport_);
        fromReport_.reset();
        complete(std::move(totals));
        return;
    }
    readMore_->start();
}

void BillingPanel::finishTotals() {
    if (!cursor_) return;
    readMore_->stop();
    fromReport_.reset();  // the report may be read only in part
    readTotals(-1);
}

void BillingPanel::stopTotals() {
    if (!cursor_) return;
    readMore_->stop();
    fromReport_.reset();
    cursor_.reset();
    filter_.reset();
    totals_ = Summary(totals_.rounding(), rates_);
    setStatus(QString());
    showTotals();
    ExportButton->setEnabled(false);
    PrintButton->setEnabled(false);
}

void BillingPanel::reread() {
    if (!filter_) return;
    recompute(totals_.rounding());
    readTotals(totalsSliceMs);
}

void BillingPanel::readTotals(qint64 budgetMs) {
    if (!cursor_) return;
    bool done = false;
    try {
        done = cursor_->read(budgetMs, [this](const Entry& e) { pending_.add(e); });
    } catch (...) {
        stopTotals();  // no half totals
        throw;
    }
    if (!done) {
        readMore_->start();
        return;
    }
    complete(std::move(pending_));
}

void BillingPanel::complete(Summary&& totals) {
    cursor_.reset();
    totals_ = std::move(totals);
    pending_ = Summary(totals_.rounding(), rates_);
    setStatus(statusText());
    showTotals();
    // Said wherever the focus is: the report and its totals are complete.
    announce(this, StatusLine->text());
    emit totalsReady();
}

// The total is in the line's name as well as its description: a screen
// reader reads only the name of a label, on focus and when a window opens.
void BillingPanel::setStatus(const QString& text) {
    StatusLine->setText(text);
    const QString what = QStringLiteral("Total de la sélection");
    StatusLine->setAccessibleName(text.isEmpty() ? what : what + QStringLiteral(" : ") + text);
    StatusLine->setAccessibleDescription(text);
    QAccessibleEvent named(StatusLine, QAccessible::NameChanged);
    tellAccessibility(&named, true);
    QAccessibleEvent changed(StatusLine, QAccessible::DescriptionChanged);
    tellAccessibility(&changed, true);
}

void BillingPanel::confirmDone(const QString& text) {
    DoneLine->setText(text);
    announce(this, text);
}

void BillingPanel::showTotals() {
    summary_->setSummary(totals_);
    charts_->setSummary(totals_);
}

QString BillingPanel::statusText() const {
    if (!filter_) return {};
    QString period = filter_->period();
    if (filter_->all && totals_.entries() > 0)
        period = QStringLiteral("du %1 au %2")
                     .arg(regional::dateToText(totals_.firstStart().date()),
                          regional::dateToText(totals_.lastEnd().date()));
    QString text =
        totalsText(totals_.entries(), totals_.seconds()) + QStringLiteral(" — ") + period;
    if (totals_.rounding().active()) {
        const Grouping g = summary_->grouping();
        const qint64 billed = totals_.rounded(g);
        text += QStringLiteral(" — facturé : %1 — %2 h, %3")
                    .arg(hmsText(billed), decimalHoursText(billed), totals_.rounding().rule(g));
    }
    if (totals_.priced()) {
        text +=
            QStringLiteral(" — montant HT : ") + moneyText(totals_.amount(summary_->grouping()));
        if (totals_.unrated() > 0) text += QStringLiteral(" — ") + unratedText(totals_.unrated());
    }
    return text;
}

void BillingPanel::editRates() {
    RatesEditor editor(window());
    bool changed = false;
    connect(&editor, &RatesEditor::changed, this, [&changed] { changed = true; });
    modalRunner().exec(editor);
    if (changed) ratesChanged();
}

void BillingPanel::exportStatement() {
    if (!filter_) return;
    finishTotals();
    QDialog dialog(window());
    dialog.setObjectName(QStringLiteral("StatementDialog"));
    dialog.setWindowTitle(QStringLiteral("Relevé d'activité"));
    auto* client = new QComboBox(&dialog);
    client->setObjectName(QStringLiteral("StatementClient"));
    if (filter_->client != QLatin1String("Tous"))
        client->addItem(filter_->client);
    else
        for (const SummaryLine& l : totals_.lines(Grouping::Client)) client->addItem(l.keys[0]);
    auto* from = new QDateEdit(&dialog);
    auto* to = new QDateEdit(&dialog);
    for (QDateEdit* d : {from, to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    }
    from->setObjectName(QStringLiteral("StatementFrom"));
    to->setObjectName(QStringLiteral("StatementTo"));
    from->setDate(filter_->all && totals_.entries() ? totals_.firstStart().date() : filter_->from);
    to->setDate(filter_->all && totals_.entries() ? totals_.lastEnd().date() : filter_->to);
    auto* detail = new QComboBox(&dialog);
    detail->setObjectName(QStringLiteral("StatementDetail"));
    for (const auto d : {StatementDetail::Entry, StatementDetail::Day, StatementDetail::Activity})
        detail->addItem(statementDetailName(d), int(d));
    auto* numbered = new QCheckBox(QStringLiteral("&Numéroter comme facture"), &dialog);
    numbered->setObjectName(QStringLiteral("StatementNumbered"));
    numbered->setToolTip(
        QStringLiteral("Le numéro suivant est attribué à l'enregistrement du document"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Enregistrer…"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Annuler"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Client"), client);
    form->addRow(QStringLiteral("&Du"), from);
    form->addRow(QStringLiteral("A&u"), to);
    form->addRow(QStringLiteral("&Lignes"), detail);
    form->addRow(QString(), numbered);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    tellCurrentValues(&dialog);
    if (modalRunner().exec(dialog) != QDialog::Accepted || client->currentText().isEmpty()) return;
    const StatementRequest request{client->currentText(), from->date(), to->date(),
                                   StatementDetail(detail->currentData().toInt()),
                                   numbered->isChecked()};
    FileRequest file;
    file.mustExist = false;
    file.save = true;
    file.filter = QStringLiteral("Documents PDF (*.pdf)");
    file.defaultSuffix = QStringLiteral("pdf");
    file.initialName = statementFileName(request.client, request.from, 0);
    const QString path = filePicker().chooseFile(window(), file);
    if (!path.isEmpty()) saveStatement(request, path);
}

qint64 BillingPanel::saveStatement(const StatementRequest& r, const QString& path) {
    if (QFileInfo::exists(path) &&
        !messageBoxes().confirm(
            QStringLiteral("Le fichier « %1 » existe déjà.\r\nVoulez-vous le remplacer ?")
                .arg(path)))
        return -1;
    db::Connection& base = DataModule2->ADOConnection1;
    if (!rates_) loadRates();
    std::optional<ClientDetails> details;
    try {
        details = billing::readClientDetails(base, r.client);
    } catch (const db::ServerUnreachable&) {
        throw;
    } catch (const Error&) {
    }
    Statement statement(r.client, r.from, r.to, r.detail, totals_.rounding(), rates_,
                        SenderDetails::load(), details);
    EntryFilter only;
    only.client = r.client;
    only.from = r.from;
    only.to = r.to;
    forEachEntry(base, only, [&](const Entry& e) { statement.add(e); });
    const QDate today = clock().now().date();
    qint64 number = 0;
    if (!r.numbered) {
        writeExport(path, statement.pdf(0, today));
    } else {
        const Invoice invoice{0,
                              today,
                              r.client,
                              r.from,
                              r.to,
                              statement.totalIncludingVat(),
                              QFileInfo(path).fileName()};
        // Written beside within the numbering's transaction, put in place
        // once the number is given for good: a numbering that fails leaves
        // no document with its number, and the file it would have replaced
        // as it was.
        const QFileDevice::Permissions permissions = exportPermissions(path);
        std::optional<files::PreparedFile> document;
        number = billing::issueInvoice(
            base, invoice, [&](qint64 n) { document.emplace(path, statement.pdf(n, today)); });
        document->put();
        QFile::setPermissions(path, permissions);
    }
    confirmDone(number > 0
                    ? QStringLiteral("Facture n° %1 enregistrée : %2")
                          .arg(number)
                          .arg(QFileInfo(path).fileName())
                    : QStringLiteral("Relevé enregistré : %1").arg(QFileInfo(path).fileName()));
    return number;
}

void BillingPanel::exportTo(Export kind) {
    if (!filter_) return;
    if (kind == Export::Statement) {
        exportStatement();
        return;
    }
    FileRequest request;
    request.mustExist = false;
    request.save = true;
    switch (kind) {
        case Export::EntriesCsv:
            request.filter = QStringLiteral("Fichiers CSV (*.csv)");
            request.defaultSuffix = QStringLiteral("csv");
            request.initialName = QStringLiteral("surveillances.csv");
            break;
        case Export::SummaryCsv:
            request.filter = QStringLiteral("Fichiers CSV (*.csv)");
            request.defaultSuffix = QStringLiteral("csv");
            request.initialName = QStringLiteral("synthese.csv");
            break;
        case Export::EntriesIcs:
            request.filter = QStringLiteral("Calendriers iCalendar (*.ics)");
            request.defaultSuffix = QStringLiteral("ics");
            request.initialName = QStringLiteral("surveillances.ics");
            break;
        case Export::Pdf:
        case Export::Statement:
            request.filter = QStringLiteral("Documents PDF (*.pdf)");
            request.defaultSuffix = QStringLiteral("pdf");
            request.initialName = QStringLiteral("surveillances.pdf");
            break;
    }
    const QString path = filePicker().chooseFile(window(), request);
    if (!path.isEmpty()) exportFile(kind, path);
}

bool BillingPanel::exportFile(Export kind, const QString& path) {
    if (!filter_) return false;
    if (QFileInfo::exists(path) &&
        !messageBoxes().confirm(
            QStringLiteral("Le fichier « %1 » existe déjà.\r\nVoulez-vous le remplacer ?")
                .arg(path)))
        return false;
    switch (kind) {
        case Export::Statement:
            return false;  // asked for on its own
        case Export::EntriesCsv: {
            EntriesCsv csv(totals_.rounding(), rates_);
            forEach([&](const Entry& e) { csv.add(e); });
            writeExport(path, csv.take());
            break;
        }
        case Export::SummaryCsv:
            finishTotals();
            writeExport(path, summaryCsv(totals_, summary_->grouping()));
            break;
        case Export::EntriesIcs: {
            IcsWriter ics(QString(), clock().now());
            forEach([&](const Entry& e) { ics.add(e); });
            writeExport(path, ics.take());
            break;
        }
        case Export::Pdf: {
            finishTotals();
            // Painted in memory: a cancelled export leaves the file as it was.
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            {
                QPdfWriter writer(&buffer);
                setUpPage(writer);
                writer.setTitle(QStringLiteral("Surveillances %1").arg(statusText()));
                writer.setCreator(QStringLiteral("Tavix - surveillance de tâches"));
                if (!paintSelection(writer, QStringLiteral("Export en PDF…"))) return false;
            }
            // A large file takes a while to reach the disk: the window
            // answers meanwhile.
            std::exception_ptr failed;
            std::atomic<bool> written{false};
            std::thread writing([&] {
                try {
                    writeExport(path, buffer.data());
                } catch (...) {
                    failed = std::current_exception();
                }
                written = true;
            });
            while (!written) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            writing.join();
            if (failed) std::rethrow_exception(failed);
            break;
        }
    }
    confirmDone(QStringLiteral("Export enregistré : %1").arg(QFileInfo(path).fileName()));
    return true;
}

void BillingPanel::print() {
    if (!filter_) return;
    QPrinter printer(QPrinter::HighResolution);
    setUpPage(printer);
    printer.setDocName(QStringLiteral("Surveillances"));
    QPrintDialog dialog(&printer, window());
    dialog.setWindowTitle(QStringLiteral("Imprimer"));
    tellCurrentValues(&dialog);  // the printer's list among them
    if (modalRunner().exec(dialog) != QDialog::Accepted) return;
    finishTotals();
    if (paintSelection(printer, QStringLiteral("Impression…")))
        confirmDone(QStringLiteral("Impression envoyée"));
}

// Reads and paints the selection a slice at a time, the window answering
// between slices, under a progress dialog that can cancel.
bool BillingPanel::paintSelection(QPagedPaintDevice& device, const QString& what) {
    PrintLayout layout(device, totals_, summary_->grouping(), statusText(), filter_->describe(),
                       totals_.entries());
    QProgressDialog progress(what, QStringLiteral("&Annuler"), 0,
                             int(std::min<qint64>(totals_.entries(), INT_MAX)), window());
    progress.setObjectName(QStringLiteral("PaintProgress"));
    progress.setWindowTitle(QStringLiteral("Tavix - surveillance de tâches"));
    progress.setWindowModality(Qt::WindowModal);
    // Shown once the work proves long; until then, what the user types
    // waits, so nothing changes under the painting.
    progress.setMinimumDuration(400);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setLabelText(QStringLiteral("%1\n%2 pages").arg(what).arg(layout.pageCount()));
    progress.setValue(0);
    layout.begin();
    EntryCursor cursor(DataModule2->ADOConnection1, *filter_);
    qint64 painted = 0;
    for (bool done = false; !done;) {
        done = cursor.read(paintSliceMs, [&](const Entry& e) {
            layout.add(e);
            ++painted;
        });
        progress.setValue(int(std::min<qint64>(painted, progress.maximum())));
        QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        if (progress.wasCanceled()) {
            if (auto* printer = dynamic_cast<QPrinter*>(&device)) printer->abort();
            return false;
        }
    }
    layout.finish();
    return true;
}

}  // namespace tavix

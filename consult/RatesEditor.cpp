#include "consult/RatesEditor.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "controls/KeyboardAccess.h"
#include "data/Unit2.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "settings/outils.h"

namespace tavix {

namespace {

const int kVatRates[] = {2000, 1000, 550, 210};

QTableWidget* listTable(const QString& name, const QString& accessible, const QStringList& titles,
                        QWidget* parent) {
    auto* t = new QTableWidget(0, int(titles.size()), parent);
    t->setObjectName(name);
    t->setAccessibleName(accessible);
    t->setHorizontalHeaderLabels(titles);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QTableWidgetItem* cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString percentText(int basisPoints) {
    QString t = QString::number(basisPoints / 100);
    if (basisPoints % 100)
        t += u',' + QString::number(basisPoints % 100 / (basisPoints % 10 ? 1 : 10));
    return t + QStringLiteral(" %");
}

}  // namespace

RatesEditor::RatesEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RatesEditor"));
    setWindowTitle(QStringLiteral("Tarifs et coordonnées"));
    db::Connection& base = DataModule2->ADOConnection1;
    const QStringList clients = billing::clientNames(base);
    const QStringList activities = billing::activityNames(base);

    Tabs = new QTabWidget(this);
    Tabs->setObjectName(QStringLiteral("Tabs"));

    // Rates
    auto* rates = new QWidget(Tabs);
    RatesTable = listTable(QStringLiteral("RatesTable"), QStringLiteral("Tarifs"),
                           {QStringLiteral("Client"), QStringLiteral("Surveillance"),
                            QStringLiteral("À partir du"), QStringLiteral("Tarif HT")},
                           rates);
    ClientBox = new QComboBox(rates);
    ClientBox->setObjectName(QStringLiteral("ClientBox"));
    ClientBox->addItems(clients);
    ActivityBox = new QComboBox(rates);
    ActivityBox->setObjectName(QStringLiteral("ActivityBox"));
    ActivityBox->addItem(QStringLiteral("Toutes les surveillances"), QString());
    for (const QString& a : activities) ActivityBox->addItem(a, a);
    FromDate = new QDateEdit(rates);
    FromDate->setObjectName(QStringLiteral("FromDate"));
    FromDate->setCalendarPopup(true);
    FromDate->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    FromDate->setDate(QDate(clock().now().date().year(), clock().now().date().month(), 1));
    AmountEdit = new QLineEdit(rates);
    AmountEdit->setObjectName(QStringLiteral("AmountEdit"));
    AmountEdit->setPlaceholderText(QStringLiteral("65,00"));
    UnitBox = new QComboBox(rates);
    UnitBox->setObjectName(QStringLiteral("UnitBox"));
    UnitBox->setAccessibleName(QStringLiteral("Unité"));
    UnitBox->addItem(QStringLiteral("de l'heure"), false);
    UnitBox->addItem(QStringLiteral("de la journée"), true);
    DayHours = new QDoubleSpinBox(rates);
    DayHours->setObjectName(QStringLiteral("DayHours"));
    DayHours->setLocale(QLocale(QLocale::French, QLocale::France));
    DayHours->setRange(1, 24);
    DayHours->setDecimals(2);
    DayHours->setSingleStep(0.5);
    DayHours->setValue(double(daySecondsSetting()) / 3600.0);
    SaveRateButton = new QPushButton(QStringLiteral("&Enregistrer le tarif"), rates);
    SaveRateButton->setObjectName(QStringLiteral("SaveRateButton"));
    DeleteRateButton = new QPushButton(QStringLiteral("&Supprimer le tarif"), rates);
    DeleteRateButton->setObjectName(QStringLiteral("DeleteRateButton"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Client"), ClientBox);
    form->addRow(QStringLiteral("Surve&illance"), ActivityBox);
    form->addRow(QStringLiteral("À &partir du"), FromDate);
    auto* amount = new QHBoxLayout;
    amount->addWidget(AmountEdit, 1);
    amount->addWidget(new QLabel(QStringLiteral("€ HT"), rates));
    amount->addWidget(UnitBox);
    auto* amountLabel = new QLabel(QStringLiteral("&Montant"), rates);
    amountLabel->setBuddy(AmountEdit);
    form->addRow(amountLabel, amount);
    form->addRow(QStringLiteral("&Heures par journée facturée"), DayHours);
    auto* rateButtons = new QHBoxLayout;
    rateButtons->addStretch(1);
    rateButtons->addWidget(SaveRateButton);
    rateButtons->addWidget(DeleteRateButton);
    auto* ratesLayout = new QVBoxLayout(rates);
    ratesLayout->addWidget(RatesTable, 1);
    ratesLayout->addLayout(form);
    ratesLayout->addLayout(rateButtons);
    Tabs->addTab(rates, QStringLiteral("&Tarifs"));

    // The user's details
    const SenderDetails me = SenderDetails::load();
    auto* sender = new QWidget(Tabs);
    NameEdit = new QLineEdit(me.name, sender);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    AddressEdit = new QPlainTextEdit(me.address, sender);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setTabChangesFocus(true);
    SiretEdit = new QLineEdit(me.siret, sender);
    SiretEdit->setObjectName(QStringLiteral("SiretEdit"));
    VatNumberEdit = new QLineEdit(me.vatNumber, sender);
    VatNumberEdit->setObjectName(QStringLiteral("VatNumberEdit"));
    VatBox = new QComboBox(sender);
    VatBox->setObjectName(QStringLiteral("VatBox"));
    VatBox->addItem(kNoVatMention, -1);
    for (const int r : kVatRates) VatBox->addItem(percentText(r), r);
    VatBox->setCurrentIndex(std::max(0, VatBox->findData(me.vatBasisPoints.value_or(-1))));
    MentionsEdit = new QPlainTextEdit(me.mentions, sender);
    MentionsEdit->setObjectName(QStringLiteral("MentionsEdit"));
    MentionsEdit->setTabChangesFocus(true);
    SaveSenderButton = new QPushButton(QStringLiteral("En&registrer"), sender);
    SaveSenderButton->setObjectName(QStringLiteral("SaveSenderButton"));
    auto* senderForm = new QFormLayout(sender);
    senderForm->addRow(QStringLiteral("&Nom ou société"), NameEdit);
    senderForm->addRow(QStringLiteral("&Adresse"), AddressEdit);
    senderForm->addRow(QStringLiteral("&SIRET"), SiretEdit);
    senderForm->addRow(QStringLiteral("N° de TVA intra&communautaire"), VatNumberEdit);
    senderForm->addRow(QStringLiteral("Tau&x de TVA"), VatBox);
    senderForm->addRow(QStringLiteral("&Mentions"), MentionsEdit);
    senderForm->addRow(QString(), SaveSenderButton);
    Tabs->addTab(sender, QStringLiteral("&Vos coordonnées"));

    // The clients' details
    auto* details = new QWidget(Tabs);
    DetailsClientBox = new QComboBox(details);
    DetailsClientBox->setObjectName(QStringLiteral("DetailsClientBox"));
    DetailsClientBox->addItems(clients);
    ClientAddressEdit = new QPlainTextEdit(details);
    ClientAddressEdit->setObjectName(QStringLiteral("ClientAddressEdit"));
    ClientAddressEdit->setTabChangesFocus(true);
    ClientReferenceEdit = new QLineEdit(details);
    ClientReferenceEdit->setObjectName(QStringLiteral("ClientReferenceEdit"));
    SaveClientButton = new QPushButton(QStringLiteral("Enre&gistrer"), details);
    SaveClientButton->setObjectName(QStringLiteral("SaveClientButton"));
    auto* detailsForm = new QFormLayout(details);
    detailsForm->addRow(QStringLiteral("&Client"), DetailsClientBox);
    detailsForm->addRow(QStringLiteral("&Adresse"), ClientAddressEdit);
    detailsForm->addRow(QStringLiteral("&Référence"), ClientReferenceEdit);
    detailsForm->addRow(QString(), SaveClientButton);
    Tabs->addTab(details, QStringLiteral("C&lients"));

    // The register
    InvoicesTable = listTable(
        QStringLiteral("InvoicesTable"), QStringLiteral("Factures numérotées"),
        {QStringLiteral("Numéro"), QStringLiteral("Date"), QStringLiteral("Client"),
         QStringLiteral("Période"), QStringLiteral("Total TTC"), QStringLiteral("Fichier")},
        Tabs);
    Tabs->addTab(InvoicesTable, QStringLiteral("Fact&ures"));

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Fermer"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Tabs, 1);
    layout->addWidget(close);
    resize(720, 520);

    // Return saves what the box it is typed in belongs to, never a button
    // of another tab.
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(SaveRateButton, &QPushButton::clicked, this, guarded([this] { saveRate(); }));
    connect(DeleteRateButton, &QPushButton::clicked, this, guarded([this] { deleteRate(); }));
    connect(AmountEdit, &QLineEdit::returnPressed, this, guarded([this] { saveRate(); }));
    connect(SaveSenderButton, &QPushButton::clicked, this, guarded([this] { saveSender(); }));
    connect(SaveClientButton, &QPushButton::clicked, this, guarded([this] { saveClient(); }));
    connect(DetailsClientBox, &QComboBox::currentIndexChanged, this,
            guarded([this] { showClientDetails(); }));
    connect(DayHours, &QDoubleSpinBox::valueChanged, this, guarded([this](double hours) {
                WriteSetting(kDayMinutesSetting, QString::number(qRound(hours * 60)));
                emit changed();
            }));
    // A rate chosen in the list fills the boxes, to change or delete it.
    connect(RatesTable, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0 || size_t(row) >= shown_.size()) return;
        const Rate& r = shown_[size_t(row)];
        ClientBox->setCurrentText(r.client);
        ActivityBox->setCurrentIndex(std::max(0, ActivityBox->findData(r.activity)));
        FromDate->setDate(r.from);
        AmountEdit->setText(moneyFigure(r.cents));
        UnitBox->setCurrentIndex(r.daily ? 1 : 0);
    });
    for (QComboBox* box : {ClientBox, ActivityBox, UnitBox, VatBox, DetailsClientBox})
        tellCurrentValue(box);
    showRates();
    showInvoices();
    showClientDetails();
}

void RatesEditor::showRates() {
    shown_ = billing::readRates(DataModule2->ADOConnection1).all();
    RatesTable->setRowCount(int(shown_.size()));
    for (int i = 0; i < int(shown_.size()); ++i) {
        const Rate& r = shown_[size_t(i)];
        RatesTable->setItem(i, 0, cell(r.client));
        RatesTable->setItem(i, 1,
                            cell(r.activity.isEmpty() ? QStringLiteral("(toutes)") : r.activity));
        RatesTable->setItem(i, 2, cell(regional::dateToText(r.from)));
        RatesTable->setItem(i, 3, cell(rateText(r), true));
    }
}

void RatesEditor::showInvoices() {
    const auto book = billing::invoices(DataModule2->ADOConnection1);
    InvoicesTable->setRowCount(int(book.size()));
    for (int i = 0; i < int(book.size()); ++i) {
        const Invoice& inv = book[size_t(i)];
        InvoicesTable->setItem(i, 0, cell(QString::number(inv.number), true));
        InvoicesTable->setItem(i, 1, cell(regional::dateToText(inv.issued)));
        InvoicesTable->setItem(i, 2, cell(inv.client));
        InvoicesTable->setItem(
            i, 3,
            cell(QStringLiteral("du %1 au %2")
                     .arg(regional::dateToText(inv.from), regional::dateToText(inv.to))));
        InvoicesTable->setItem(i, 4, cell(moneyText(inv.totalCents), true));
        InvoicesTable->setItem(i, 5, cell(inv.file));
    }
}

void RatesEditor::showClientDetails() {
    const auto d =
        billing::readClientDetails(DataModule2->ADOConnection1, DetailsClientBox->currentText());
    ClientAddressEdit->setPlainText(d ? d->address : QString());
    ClientReferenceEdit->setText(d ? d->reference : QString());
}

bool RatesEditor::saveRate() {
    if (ClientBox->currentText().isEmpty()) {
        messageBoxes().inform(QStringLiteral("Choisissez d'abord un client."));
        ClientBox->setFocus();
        return false;
    }
    QString why;
    const auto cents = parseMoney(AmountEdit->text(), &why);
    if (!cents) {
        messageBoxes().inform(QStringLiteral("Tarif refusé : %1.").arg(why));
        AmountEdit->setFocus();
        AmountEdit->selectAll();
        return false;
    }
    const Rate r{ClientBox->currentText(), ActivityBox->currentData().toString(), FromDate->date(),
                 *cents, UnitBox->currentData().toBool()};
    billing::saveRate(DataModule2->ADOConnection1, r);
    showRates();
    for (int i = 0; i < int(shown_.size()); ++i)
        if (shown_[size_t(i)] == r) RatesTable->selectRow(i);
    emit changed();
    return true;
}

void RatesEditor::deleteRate() {
    const int row = RatesTable->currentRow();
    if (row < 0 || size_t(row) >= shown_.size()) return;
    const Rate r = shown_[size_t(row)];
    if (!messageBoxes().confirm(QStringLiteral("Supprimer le tarif de « %1 » à partir du %2 ?")
                                    .arg(r.client, regional::dateToText(r.from))))
        return;
    billing::deleteRate(DataModule2->ADOConnection1, r);
    showRates();
    emit changed();
}

void RatesEditor::saveSender() {
    SenderDetails me;
    me.name = NameEdit->text().trimmed();
    me.address = AddressEdit->toPlainText().trimmed();
    me.siret = SiretEdit->text().trimmed();
    me.vatNumber = VatNumberEdit->text().trimmed();
    me.mentions = MentionsEdit->toPlainText().trimmed();
    const int vat = VatBox->currentData().toInt();
    if (vat >= 0) me.vatBasisPoints = vat;
    me.save();
    emit changed();
}

void RatesEditor::saveClient() {
    if (DetailsClientBox->currentText().isEmpty()) return;
    billing::saveClientDetails(
        DataModule2->ADOConnection1,
        {DetailsClientBox->currentText(), ClientAddressEdit->toPlainText().trimmed(),
         ClientReferenceEdit->text().trimmed()});
}

}  // namespace tavix

#include "reference/ListEditor.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>

#include "controls/ColorButton.h"
#include "controls/DBNavigator.h"
#include "controls/DataSource.h"
#include "controls/ReloadOffer.h"
#include "data/Unit2.h"
#include "controls/KeyboardAccess.h"
#include "data/engine/TableDataset.h"
#include "platform/Services.h"

namespace tavix {

TListEditor::TListEditor(const QString& objectName, const QString& title, db::TableDataset* dataSet,
                         const QList<TDBGrid::Column>& columns, Names names, QWidget* parent)
    : QDialog(parent), names_(std::move(names)) {
    const QString& sortField = names_.nameField;
    setObjectName(objectName);
    setWindowTitle(QStringLiteral("Tavix"));
    setAttribute(Qt::WA_DeleteOnClose, false);  // the caller owns it
    setFixedSize(658, 462);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    returnFocusOnClose(this);

    DataSource1 = new TDataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));

    // The band across the top: a picture and the title in red.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette black = Panel1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel1->setPalette(black);
    Panel1->setGeometry(0, 0, 658, 65);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/header.png")));
    Image1->setScaledContents(true);
    Image1->setGeometry(8, 8, 81, 81);
    Label1 = new QLabel(title, Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(27);
    Label1->setFont(big);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);
    Label1->move(104, 16);
    Label1->adjustSize();

    DBGrid1 = new TDBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    QFont cells = font();
    cells.setPixelSize(13);
    DBGrid1->setFont(cells);
    DBGrid1->setGeometry(8, 104, 625, 233);
    DBGrid1->setShowTitles(false);
    DBGrid1->setShowIndicator(true);
    DBGrid1->setAccessibleName(title);
    DBGrid1->setColumns(columns);
    DBGrid1->setDataSource(DataSource1);
    DBGrid1->setTypedCheck(
        [this](const QString& field, const QString& shown, const QString& typed) {
            return field.compare(names_.nameField, Qt::CaseInsensitive) == 0
                       ? askRename(field, shown, typed)
                       : TDBGrid::Typed::Take;
        });

    DBNavigator1 = new TDBNavigator(this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(8, 344, 620, 18);
    DBNavigator1->setDataSource(DataSource1);

    ColorButton2 = new TColorButton(this);
    ColorButton2->setObjectName(QStringLiteral("ColorButton2"));
    ColorButton2->setText(QStringLiteral("&Valider et fermer"));
    applyColorSet(*ColorButton2, plainSet());
    ColorButton2->setGeometry(480, 374, 153, 33);

    // Names in dictionary order. A row left pending by an earlier editor
    // keeps the order it was read in rather than being posted here.
    if (dataSet && dataSet->active() && dataSet->state() == db::TableDataset::State::Browse &&
        dataSet->sort() != sortField)
        runGuarded([&] {
            dataSet->setSort(sortField);
            dataSet->first();
        });
    DataSource1->setDataSet(dataSet);
    setTabOrder(DBGrid1, DBNavigator1);
    setTabOrder(DBNavigator1, ColorButton2);
    DBGrid1->setFocus();

    connect(ColorButton2, &QPushButton::clicked, this, guarded([this] { ColorButton2Click(); }));
}

void TListEditor::ColorButton2Click() {
    DBNavigator1->btnClick(TDBNavigator::Button::Refresh);
    close();
}

TDBGrid::Typed TListEditor::askRename(const QString& field, const QString& oldName,
                                      const QString& newName) {
    db::TableDataset* ds = DataSource1->dataSet();
    if (!ds || !DataModule2) return TDBGrid::Typed::Take;
    // A name that was empty had nothing to lose.
    if (oldName.trimmed().isEmpty()) return TDBGrid::Typed::Take;
    const qint64 used = DataModule2->CountEntriesNaming(names_.logColumn, oldName);
    QString text =
        QStringLiteral("Renommer %1 « %2 » en « %3 » ?\n").arg(names_.noun, oldName, newName);
    QStringList answers{QStringLiteral("Annuler")};
    if (used == 0) {
        text += QStringLiteral("Aucune entrée ne porte ce nom.");
        answers << QStringLiteral("Renommer");
    } else if (used == 1) {
        text += QStringLiteral(
            "1 entrée porte ce nom : elle le garde, sauf si vous la renommez "
            "aussi.");
        answers << QStringLiteral("Renommer sans l'entrée")
                << QStringLiteral("Renommer aussi l'entrée");
    } else {
        text += QStringLiteral(
                    "%1 entrées portent ce nom : elles le gardent, sauf si vous les "
                    "renommez aussi.")
                    .arg(used);
        answers << QStringLiteral("Renommer sans les entrées")
                << QStringLiteral("Renommer aussi les %1 entrées").arg(used);
    }
    const int answer = messageBoxes().choose(text, answers);
    if (answer <= 0) return TDBGrid::Typed::Drop;
    // Stored at once: the entries follow only a name that was stored. A
    // rename that could not be stored leaves the row as it was, so that the
    // next try asks again.
    ds->setFieldText(field, newName);
    try {
        db::postOrOfferReload(*ds);
    } catch (...) {
        if (ds->state() != db::TableDataset::State::Browse) ds->setFieldText(field, oldName);
        throw;
    }
    if (ds->state() != db::TableDataset::State::Browse) {
        ds->setFieldText(field, oldName);
        return TDBGrid::Typed::Drop;
    }
    if (answer == 2) DataModule2->RenameInLog(names_.logColumn, oldName, newName);
    return TDBGrid::Typed::Done;
}

void TListEditor::FormClose() {
    // Nothing is posted here: a row still being edited stays pending in the
    // data module's dataset. The caller frees the window.
}

void TListEditor::closeEvent(QCloseEvent* event) {
    runGuarded([this] { FormClose(); });
    QDialog::closeEvent(event);
}

}  // namespace tavix

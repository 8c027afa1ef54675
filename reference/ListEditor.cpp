#include "reference/ListEditor.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>

#include "controls/ColorButton.h"
#include "controls/DBNavigator.h"
#include "controls/DataSource.h"
#include "controls/KeyboardAccess.h"
#include "data/engine/TableDataset.h"
#include "platform/Services.h"

namespace tavix {

TListEditor::TListEditor(const QString& objectName, const QString& title, db::TableDataset* dataSet,
                         const QList<TDBGrid::Column>& columns, const QString& sortField,
                         QWidget* parent)
    : QDialog(parent) {
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

void TListEditor::FormClose() {
    // Nothing is posted here: a row still being edited stays pending in the
    // data module's dataset. The caller frees the window.
}

void TListEditor::closeEvent(QCloseEvent* event) {
    runGuarded([this] { FormClose(); });
    QDialog::closeEvent(event);
}

}  // namespace tavix

#include "reference/Unit11.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/ColorButton.h"
#include "controls/KeyboardAccess.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "data/engine/Quoting.h"
#include "platform/Announce.h"
#include "platform/Services.h"

namespace tavix {

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form11"));
    setWindowTitle(QStringLiteral("Client non sélectionné"));
    setAttribute(Qt::WA_DeleteOnClose, false);  // the caller reads the results, then frees it
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    resize(360, 420);

    RadioGroup1 = new TRadioGroup(QStringLiteral("Clients / dossiers"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Label1 = new QLabel(QStringLiteral("Nouveau client"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(255);
    Label1->setBuddy(Edit1);
    ColorButton1 = new TColorButton(Panel1);
    ColorButton1->setObjectName(QStringLiteral("ColorButton1"));
    ColorButton1->setText(QStringLiteral("&Valider"));
    ColorButton1->setBorderColor(clBlack);
    // A name typed, or a client picked, is taken with Enter.
    ColorButton1->setDefault(true);
    ColorButton2 = new TColorButton(Panel1);
    ColorButton2->setObjectName(QStringLiteral("ColorButton2"));
    ColorButton2->setText(QStringLiteral("&Fermer"));
    ColorButton2->setBorderColor(clBlack);

    auto* bottom = new QVBoxLayout(Panel1);
    auto* entry = new QHBoxLayout;
    entry->addWidget(Label1);
    entry->addWidget(Edit1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ColorButton1);
    buttons->addWidget(ColorButton2);
    bottom->addLayout(entry);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup1, 1);
    layout->addWidget(Panel1);

    connect(ColorButton1, &QPushButton::clicked, this, guarded([this] { ColorButton1Click(); }));
    connect(ColorButton2, &QPushButton::clicked, this, guarded([this] { ColorButton2Click(); }));
    returnFocusOnClose(this);
}

void TForm11::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    runGuarded([this] { FormActivate(); });
}

void TForm11::FormActivate() {
    DataModule2->FillClients(*RadioGroup1);
    RadioGroup1->setItemIndex(-1);
    ClientAdded = false;
    // The clients, made now, come first as they are seen: above the new
    // name and the buttons; the focus starts on the first of them.
    QWidget* previous = nullptr;
    for (int i = 0; i < RadioGroup1->count(); ++i) {
        if (previous) setTabOrder(previous, RadioGroup1->button(i));
        previous = RadioGroup1->button(i);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1, ColorButton1, ColorButton2}) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    // Once the radio buttons, added to a shown window, are shown themselves.
    QTimer::singleShot(0, this, [this] {
        QWidget* first = RadioGroup1->count() > 0 ? static_cast<QWidget*>(RadioGroup1->button(0))
                                                  : static_cast<QWidget*>(Edit1);
        first->setFocus(Qt::TabFocusReason);
    });
}

void TForm11::ColorButton1Click() {
    if (RadioGroup1->itemIndex() >= 0) {
        ChosenClient = RadioGroup1->selectedText();
        accept();
        return;
    }
    const QString name = Edit1->text();
    if (name.isEmpty()) {
        // Said, then back where the choice is made.
        messageBoxes().inform(QStringLiteral(
            "Choisissez un client dans la liste ou tapez le nom d'un nouveau client."));
        QWidget* first = RadioGroup1->count() > 0 ? static_cast<QWidget*>(RadioGroup1->button(0))
                                                  : static_cast<QWidget*>(Edit1);
        first->setFocus(Qt::OtherFocusReason);
        return;
    }
    db::Query& query = DataModule2->ADOQuery1;
    query.clear();
    query.add(QStringLiteral("select * from clients where NOM=") + db::quoted(name));
    query.open();
    if (query.bof() && query.eof()) {
        query.close();
        query.clear();
        query.add(QStringLiteral("INSERT INTO clients (NOM) SELECT ") + db::quoted(name));
        query.execute();
        ClientAdded = true;
        ChosenClient = name;
        // Said in the window that opened the chooser, which stays.
        announce(parentWidget() ? parentWidget() : this,
                 QStringLiteral("Client « %1 » ajouté").arg(name));
        accept();
    }
    // An existing name: the list already offers it.
}

void TForm11::ColorButton2Click() { reject(); }

}  // namespace tavix

// The data module's parts that build widgets: the client list's radio
// buttons and the activity buttons, made from the tables.
#include <QWidget>
#include <utility>

#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "data/engine/Collation.h"
#include "platform/Error.h"
#include "platform/Services.h"
#include "settings/Colors.h"
#include "settings/outils.h"

namespace tavix {

namespace {
// The activity buttons' colour from its setting; `fallback` when blank.
TColor buttonColor(const QString& setting, TColor fallback, std::exception_ptr& error) {
    const QString text = ReadSetting(setting);
    if (text.trimmed().isEmpty()) return fallback;
    // A colour that cannot be read gives the default; its error is kept for
    // the caller to tell once.
    try {
        return StringToColor(text);
    } catch (const Error&) {
        if (!error) error = std::current_exception();
        return fallback;
    }
}
}  // namespace

void TDataModule2::FillClients(TRadioGroup& group) {
    ADOQuery1.clear();
    ADOQuery1.add(QStringLiteral("select * from clients ORDER BY ") +
                  db::collated(QStringLiteral("NOM")));
    ADOQuery1.open();
    while (!ADOQuery1.eof()) {
        group.addItem(ADOQuery1.asString(QStringLiteral("NOM")));
        ADOQuery1.next();
    }
    ADOQuery1.close();
}

quint16 TDataModule2::CreateActivityButtons(QWidget* panel, int firstTop, int left, int height,
                                            int width, const ClickHandler& onClick) {
    colourError_ = nullptr;
    ADOQuery1.clear();
    ADOQuery1.add(QStringLiteral("select ID, TRAVAUX from travaux ORDER BY ORDRE"));
    ADOQuery1.open();
    int top = firstTop;
    quint16 count = 0;
    while (!ADOQuery1.eof()) {
        const QString label = ADOQuery1.asString(QStringLiteral("TRAVAUX"));
        const int id = ADOQuery1.asInteger(QStringLiteral("ID"));
        CreateActivityButton(panel, id, label, left, top, height, width, onClick);
        ++count;
        top += height + 10;
        ADOQuery1.next();
    }
    ADOQuery1.close();
    // A bad colour setting is told once, after every button has been made.
    if (colourError_) reportException(std::exchange(colourError_, nullptr));
    return count;
}

void TDataModule2::CreateActivityButton(QWidget* panel, int id, const QString& label, int left,
                                        int top, int height, int width,
                                        const ClickHandler& onClick) {
    auto* button = new TColorButton(panel);
    button->setObjectName(QStringLiteral("BP_") + QString::number(id));
    button->setGeometry(left, top, width, height);
    button->setText(literalCaption(label));
    button->setVisible(true);
    if (onClick) {
        QObject::connect(button, &QPushButton::clicked, button,
                         guarded([button, onClick] { onClick(button); }));
    }
    const TColor back = buttonColor(QStringLiteral("couleur fond"), clSkyBlue, colourError_);
    const TColor fore = buttonColor(QStringLiteral("couleur texte"), clBlack, colourError_);
    button->setBackColor(back);
    button->setForeColor(fore);
    button->setBorderColor(clHotLight);
    button->setHoverColor(clSilver);
    button->setTag(0);
    ActivityButtons.append(button);
}

void TDataModule2::LockOtherButtons(const QString& name) {
    for (const auto& button : ActivityButtons)
        if (button) button->setEnabled(button->objectName() == name);
}

void TDataModule2::HideActivityButtons() {
    for (const auto& button : ActivityButtons)
        if (button) button->setVisible(false);
}

void TDataModule2::ShowActivityButtons() {
    for (const auto& button : ActivityButtons)
        if (button) button->setVisible(true);
}

void TDataModule2::UnlockButtons() {
    for (const auto& button : ActivityButtons)
        if (button) button->setEnabled(true);
}

}  // namespace tavix

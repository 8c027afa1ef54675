#include "settings/ui/AwaySetting.h"

#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include "platform/Idle.h"
#include "settings/outils.h"

namespace tavix {

AwaySetting::AwaySetting(QWidget* parent) : QGroupBox(QStringLiteral("Absence"), parent) {
    setObjectName(QStringLiteral("AwaySetting"));
    Minutes = new QSpinBox(this);
    Minutes->setObjectName(QStringLiteral("AwayMinutes"));
    Minutes->setRange(0, 24 * 60);
    Minutes->setValue(kDefaultAwayMinutes);
    Minutes->setAccessibleName(QStringLiteral("Absence après … minutes"));
    Minutes->setToolTip(QStringLiteral("0 : ne jamais demander"));
    auto* before = new QLabel(QStringLiteral("Absence &après"), this);
    before->setBuddy(Minutes);
    auto* after = new QLabel(QStringLiteral("minutes"), this);
    NoIdleNote = new QLabel(
        QStringLiteral("Le bureau ne donne pas le temps d'inactivité : seules les mises en "
                       "veille sont remarquées."),
        this);
    NoIdleNote->setObjectName(QStringLiteral("NoIdleNote"));
    NoIdleNote->setWordWrap(true);
    NoIdleNote->hide();
    auto* grid = new QGridLayout(this);
    grid->addWidget(before, 0, 0);
    grid->addWidget(Minutes, 0, 1);
    grid->addWidget(after, 0, 2);
    grid->setColumnStretch(3, 1);
    grid->addWidget(NoIdleNote, 1, 0, 1, 4);
}

void AwaySetting::load() {
    NoIdleNote->setVisible(!idleSource().idleMs().has_value());
    Minutes->setValue(ReadAwayMinutes());
}

void AwaySetting::save() const {
    WriteSetting(QStringLiteral("absence"), QString::number(Minutes->value()));
}

}  // namespace tavix

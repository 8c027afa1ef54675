#include "settings/ui/FormParts.h"

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace tavix {

void hideAsStars(QLineEdit& edit) {
    edit.setEchoMode(QLineEdit::Password);
    // The style would pick its own bullet; 42 is '*'.
    edit.setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void paintWhite(QWidget& widget) {
    widget.setAutoFillBackground(true);
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Window, Qt::white);
    widget.setPalette(pal);
}

}  // namespace tavix

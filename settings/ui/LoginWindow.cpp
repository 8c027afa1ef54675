#include "settings/ui/LoginWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "controls/ColorButton.h"
#include "platform/Services.h"
#include "settings/md5.h"
#include "settings/outils.h"
#include "settings/ui/FormParts.h"

namespace tavix {

LoginWindow::LoginWindow(const QString& caption, QWidget* parent) : QDialog(parent) {
    setWindowTitle(caption);
    // A caption bar without any button, not even the system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    paintWhite(*this);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    hideAsStars(*Edit2);
    Label1 = new QLabel(QStringLiteral("Nom d'utilisateur"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setBuddy(Edit1);
    Label2 = new QLabel(QStringLiteral("Mot de passe"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setBuddy(Edit2);
    Button1 = new TColorButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setText(QStringLiteral("&Lancer"));
    applyColorSet(*Button1, silverSet());
    Button1->setMinimumSize(97, 30);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(Button1, 2, 1, Qt::AlignRight);
    grid->setColumnMinimumWidth(1, 180);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Button1);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
}

bool LoginWindow::Matches(const QString& user, const QString& password) {
    const QString pwd = ReadSetting(QStringLiteral("pwd"));
    // Such a password could only match the digest of its '?' stand-ins.
    if (!NotInWindows1252(password).isEmpty()) return false;
    const QString typedDigest = password.isEmpty() ? QString() : DigestHex(password);
    return user == ReadSetting(QStringLiteral("user")) && typedDigest == pwd;
}

void LoginWindow::Button1Click() {
    if (Matches(Edit1->text(), Edit2->text())) {
        success();
        return;
    }
    ++FailedAttempts;
    failure();
}

void LoginWindow::finish(int result) {
    mayClose_ = true;
    done(result);
}

void LoginWindow::reject() {
    // Escape: only finish() closes the window.
    if (mayClose_) QDialog::reject();
}

void LoginWindow::closeEvent(QCloseEvent* event) {
    if (mayClose_)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter in either box tries the code, as the button does; the focus stays.
    if ((watched == Edit1 || watched == Edit2) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            runGuarded([this] { Button1Click(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tavix

#include "platform/Services.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include "platform/Application.h"
#include "platform/Error.h"

namespace tavix {

namespace {

class SystemClock : public Clock {
public:
    DateTime now() const override {
        const QDateTime local = QDateTime::currentDateTime();
        return DateTime(local.date(), local.time());
    }
};

class WidgetMessageBoxes : public MessageBoxes {
public:
    bool confirm(const QString& text) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text);
        QPushButton* yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    }
    bool confirmOkCancel(const QString& text) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text);
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == ok;
    }
    void inform(const QString& text) override { show(QMessageBox::NoIcon, text); }
    void error(const QString& text) override { show(QMessageBox::Critical, text); }

private:
    static void show(QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, application::title(), text);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
    }
};

class DesktopShell : public Shell {
public:
    bool openDocument(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    bool startProgram(const QString& path) override { return QProcess::startDetached(path, {}); }
};

class ExecRunner : public ModalRunner {
public:
    int exec(QDialog& dialog) override { return dialog.exec(); }
};

template <class T, class Default>
struct Slot {
    Default fallback;
    T* current = nullptr;
    T& get() { return current ? *current : fallback; }
};

Slot<Clock, SystemClock> gClock;
Slot<MessageBoxes, WidgetMessageBoxes> gBoxes;
Slot<Shell, DesktopShell> gShell;
Slot<ModalRunner, ExecRunner> gRunner;

}  // namespace

Clock& clock() { return gClock.get(); }
MessageBoxes& messageBoxes() { return gBoxes.get(); }
Shell& shell() { return gShell.get(); }
ModalRunner& modalRunner() { return gRunner.get(); }

void setClock(Clock* replacement) { gClock.current = replacement; }
void setMessageBoxes(MessageBoxes* replacement) { gBoxes.current = replacement; }
void setShell(Shell* replacement) { gShell.current = replacement; }
void setModalRunner(ModalRunner* replacement) { gRunner.current = replacement; }

void reportException(std::exception_ptr error) noexcept {
    try {
        QString message;
        try {
            std::rethrow_exception(error);
        } catch (const Error& e) {
            message = e.message();
        } catch (const std::exception& e) {
            message = QString::fromUtf8(e.what());
        } catch (...) {
            message = QStringLiteral("Erreur inconnue");
        }
        messageBoxes().error(withFullStop(message));
    } catch (...) {
        // The error box itself failed: nothing more can be shown.
    }
}

}  // namespace tavix

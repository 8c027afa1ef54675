#include "platform/Services.h"

#include <QApplication>
#include <QColorDialog>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/HelpWindow.h"

namespace tavix {

namespace {

class SystemClock : public Clock {
public:
    DateTime now() const override {
        const QDateTime local = QDateTime::currentDateTime();
        return DateTime(local.date(), local.time());
    }
    qint64 monotonicMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    qint64 bootMs() const override {
#ifdef CLOCK_BOOTTIME
        timespec ts{};
        if (::clock_gettime(CLOCK_BOOTTIME, &ts) == 0)
            return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
#endif
        return monotonicMs();
    }
};

// Without a window manager to do it, the window a dialog came from stays
// inactive once the dialog closes: its mnemonics and menu keys then do
// nothing, and a screen reader finds no active window. It gets it back.
class ActivationReturn {
public:
    explicit ActivationReturn(QWidget* parent)
        : window_(parent ? parent->window() : QApplication::activeWindow()) {}
    ~ActivationReturn() {
        if (!window_ || !window_->isVisible() || QApplication::activeWindow() == window_) return;
        window_->activateWindow();
        window_->raise();
    }
    ActivationReturn(const ActivationReturn&) = delete;
    ActivationReturn& operator=(const ActivationReturn&) = delete;

private:
    QPointer<QWidget> window_;
};

class WidgetMessageBoxes : public MessageBoxes {
public:
    bool confirm(const QString& text) override { return question(text, false, true); }
    bool confirmOkCancel(const QString& text) override { return question(text, true, true); }
    bool confirmDestructive(const QString& text) override { return question(text, false, false); }
    bool confirmOkCancelDestructive(const QString& text) override {
        return question(text, true, false);
    }
    Answer ask(const QString& text) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text);
        QPushButton* yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);
        const ActivationReturn back(nullptr);
        box.exec();
        if (box.clickedButton() == yes) return Answer::Yes;
        if (box.clickedButton() == no) return Answer::No;
        return Answer::Cancel;
    }
    int choose(const QString& text, const QStringList& answers) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text);
        QList<QPushButton*> buttons;
        for (const QString& answer : answers)
            buttons.append(box.addButton(answer, QMessageBox::ActionRole));
        if (!buttons.isEmpty()) {
            box.setDefaultButton(buttons.first());
            box.setEscapeButton(buttons.first());
        }
        const ActivationReturn back(nullptr);
        box.exec();
        return std::max<int>(0, static_cast<int>(buttons.indexOf(box.clickedButton())));
    }
    void inform(const QString& text) override { show(QMessageBox::NoIcon, text); }
    void error(const QString& text) override { show(QMessageBox::Critical, text); }

private:
    static bool question(const QString& text, bool okCancel, bool yesIsDefault) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text);
        QPushButton* yes = okCancel ? box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole)
                                    : box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        QPushButton* no = okCancel
                              ? box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole)
                              : box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        box.setDefaultButton(yesIsDefault ? yes : no);
        box.setEscapeButton(no);
        const ActivationReturn back(nullptr);
        box.exec();
        return box.clickedButton() == yes;
    }
    static void show(QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, application::title(), text);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        const ActivationReturn back(nullptr);
        box.exec();
    }
};

class DesktopShell : public Shell {
public:
    bool openDocument(const QString& path) override {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
        // No browser to launch: the help pages open in the program itself.
        if (isPage(path) && showHelpWindow(path)) return true;
        messageBoxes().inform(
            QStringLiteral("Impossible d'ouvrir « %1 » : aucun programme du bureau ne l'ouvre%2.")
                .arg(QDir::toNativeSeparators(path),
                     QFileInfo::exists(path) ? QString()
                                             : QStringLiteral(", et le fichier est absent")));
        return false;
    }
    bool startProgram(const QString& path) override { return QProcess::startDetached(path, {}); }

private:
    static bool isPage(const QString& path) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
    }
};

class ExecRunner : public ModalRunner {
public:
    int exec(QDialog& dialog) override { return dialog.exec(); }
};

// The file dialog's dates in the program's (French) form: the toolkit
// writes them in the system's.
class FrenchDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role == Qt::DisplayRole && files && index.column() == 3)
            return QLocale().toString(files->lastModified(mapToSource(index)),
                                      QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }
};

class DialogFilePicker : public FilePicker {
public:
    QString chooseFile(QWidget* parent, const FileRequest& request) override {
        QFileDialog dialog(parent);
        // The toolkit's own dialog speaks French; the desktop's may not.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setProxyModel(new FrenchDates(&dialog));
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist && !request.save ? QFileDialog::ExistingFile
                                                              : QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, request.save);
        dialog.setNameFilter(request.filter);
        dialog.setDefaultSuffix(request.defaultSuffix);
        // A wildcard as the initial name only repeats the filter: leave the
        // name box empty then.
        if (!request.initialName.contains(u'*')) dialog.selectFile(request.initialName);
        const ActivationReturn back(parent);
        if (dialog.exec() != QDialog::Accepted) return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : files.first();
    }
};

class DialogColorPicker : public ColorPicker {
public:
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override {
        QColorDialog dialog(initial, parent);
        // The toolkit's own dialog speaks French; the desktop's may not.
        dialog.setOption(QColorDialog::DontUseNativeDialog);
        const ActivationReturn back(parent);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.selectedColor();
    }
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
Slot<FilePicker, DialogFilePicker> gFiles;
Slot<ColorPicker, DialogColorPicker> gColors;

}  // namespace

Clock& clock() { return gClock.get(); }
MessageBoxes& messageBoxes() { return gBoxes.get(); }
Shell& shell() { return gShell.get(); }
ModalRunner& modalRunner() { return gRunner.get(); }
FilePicker& filePicker() { return gFiles.get(); }
ColorPicker& colorPicker() { return gColors.get(); }

void setClock(Clock* replacement) { gClock.current = replacement; }
void setMessageBoxes(MessageBoxes* replacement) { gBoxes.current = replacement; }
void setShell(Shell* replacement) { gShell.current = replacement; }
void setModalRunner(ModalRunner* replacement) { gRunner.current = replacement; }
void setFilePicker(FilePicker* replacement) { gFiles.current = replacement; }
void setColorPicker(ColorPicker* replacement) { gColors.current = replacement; }

void reportException(std::exception_ptr error) noexcept {
    try {
        QString message;
        try {
            std::rethrow_exception(error);
        } catch (const AbortError&) {
            return;
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

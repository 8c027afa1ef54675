#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/DateTime.h"

class QDialog;
class QWidget;

namespace tavix {

// The seams between the program and its surroundings. Each has a default
// implementation; tests install their own with the setters (nullptr puts the
// default back).

class Clock {
public:
    virtual ~Clock() = default;
    // Local wall-clock date and time, naive.
    virtual DateTime now() const = 0;
    // Milliseconds from an arbitrary origin on a clock that only moves
    // forward: not set back or forward with the wall clock.
    virtual qint64 monotonicMs() const = 0;
    // Milliseconds from an arbitrary origin on a clock that counts the time
    // the machine slept too, and is never set: ahead of the monotonic clock
    // by exactly the sleeps. Where the system has none, the monotonic clock.
    virtual qint64 bootMs() const { return monotonicMs(); }
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // "Confirmation" box, question icon, "&Oui" (default) and "&Non";
    // Escape answers "&Non". True only for "&Oui".
    virtual bool confirm(const QString& text) = 0;
    // "Confirmation" box, question icon, "OK" (default) and "Annuler";
    // Escape answers "Annuler". True only for "OK".
    virtual bool confirmOkCancel(const QString& text) = 0;
    // As confirm() and confirmOkCancel(), but for a question whose yes
    // destroys data: "&Non" (or "Annuler") is the default, so a stray Enter
    // keeps the data.
    virtual bool confirmDestructive(const QString& text) = 0;
    virtual bool confirmOkCancelDestructive(const QString& text) = 0;
    // "Confirmation" box, question icon, "&Oui" (default), "&Non" and
    // "Annuler"; Escape, the close box and a box closed unanswered (the
    // program ending) answer "Annuler".
    enum class Answer { Yes, No, Cancel };
    virtual Answer ask(const QString& text) = 0;
    // "Confirmation" box, question icon, one button per answer in this order;
    // the first is the default and Escape answers it too. The index of the
    // answer given.
    virtual int choose(const QString& text, const QStringList& answers) = 0;
    // Plain message captioned with the application title, one "OK".
    virtual void inform(const QString& text) = 0;
    // The default error handler's box: application title, error icon, "OK".
    virtual void error(const QString& text) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a document with the desktop's default application.
    virtual bool openDocument(const QString& path) = 0;
    // Starts a program again, detached, without arguments.
    virtual bool startProgram(const QString& path) = 0;
};

class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    // Shows the dialog modally and returns its result.
    virtual int exec(QDialog& dialog) = 0;
};

// The toolkit's file dialog, asking for one file to open or to save.
struct FileRequest {
    QString filter;         // e.g. "*.mdb"
    QString defaultSuffix;  // added to a name typed without one
    QString initialName;    // the name the dialog opens with
    bool mustExist = true;  // false: a name that does not exist yet is accepted
    // A file to write: the dialog's save mode; replacing an existing file is
    // the caller's question to ask.
    bool save = false;
};

class FilePicker {
public:
    virtual ~FilePicker() = default;
    // The chosen file's full path; empty when the user cancels.
    virtual QString chooseFile(QWidget* parent, const FileRequest& request) = 0;
};

class ColorPicker {
public:
    virtual ~ColorPicker() = default;
    // Opens on `initial`; the confirmed colour, nothing when the user cancels.
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
};

Clock& clock();
MessageBoxes& messageBoxes();
Shell& shell();
ModalRunner& modalRunner();
FilePicker& filePicker();
ColorPicker& colorPicker();

void setClock(Clock* replacement);
void setMessageBoxes(MessageBoxes* replacement);
void setShell(Shell* replacement);
void setModalRunner(ModalRunner* replacement);
void setFilePicker(FilePicker* replacement);
void setColorPicker(ColorPicker* replacement);

// The application's default error handler: shows the error's message and
// lets the program go on. Never throws.
void reportException(std::exception_ptr error) noexcept;

// Runs f; anything it throws goes to the default error handler, so no
// exception ever crosses Qt's event loop.
template <class F>
void runGuarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportException(std::current_exception());
    }
}

// Wraps a handler for connect(): the returned callable runs it guarded.
// A handler taking no arguments ignores those of the signal.
template <class F>
auto guarded(F f) {
    return [f = std::move(f)](auto&&... args) mutable {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<F&, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

}  // namespace tavix

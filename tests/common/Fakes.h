#pragma once

// Stand-ins for the program's seams (clock, message boxes, shell, modal
// windows, file and colour dialogs), installed for the lifetime of the object.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/Idle.h"
#include "platform/Services.h"
#include "platform/Sleep.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tavix::test {

class FakeClock : public Clock {
public:
    explicit FakeClock(DateTime start = DateTime(QDate(2026, 3, 2), QTime(9, 0)));
    ~FakeClock() override;
    DateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return monotonic_; }
    qint64 bootMs() const override { return boot_; }
    // Sets the wall clock only, as a user or a time server would.
    void set(DateTime value) { now_ = value; }
    // Time passes: every clock moves.
    void advance(qint64 secs) { advanceMs(secs * 1000); }
    void advanceMs(qint64 ms) {
        now_ = now_.addMSecs(ms);
        monotonic_ += ms;
        boot_ += ms;
    }
    // The machine sleeps: the wall and boot-time clocks run on, the
    // monotonic one stands still.
    void sleep(qint64 secs) {
        now_ = now_.addSecs(secs);
        boot_ += secs * 1000;
    }

private:
    DateTime now_;
    qint64 monotonic_ = 1'000'000;
    qint64 boot_ = 5'000'000;
};

// Records every box; confirmations are answered from a script (default: no).
class ScriptedBoxes : public MessageBoxes {
public:
    ScriptedBoxes();
    ~ScriptedBoxes() override;
    bool confirm(const QString& text) override;
    // Answered from the same script; the text is recorded in `confirms`.
    bool confirmOkCancel(const QString& text) override { return confirm(text); }
    // Likewise; the text is also recorded in `destructive`.
    bool confirmDestructive(const QString& text) override {
        destructive.append(text);
        return confirm(text);
    }
    bool confirmOkCancelDestructive(const QString& text) override {
        return confirmDestructive(text);
    }
    // Answered from `askAnswers` first, then from `answers` (true: "&Oui",
    // false: "&Non"); the text is recorded in `confirms`.
    Answer ask(const QString& text) override;
    // Answered from `choices` (none left: the first answer, as Escape would);
    // the text is recorded in `questions`.
    int choose(const QString& text, const QStringList& offered) override;
    void inform(const QString& text) override {
        informs.append(text);
        if (whenShown) whenShown(text);
    }
    void error(const QString& text) override {
        errors.append(text);
        if (whenShown) whenShown(text);
    }

    // Called with the text of every box as it is shown.
    std::function<void(const QString&)> whenShown;

    std::deque<bool> answers;  // consumed front first
    std::deque<Answer> askAnswers;
    std::deque<int> choices;  // indexes of the answers to choose, front first
    QStringList confirms;
    QStringList destructive;  // the questions asked with "&Non" as the default
    QStringList questions;
    QList<QStringList> offers;  // the answers each choose() offered
    QStringList informs;
    QStringList errors;
};

class FakeShell : public Shell {
public:
    FakeShell();
    ~FakeShell() override;
    bool openDocument(const QString& path) override {
        opened.append(path);
        return true;
    }
    bool startProgram(const QString& path) override {
        started.append(path);
        return startResult;
    }
    QStringList opened;
    QStringList started;
    bool startResult = true;
};

// Instead of a modal loop, runs a script against the dialog. The script
// gets the dialog once it is shown (its activation handlers have run) and
// returns the dialog's result; without a script the dialog is rejected.
class ScriptedModals : public ModalRunner {
public:
    using Script = std::function<int(QDialog&)>;
    ScriptedModals();
    ~ScriptedModals() override;
    int exec(QDialog& dialog) override;

    std::deque<Script> scripts;
    QStringList shown;  // class names of the dialogs shown
};

// Answers file dialogs from a script (an empty name, or none left: cancel).
class ScriptedFiles : public FilePicker {
public:
    ScriptedFiles();
    ~ScriptedFiles() override;
    QString chooseFile(QWidget* parent, const FileRequest& request) override;

    std::deque<QString> answers;
    std::vector<FileRequest> requests;
};

// Answers colour dialogs from a script (nullopt, or none left: cancel) and
// records the colour each dialog opened with.
class ScriptedColors : public ColorPicker {
public:
    ScriptedColors();
    ~ScriptedColors() override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;

    std::deque<std::optional<QColor>> answers;
    std::vector<QColor> initials;
};

// The idle time the desktop would tell; nothing: no source answers.
class FakeIdle : public IdleSource {
public:
    FakeIdle();
    ~FakeIdle() override;
    std::optional<qint64> idleMs() override { return ms; }
    std::optional<qint64> ms = 0;
};

// The machine's sleep, told when the test says so.
class FakeSleep : public SleepSource {
public:
    FakeSleep();
    ~FakeSleep() override;
    void sleep() { emit sleeping(); }
    void wake() { emit resumed(); }
};

}  // namespace tavix::test

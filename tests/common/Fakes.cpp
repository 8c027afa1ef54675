#include "common/Fakes.h"

#include <QCoreApplication>

namespace tavix::test {

FakeClock::FakeClock(DateTime start) : now_(start) { setClock(this); }
FakeClock::~FakeClock() { setClock(nullptr); }

ScriptedBoxes::ScriptedBoxes() { setMessageBoxes(this); }
ScriptedBoxes::~ScriptedBoxes() { setMessageBoxes(nullptr); }

bool ScriptedBoxes::confirm(const QString& text) {
    confirms.append(text);
    if (whenShown) whenShown(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

MessageBoxes::Answer ScriptedBoxes::ask(const QString& text) {
    if (askAnswers.empty()) return confirm(text) ? Answer::Yes : Answer::No;
    confirms.append(text);
    if (whenShown) whenShown(text);
    const Answer answer = askAnswers.front();
    askAnswers.pop_front();
    return answer;
}

int ScriptedBoxes::choose(const QString& text, const QStringList& offered) {
    questions.append(text);
    offers.append(offered);
    if (whenShown) whenShown(text);
    if (choices.empty()) return 0;
    const int choice = choices.front();
    choices.pop_front();
    return choice >= 0 && choice < offered.size() ? choice : 0;
}

FakeShell::FakeShell() { setShell(this); }
FakeShell::~FakeShell() { setShell(nullptr); }

ScriptedModals::ScriptedModals() { setModalRunner(this); }
ScriptedModals::~ScriptedModals() { setModalRunner(nullptr); }

int ScriptedModals::exec(QDialog& dialog) {
    shown.append(QString::fromLatin1(dialog.metaObject()->className()));
    dialog.show();
    QCoreApplication::processEvents();
    int result = QDialog::Rejected;
    if (!scripts.empty()) {
        Script script = std::move(scripts.front());
        scripts.pop_front();
        result = script(dialog);
    }
    dialog.hide();
    return result;
}

ScriptedFiles::ScriptedFiles() { setFilePicker(this); }
ScriptedFiles::~ScriptedFiles() { setFilePicker(nullptr); }

QString ScriptedFiles::chooseFile(QWidget* parent, const FileRequest& request) {
    Q_UNUSED(parent);
    requests.push_back(request);
    if (answers.empty()) return {};
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

ScriptedColors::ScriptedColors() { setColorPicker(this); }
ScriptedColors::~ScriptedColors() { setColorPicker(nullptr); }

std::optional<QColor> ScriptedColors::chooseColor(QWidget* parent, const QColor& initial) {
    Q_UNUSED(parent);
    initials.push_back(initial);
    if (answers.empty()) return std::nullopt;
    std::optional<QColor> answer = answers.front();
    answers.pop_front();
    return answer;
}

FakeIdle::FakeIdle() { setIdleSource(this); }
FakeIdle::~FakeIdle() { setIdleSource(nullptr); }

FakeSleep::FakeSleep() { setSleepSource(this); }
FakeSleep::~FakeSleep() { setSleepSource(nullptr); }

}  // namespace tavix::test

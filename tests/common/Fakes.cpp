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

}  // namespace tavix::test

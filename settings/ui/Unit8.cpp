#include "settings/ui/Unit8.h"

#include "platform/Application.h"

namespace tavix {

TForm8::TForm8(QWidget* parent) : LoginWindow(QStringLiteral("Surveillance"), parent) {
    setObjectName(QStringLiteral("Form8"));
}

void TForm8::success() {
    if (QWidget* owner = parentWidget()) {
        owner->show();
        owner->raise();
        owner->activateWindow();
    }
    finish(Accepted);
}

void TForm8::failure() {
    if (FailedAttempts <= kMaxFailures) return;
    // A lock that opened after the last try would guard nothing.
    application::terminate();
    finish(Rejected);
}

}  // namespace tavix

#include "settings/ui/Unit9.h"

#include "platform/Application.h"
#include "platform/Services.h"
#include "settings/ui/Unit7.h"

namespace tavix {

TForm9::TForm9(std::function<void()> restartOffer, QWidget* parent)
    : LoginWindow(QStringLiteral("Tavix"), parent), restartOffer_(std::move(restartOffer)) {
    setObjectName(QStringLiteral("Form9"));
}

void TForm9::showEvent(QShowEvent* event) {
    LoginWindow::showEvent(event);
    runGuarded([this] { FormActivate(); });
}

void TForm9::FormActivate() { FailedAttempts = 0; }

void TForm9::success() {
    {
        TForm7 settings(this);
        modalRunner().exec(settings);
    }
    finish(Accepted);
    if (restartOffer_) restartOffer_();
}

void TForm9::failure() {
    if (FailedAttempts <= kMaxFailures) return;
    application::terminate();
    finish(Rejected);
}

}  // namespace tavix

#pragma once

#include <functional>

#include "settings/ui/LoginWindow.h"

namespace tavix {

// The settings login, used instead of the settings window when the settings
// are locked. A success opens the settings window and then offers the
// restart, whatever the settings window's result; the fourth failure ends
// the program without asking.
class TForm9 : public LoginWindow {
    Q_OBJECT
public:
    // `restartOffer` is the tracking window's restart question.
    explicit TForm9(std::function<void()> restartOffer, QWidget* parent = nullptr);

    void FormActivate();

protected:
    void success() override;
    void failure() override;
    void showEvent(QShowEvent* event) override;

private:
    std::function<void()> restartOffer_;
};

}  // namespace tavix

#pragma once

#include "settings/ui/LoginWindow.h"

namespace tavix {

// The start-up login, asked before the tracking window can be used when an
// access code is stored and the settings are not the ones locked. A success
// brings the tracking window (the parent) forward; the fourth failure ends
// the program.
class TForm8 : public LoginWindow {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);

protected:
    void success() override;
    void failure() override;
};

}  // namespace tavix

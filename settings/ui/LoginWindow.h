#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace tavix {

class TColorButton;

// What the two login windows share: a user name and a password checked
// against the stored access code, and a count of failed attempts. The
// window has no caption buttons and closes only through finish(): Escape,
// Alt+F4 and the window manager's close request are refused, so the check
// cannot be walked around.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    LoginWindow(const QString& caption, QWidget* parent);

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    TColorButton* Button1;  // "&Lancer"

    int FailedAttempts = 0;

    // Compares the typed user name and the digest of the typed password with
    // the stored ones, exactly (an empty password stands for an empty digest).
    static bool Matches(const QString& user, const QString& password);

    // The attempt in the boxes: success() or failure() of the window.
    void Button1Click();

    // Failures after which the window gives up.
    static constexpr int kMaxFailures = 3;

    void reject() override;

protected:
    virtual void success() = 0;
    virtual void failure() = 0;
    // Closes the window with the result; the only way it closes.
    void finish(int result);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mayClose_ = false;
};

}  // namespace tavix

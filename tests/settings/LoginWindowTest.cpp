#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include "common/Fakes.h"
#include "controls/ColorButton.h"
#include "platform/Application.h"
#include "settings/md5.h"
#include "settings/outils.h"
#include "settings/ui/Unit7.h"
#include "settings/ui/Unit8.h"
#include "settings/ui/Unit9.h"

using namespace tavix;

namespace {

QSettings settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX");
}

class LoginWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().clear();
        WriteSetting("user", "Poste1");
        WriteSetting("pwd", DigestHex("secret"));
    }

    static void show(LoginWindow& w) {
        w.show();
        QApplication::processEvents();
    }
    static void attempt(LoginWindow& w, const QString& user, const QString& password) {
        w.Edit1->setText(user);
        w.Edit2->setText(password);
        w.Button1->click();
    }

    test::ScriptedBoxes boxes;
    test::ScriptedModals modals;
};

TEST_F(LoginWindowTest, TheCodeMustMatchExactly) {
    const struct {
        const char *storedUser, *storedPassword;  // the password before its digest
        const char *user, *password;
        bool matches;
    } cases[] = {
        {"Poste1", "secret", "Poste1", "secret", true},
        {"Poste1", "secret", "poste1", "secret", false},
        {"Poste1", "secret", "Poste1 ", "secret", false},
        {"Poste1", "secret", "Poste1", "Secret", false},
        {"Poste1", "secret", "Poste1", "", false},  // empty never matches a digest
        {"Poste1", "", "Poste1", "", true},         // empty matches no password
        {"Poste1", "", "Poste1", "x", false},
        {"", "", "", "", true},
        // A code stored from question marks is not opened by text without
        // Windows-1252 bytes, which would digest to the same marks.
        {"Poste1", "??????", "Poste1", "??????", true},
        {"Poste1", "??????", "Poste1", "абвгде", false},
        {"Poste1", "??", "Poste1", "\U0001F600?", false},
        {"Poste1", "été€", "Poste1", "été€", true},
    };
    for (const auto& c : cases) {
        WriteSetting("user", c.storedUser);
        WriteSetting("pwd", *c.storedPassword ? DigestHex(c.storedPassword) : QString());
        EXPECT_EQ(LoginWindow::Matches(c.user, c.password), c.matches)
            << '"' << c.user << "\" / \"" << c.password << '"';
    }
}

TEST_F(LoginWindowTest, LayoutAndCaptions) {
    TForm8 startup;
    TForm9 guard({});
    EXPECT_EQ(startup.windowTitle(), "Surveillance");
    EXPECT_EQ(guard.windowTitle(), "Tavix");
    for (LoginWindow* w :
         {static_cast<LoginWindow*>(&startup), static_cast<LoginWindow*>(&guard)}) {
        EXPECT_EQ(w->Label1->text(), "Nom d'utilisateur");
        EXPECT_EQ(w->Label2->text(), "Mot de passe");
        EXPECT_EQ(w->Button1->text(), "&Lancer");
        EXPECT_EQ(w->Edit2->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(w->windowFlags() & Qt::WindowSystemMenuHint);
        EXPECT_FALSE(w->windowFlags() & Qt::WindowMinMaxButtonsHint);
    }
}

// Escape, Alt+F4 or the window manager's close: the window stays.
TEST_F(LoginWindowTest, OnlyTheCodeClosesTheWindow) {
    TForm8 w;
    show(w);
    QTest::keyClick(w.Edit1, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.close());
    w.reject();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.FailedAttempts, 0);
}

TEST_F(LoginWindowTest, EnterInEitherBoxTriesTheCode) {
    for (bool inPassword : {false, true}) {
        TForm8 w;
        show(w);
        w.Edit1->setText("Poste1");
        w.Edit2->setText("wrong");
        QLineEdit* box = inPassword ? w.Edit2 : w.Edit1;
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(w.FailedAttempts, 1);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.Edit2->text(), "wrong") << "the boxes are not cleared";
        w.Edit2->setText("secret");
        QTest::keyClick(box, Qt::Key_Enter);
        EXPECT_FALSE(w.isVisible()) << inPassword;
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
}

TEST_F(LoginWindowTest, StartupLoginEndsTheProgramAtTheFourthFailure) {
    TForm8 w;
    show(w);
    const bool endedBefore = application::terminated();
    for (int i = 1; i <= 3; ++i) {
        attempt(w, "Poste1", "faux");
        EXPECT_TRUE(w.isVisible()) << i;
        EXPECT_EQ(w.FailedAttempts, i);
    }
    EXPECT_EQ(application::terminated(), endedBefore);
    attempt(w, "Poste1", "faux");
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(application::terminated());
    EXPECT_TRUE(boxes.informs.isEmpty()) << "failures are reported by nothing";
}

TEST_F(LoginWindowTest, StartupLoginSuccessBringsItsOwnerForward) {
    QWidget owner;
    TForm8 w(&owner);
    show(w);
    attempt(w, "Poste1", "secret");
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Accepted);
}

TEST_F(LoginWindowTest, SettingsLoginOpensTheSettingsThenOffersTheRestart) {
    const struct {
        const char* leave;  // how the settings window is left
        QDialog::DialogCode result;
    } cases[] = {{"Valider", QDialog::Accepted},
                 {"Annuler", QDialog::Rejected},
                 {"close box", QDialog::Rejected}};
    for (const auto& c : cases) {
        int offers = 0;
        TForm9 w([&] { ++offers; });
        show(w);
        attempt(w, "Poste1", "faux");
        modals.scripts.push_back([&](QDialog& d) {
            auto& settingsWindow = dynamic_cast<TForm7&>(d);
            EXPECT_EQ(offers, 0);
            if (c.result == QDialog::Accepted)
                settingsWindow.Button1->click();
            else if (std::string(c.leave) == "Annuler")
                settingsWindow.ColorButton5->click();
            else
                settingsWindow.close();
            return settingsWindow.result();
        });
        attempt(w, "Poste1", "secret");
        EXPECT_EQ(modals.shown, QStringList{"tavix::TForm7"}) << c.leave;
        EXPECT_FALSE(w.isVisible()) << c.leave;
        EXPECT_EQ(offers, 1) << c.leave;
        modals.shown.clear();
    }
}

TEST_F(LoginWindowTest, SettingsLoginWithoutACodeAcceptsEmptyBoxes) {
    settings().clear();
    WriteSetting("config", "16");
    int offers = 0;
    TForm9 w([&] { ++offers; });
    show(w);
    w.Button1->click();
    EXPECT_EQ(modals.shown, QStringList{"tavix::TForm7"});
    EXPECT_EQ(offers, 1);
}

TEST_F(LoginWindowTest, SettingsLoginEndsTheProgramWithoutAskingAtTheFourthFailure) {
    int offers = 0;
    TForm9 w([&] { ++offers; });
    show(w);
    EXPECT_EQ(w.FailedAttempts, 0);
    for (int i = 1; i <= 3; ++i) attempt(w, "Poste1", "faux");
    EXPECT_TRUE(w.isVisible());
    attempt(w, "Poste1", "faux");
    EXPECT_TRUE(application::terminated());
    EXPECT_EQ(offers, 0);
    EXPECT_TRUE(modals.shown.isEmpty());
    EXPECT_TRUE(boxes.confirms.isEmpty());
}

}  // namespace

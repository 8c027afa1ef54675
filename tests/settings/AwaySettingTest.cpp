// "Absence après … minutes" in the settings window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <memory>

#include "common/Fakes.h"
#include "controls/ColorButton.h"
#include "settings/outils.h"
#include "settings/ui/AwaySetting.h"
#include "settings/ui/Unit7.h"

using namespace tavix;

namespace {

class AwaySettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
    }
    TForm7& open() {
        form = std::make_unique<TForm7>();
        form->show();
        QApplication::processEvents();
        return *form;
    }

    test::ScriptedBoxes boxes;
    test::FakeIdle idle;
    std::unique_ptr<TForm7> form;
};

TEST_F(AwaySettingTest, ShowsTheStoredMinutesAndWritesThemOnValider) {
    const struct {
        const char* stored;
        int shown;
        int typed;
        const char* written;
    } cases[] = {{"", 10, 10, "10"}, {"25", 25, 0, "0"}, {"0", 0, 5, "5"}, {"-3", 0, 1, "1"}};
    for (const auto& c : cases) {
        WriteSetting("absence", c.stored);
        TForm7& w = open();
        EXPECT_EQ(w.Away->Minutes->value(), c.shown) << c.stored;
        w.Away->Minutes->setValue(c.typed);
        w.Button1->click();
        EXPECT_EQ(w.result(), QDialog::Accepted) << c.stored;
        EXPECT_EQ(ReadSetting("absence"), c.written) << c.stored;
    }
    // "&Annuler" writes nothing.
    TForm7& w = open();
    w.Away->Minutes->setValue(42);
    w.ColorButton5->click();
    EXPECT_EQ(ReadSetting("absence"), "1");
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(AwaySettingTest, SaysWhenTheDesktopTellsNoIdleTime) {
    idle.ms = 1500;
    EXPECT_FALSE(open().Away->NoIdleNote->isVisibleTo(form.get()));
    idle.ms.reset();
    TForm7& w = open();
    EXPECT_TRUE(w.Away->NoIdleNote->isVisibleTo(&w));
    EXPECT_TRUE(w.Away->NoIdleNote->text().contains("veille"));
    EXPECT_TRUE(w.Away->Minutes->isEnabled()) << "sleep is still noticed";
}

TEST_F(AwaySettingTest, AValueThatIsNoNumberIsTold) {
    WriteSetting("absence", "dix");
    open();
    EXPECT_EQ(boxes.errors, QStringList{"'dix' n'est pas une valeur entière correcte."});
    EXPECT_EQ(ReadSetting("absence"), "dix") << "nothing written by opening";
}

}  // namespace

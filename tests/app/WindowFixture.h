#pragma once

// A tracking window started on its own database, with every seam faked: the
// base of the window tests.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/Unit1.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Paths.h"

namespace tavix::test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
        // Timings left by an earlier test would be offered at the start.
        QDir data = QFileInfo(paths::pendingTimingPath()).absoluteDir();
        for (const QString& f : data.entryList({"surveillance-*.json"}, QDir::Files))
            data.remove(f);
        paths::setExecutablePath(exeDir.filePath("tavix"));
    }
    void TearDown() override {
        form.reset();
        module.reset();
        paths::setExecutablePath({});
    }

    // Shows the window and lets the loop run its first showing.
    void start() {
        module = std::make_unique<TDataModule2>();
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->firstShowingRan(); }))
            << "the first showing never ran";
    }
    void selectClient(const QString& name) const {
        form->RadioGroup1->button(static_cast<int>(form->RadioGroup1->items().indexOf(name)))
            ->click();
    }
    void tick(int count) {
        for (int i = 0; i < count; ++i) {
            clock.advance(1);
            form->Timer1Timer();
        }
    }

    QTemporaryDir exeDir;
    FakeClock clock;  // Monday 2 March 2026, 9:00
    ScriptedBoxes boxes;
    FakeShell shell;
    ScriptedModals modals;
    TempDatabase db;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm1> form;
};

}  // namespace tavix::test

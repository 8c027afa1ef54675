#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <memory>

#include "WindowFixture.h"
#include "app/Unit1.h"
#include "common/Fakes.h"
#include "common/TempDatabase.h"
#include "controls/ColorButton.h"
#include "controls/DBNavigator.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Paths.h"
#include "reference/Unit3.h"
#include "reference/Unit4.h"
#include "settings/outils.h"

using namespace tavix;
using test::TempDatabase;

namespace {

// The menu's "une &surveillance" and "un &client" on a started window.
class ListCommandsTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        WriteSetting("sgbd", db.path());
        start();
    }
};

TEST_F(ListCommandsTest, EachCommandOpensItsTableShowsItsEditorThenOffersTheRestart) {
    const struct {
        QAction* TForm1::*item;
        const char* editor;
        db::TableDataset TDataModule2::*table;
    } cases[] = {
        {&TForm1::unesurveillance1, "tavix::TForm4", &TDataModule2::tblTravaux},
        {&TForm1::unclient1, "tavix::TForm3", &TDataModule2::tblClients},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.editor);
        modals.shown.clear();
        boxes.confirms.clear();
        bool openWhileShown = false;
        modals.scripts.push_back([&](QDialog&) {
            openWhileShown = ((*module).*c.table).active();
            return QDialog::Rejected;
        });
        boxes.answers = {false};
        ((*form).*c.item)->trigger();
        EXPECT_EQ(modals.shown, QStringList{c.editor});
        EXPECT_TRUE(openWhileShown);
        EXPECT_TRUE(((*module).*c.table).active()) << "left open for later";
        EXPECT_EQ(
            boxes.confirms,
            QStringList{"Voulez-vous relancer l'application pour appliquer les modifications ?"});
        EXPECT_TRUE(shell.started.isEmpty());
    }
}

TEST_F(ListCommandsTest, ATableThatCannotOpenShowsTheErrorAndNoEditor) {
    db.exec("ALTER TABLE clients RENAME TO ailleurs");
    form->unclient1->trigger();
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(modals.shown.isEmpty());
    EXPECT_TRUE(boxes.confirms.isEmpty()) << "no restart question";
}

TEST_F(ListCommandsTest, AClientAddedInTheEditorAndTheRestartAccepted) {
    modals.scripts.push_back([](QDialog& dialog) {
        auto& editor = dynamic_cast<TForm3&>(dialog);
        editor.DBNavigator1->btnClick(TDBNavigator::Button::Insert);
        TDBGrid* grid = editor.DBGrid1;
        grid->edit(grid->currentIndex());
        qobject_cast<QLineEdit*>(grid->cellEditor())->setText("Nouveau client");
        editor.ColorButton2->click();
        return QDialog::Rejected;
    });
    boxes.answers = {true};
    form->unclient1->trigger();
    EXPECT_EQ(db.scalar("SELECT NOM FROM clients"), "Nouveau client");
    EXPECT_EQ(shell.started, QStringList{exeDir.filePath("tavix")});
}

}  // namespace

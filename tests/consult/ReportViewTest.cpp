// The report view: text selection as in a text box, copying, and the text
// offered to assistive technology.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "consult/Report.h"
#include "controls/ReportView.h"

using namespace tavix;

namespace {

const QString kText =
    "marie\tSaisie\tL'Oréal\r\n"
    "\tnote sur 𝄞 deux mots\r\n"
    "paul\tAppel\tMartin\r\n"
    "Total\t\t00:10:00";

class ReportViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.setAccessibleName("Rapport");
        view.resize(600, 300);
        view.setTabStops({40, 80, 120});
        view.setText(kText.toUtf8());
        view.show();
        view.setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    // Offset of the first occurrence of what, plus shift.
    static qint64 at(const QString& what, int shift = 0) { return kText.indexOf(what) + shift; }
    QPoint pointOf(qint64 offset) {
        const QRect r = view.characterRect(offset);
        return QPoint(r.left(), r.center().y());
    }
    QString copied() {
        QApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    }

    ReportView view;
};

TEST_F(ReportViewTest, SelectsAnyCharactersAndCopiesThemExactly) {
    // A click puts the caret before the character clicked.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, pointOf(at("Saisie", 2)));
    EXPECT_EQ(view.cursorPosition(), at("Saisie", 2));
    EXPECT_FALSE(view.hasSelection());

    // Shift and the arrows, across the TAB, the line end and a surrogate pair.
    const struct {
        qint64 from;
        QList<Qt::Key> keys;
        QString selected;
    } cases[] = {
        {at("Saisie", 2), {Qt::Key_Right, Qt::Key_Right}, "is"},
        {at("Oréal"),
         {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right,
          Qt::Key_Right},
         "Oréal\r\n\t"},
        {at("sur", 4), {Qt::Key_Right, Qt::Key_Right}, "𝄞"},
        {at("Martin"), {Qt::Key_Left, Qt::Key_Left}, "l\t"},
        {at("Saisie"), {Qt::Key_Down}, "Saisie\tL'Oréal\r\n\tnote "},
        {at("paul"), {Qt::Key_End}, "paul\tAppel\tMartin"},
    };
    for (const auto& c : cases) {
        view.setSelection(c.from, c.from);
        for (const Qt::Key k : c.keys) QTest::keyClick(&view, k, Qt::ShiftModifier);
        EXPECT_EQ(view.selectedText(), c.selected) << c.selected.toStdString();
        EXPECT_EQ(copied(), c.selected) << c.selected.toStdString();
    }

    // Dragging from one character to one on another line.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, pointOf(at("ie\t")));
    QTest::mouseMove(view.viewport(), pointOf(at("note", 2)));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, pointOf(at("note", 2)));
    EXPECT_EQ(copied(), "ie\tSaisie\tL'Oréal\r\n\tno");

    // A double click takes the word; Ctrl+A everything.
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, pointOf(at("Appel", 2)));
    EXPECT_EQ(view.selectedText(), "Appel");
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(copied(), kText);

    // An arrow without Shift drops the selection.
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_FALSE(view.hasSelection());
    EXPECT_EQ(view.cursorPosition(), 0);
}

TEST_F(ReportViewTest, TheCaretStaysInSightAtTheEndOfALongLastLine) {
    QByteArray text;
    for (int i = 0; i < 100; ++i) text += "ligne " + QByteArray::number(i) + "\r\n";
    text += QByteArray(300, '-') + "Total";
    view.resize(300, 200);
    view.setText(text);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();  // the scroll bars settle
    const QRect caret = view.characterRect(view.cursorPosition() - 1);
    ASSERT_FALSE(caret.isEmpty());
    EXPECT_TRUE(view.viewport()->rect().contains(caret)) << caret.x() << "," << caret.y();
}

TEST_F(ReportViewTest, OffersItsTextToAssistiveTechnology) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::EditableText);
    EXPECT_TRUE(a->state().readOnly);
    EXPECT_EQ(a->text(QAccessible::Name), "Rapport");
    QAccessibleTextInterface* t = a->textInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->characterCount(), kText.size());
    EXPECT_EQ(t->text(0, t->characterCount()), kText);
    EXPECT_EQ(t->text(at("Oréal"), at("note", 2)), "Oréal\r\n\tno");

    // Line by line, as a screen reader walks it: each line with its line end.
    QStringList lines;
    int start = 0, end = 0;
    for (int offset = 0; offset < t->characterCount(); offset = end) {
        lines << t->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
        ASSERT_EQ(start, offset);
    }
    EXPECT_EQ(lines, (QStringList{"marie\tSaisie\tL'Oréal\r\n", "\tnote sur 𝄞 deux mots\r\n",
                                  "paul\tAppel\tMartin\r\n", "Total\t\t00:10:00"}));
    EXPECT_EQ(t->textAtOffset(at("Appel", 3), QAccessible::LineBoundary, &start, &end), lines[2]);
    EXPECT_EQ(t->textAfterOffset(at("Appel"), QAccessible::LineBoundary, &start, &end), lines[3]);
    EXPECT_EQ(t->textBeforeOffset(at("Appel"), QAccessible::LineBoundary, &start, &end), lines[1]);
    EXPECT_EQ(t->textAtOffset(at("deux", 1), QAccessible::WordBoundary, &start, &end), "deux");
    EXPECT_EQ(start, at("deux"));

    // The caret and the selection, both ways.
    view.setSelection(at("paul"), at("Appel"));
    EXPECT_EQ(t->cursorPosition(), at("Appel"));
    ASSERT_EQ(t->selectionCount(), 1);
    t->selection(0, &start, &end);
    EXPECT_EQ(t->text(start, end), "paul\t");
    t->setSelection(0, at("mots"), at("mots", 4));
    EXPECT_EQ(view.selectedText(), "mots");
    t->setCursorPosition(at("Total"));
    EXPECT_EQ(t->selectionCount(), 0);
    EXPECT_EQ(view.cursorPosition(), at("Total"));
    EXPECT_EQ(t->offsetAtPoint(view.viewport()->mapToGlobal(pointOf(at("Martin")))), at("Martin"));
}

TEST_F(ReportViewTest, ReadsAReportWhileItGrows) {
    ReportWriter writer(false);
    view.setReport(writer.text());
    ReportWriter::Entry e;
    e.user = "u";
    e.duration = 60;
    for (int i = 0; i < 1000; ++i) writer.add(e);
    view.textGrew();
    EXPECT_EQ(view.lineCount(), 1000);
    EXPECT_GT(view.verticalScrollBar()->maximum(), 900);
    QAccessibleTextInterface* t = QAccessible::queryAccessibleInterface(&view)->textInterface();
    int start = 0, end = 0;
    EXPECT_EQ(t->textAtOffset(0, QAccessible::LineBoundary, &start, &end),
              "u\t\t\t\t\t00:01:00\r\n");
    writer.finishText();
    view.textGrew();
    EXPECT_EQ(view.lineCount(), 1001);
    EXPECT_EQ(t->characterCount(), 1000 * 16 + 208 + 5 + 5 + 10 + 2 + 10 + 2 + 8);
    EXPECT_EQ(t->textAtOffset(t->characterCount() - 1, QAccessible::LineBoundary, &start, &end),
              view.line(1000));
}

// What an assistive client hears while reports are read and replaced: text
// removed and inserted at offsets, which rebuilt on its side give the text
// shown; no event carries more than one slice.
TEST_F(ReportViewTest, TellsAssistiveTechnologyWhatChanged) {
    struct ListenedTo : ReportView {
        bool accessibilityActive() const override { return true; }
        void tellAccessibility(QAccessibleEvent* event) override {
            if (event->type() == QAccessible::TextInserted) {
                const auto* e = static_cast<QAccessibleTextInsertEvent*>(event);
                heard.insert(e->changePosition(), e->textInserted());
                ++insertions;
                largest = std::max(largest, e->textInserted().size());
            } else if (event->type() == QAccessible::TextRemoved) {
                const auto* e = static_cast<QAccessibleTextRemoveEvent*>(event);
                EXPECT_EQ(heard.mid(e->changePosition(), e->textRemoved().size()),
                          e->textRemoved());
                heard.remove(e->changePosition(), e->textRemoved().size());
                ++removals;
            }
        }
        QString heard;
        qsizetype largest = 0;
        int removals = 0;
        int insertions = 0;
    } listened;
    QString& h = listened.heard;
    listened.setText(kText.toUtf8());
    EXPECT_EQ(h, kText);

    ReportWriter writer(false);
    listened.setReport(writer.text());
    EXPECT_EQ(h, "");
    ReportWriter::Entry e;
    e.user = "Zoé";
    e.duration = 60;
    // Slices read in quick turns are told together, the first at once.
    listened.insertions = 0;
    for (int slice = 0; slice < 3; ++slice) {
        for (int i = 0; i < 100; ++i) writer.add(e);
        listened.textGrew();
        if (slice == 0) {
            EXPECT_EQ(h, listened.text()) << "the first screen is told at once";
        }
    }
    writer.finishText();
    listened.textGrew();
    EXPECT_EQ(listened.insertions, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return h == listened.text(); }));
    EXPECT_EQ(listened.insertions, 2);
    EXPECT_LE(listened.largest, 300 * 19 + 300);  // the batch, the total line at most

    // A report replaced before its growth was told: what was told is
    // removed, and the rest never arrives.
    ReportWriter next(false);
    listened.setReport(next.text());
    EXPECT_EQ(h, "");
    for (int i = 0; i < 100; ++i) next.add(e);
    listened.textGrew();
    for (int i = 0; i < 100; ++i) next.add(e);
    listened.textGrew();
    const QString told = h;
    EXPECT_LT(told.size(), listened.text().size()) << "the second slice waits";
    listened.clear();
    EXPECT_EQ(h, "");
    QTest::qWait(300);
    EXPECT_EQ(h, "");
    EXPECT_EQ(listened.removals, 3);
}

}  // namespace

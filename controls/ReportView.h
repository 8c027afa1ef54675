#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <memory>

class QAccessibleEvent;
class QTimer;

namespace tavix {

class ReportText;

// A read-only view of a long plain text (the report): lays out only the
// lines on screen, so a million lines show at once, also while the text
// still grows. TAB goes to the next tab stop. Text is selected as in a text
// box, from any character to any other, with the mouse or Shift and the
// arrows, a word with a double click, everything with Ctrl+A; Ctrl+C
// copies exactly the selected characters. Assistive technology reads the
// text through Qt's accessible text interface.
class ReportView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);
    ~ReportView() override;

    // Positions in points (1/72 inch) from the left edge, in any order.
    void setTabStops(const QList<qreal>& points);
    QList<qreal> tabStops() const { return tabStops_; }

    // Lines end in CR LF (or LF); the text is kept as given.
    void setText(const QByteArray& utf8);
    // Shows a text that may still grow; textGrew() after it has.
    void setReport(std::shared_ptr<const ReportText> text);
    void textGrew();
    void clear();

    QString text() const;  // the whole text, exactly as given
    int lineCount() const;
    QString line(int index) const;  // without its line end
    const ReportText& report() const { return *text_; }

    // Positions are UTF-16 offsets in the whole text.
    qint64 characterCount() const;
    qint64 cursorPosition() const;
    qint64 anchorPosition() const;
    bool hasSelection() const;
    void setSelection(qint64 anchor, qint64 cursor);
    void selectAll();
    QString selectedText() const;
    QString textRange(qint64 from, qint64 to) const;
    void copy() const;

    // The character at offset, in viewport coordinates; the offset at a
    // viewport point; scrolling so that offset shows.
    QRect characterRect(qint64 offset) const;
    qint64 offsetAt(const QPoint& point) const;
    void ensureVisible(qint64 offset);

    // x of each piece of a line cut at TABs, in pixels; for tests and painting.
    QList<int> tabbedPositions(const QString& line) const;

protected:
    // Whether assistive technology listens, and telling it (tests listen
    // without one).
    virtual bool accessibilityActive() const;
    virtual void tellAccessibility(QAccessibleEvent* event);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Position {
        int line = 0;
        int column = 0;  // UTF-16 index within the line
        auto operator<=>(const Position&) const = default;
    };
    int lineHeight() const;
    int lineAtY(int y) const;
    int lineLength(int line) const;
    int xOfColumn(const QString& line, int column) const;
    int columnAtX(const QString& line, int x) const;
    Position positionAt(const QPoint& point) const;
    Position positionOf(qint64 offset) const;
    qint64 offsetOf(Position p) const;
    qint64 byteOf(Position p) const;
    Position moved(Position p, int key, Qt::KeyboardModifiers modifiers) const;
    void moveCursor(Position p, bool extend);
    void showCursor();
    void notifySelection();
    void announceText(const ReportText* replaced);
    void updateScrollBars();

    std::shared_ptr<const ReportText> text_;
    QList<qreal> tabStops_;
    QList<int> stopPixels_;  // ascending
    Position anchor_, cursor_;
    mutable int contentWidth_ = 0;
    int shownLines_ = 0;  // lines when the screen was last brought up to date
    // What assistive technology has been told the text holds: bytes and
    // characters (-1: nobody was listening).
    qint64 announcedBytes_ = -1, announcedCharacters_ = 0;
    // Growth is told at most every kTellEveryMs: a long report read in
    // slices goes out in a few events, not one per slice.
    static constexpr int kTellEveryMs = 100;
    QElapsedTimer sinceTold_;
    QTimer* tellLater_;
};

}  // namespace tavix

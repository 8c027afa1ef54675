#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QList>
#include <vector>

namespace tavix {

// A read-only view of a long plain text (the report): lays out only the
// lines on screen, so a million lines show at once. TAB goes to the next
// tab stop; lines are selected whole with the mouse or the keyboard and
// copied with Ctrl+C, Ctrl+A selects everything.
class ReportView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    // Positions in points (1/72 inch) from the left edge, in any order.
    void setTabStops(const QList<qreal>& points);
    QList<qreal> tabStops() const { return tabStops_; }

    // Lines end in CR LF (or LF); the text is kept as given.
    void setText(QByteArray utf8);
    void clear();
    QString text() const;  // the whole text, exactly as given
    int lineCount() const { return static_cast<int>(starts_.size()); }
    QString line(int index) const;  // without its line end

    void selectAll();
    QString selectedText() const;
    void copy() const;

    // x of each piece of a line cut at TABs, in pixels; for tests and painting.
    QList<int> tabbedPositions(const QString& line) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int lineHeight() const;
    int lineAt(int y) const;
    void setCursorLine(int line, bool extend);
    void updateScrollBars();

    QByteArray text_;
    std::vector<qint64> starts_;  // where each line starts in text_
    QList<qreal> tabStops_;
    QList<int> stopPixels_;  // ascending
    int anchor_ = -1;
    int cursor_ = -1;
    mutable int contentWidth_ = 0;
};

}  // namespace tavix

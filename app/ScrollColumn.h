#pragma once

#include <QWidget>

class QScrollBar;

namespace tavix {

// The part of a panel below its header that scrolls vertically when the
// controls placed in it do not fit: a scroll bar appears at the panel's
// right edge, the wheel scrolls it, and a control that gets the keyboard
// focus is scrolled into view. Controls are placed in content(), whose
// coordinates are the panel's own while nothing is scrolled.
class ScrollColumn : public QWidget {
    Q_OBJECT
public:
    ScrollColumn(QWidget* panel, int top);

    QWidget* content() const { return content_; }
    QScrollBar* scrollBar() const { return bar_; }

    // Fits the column to the panel and the scroll range to the controls;
    // call after adding or moving controls.
    void refresh();
    // Scrolls so that the control (a descendant of content()) shows whole.
    void ensureVisible(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scrollTo(int value);

    QWidget* panel_;
    QWidget* content_;
    QScrollBar* bar_;
    int top_;
    bool refreshQueued_ = false;
};

}  // namespace tavix

#pragma once

#include <QFrame>
#include <QString>

class QLabel;

namespace tavix {

class TColorButton;

// What an empty list of the tracking window shows in its place: a short
// text and, unless the lists are locked, a button that opens the list's
// editor. Placed at a fixed spot of its parent; a width of 0 takes the
// parent's width less the left margin on both sides.
class EmptyListHint : public QFrame {
    Q_OBJECT
public:
    EmptyListHint(const QString& name, QWidget* parent, int left, int top, int width);

    QLabel* text() const { return text_; }
    TColorButton* button() const { return button_; }

    // Empty list: the text, and the button with `caption` when editing is
    // allowed; locked, the text says so and no button shows.
    void showFor(const QString& emptyText, const QString& caption, bool locked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QLabel* text_;
    TColorButton* button_;
    int left_;
    int top_;
    int width_;
};

}  // namespace tavix

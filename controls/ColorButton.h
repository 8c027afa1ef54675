#pragma once

#include <QPushButton>
#include <QSize>

#include "settings/Colors.h"

namespace tavix {

// The push button of every window: a standard QPushButton (caption with "&"
// accelerator, clicked(), default, focus, accessibility) whose face it paints
// itself in four colours, cut to a rounded shape. Enter presses it when it
// has the focus, or when it is its window's default button; it is never made
// the default on its own (no auto-default).
//
// Hover is shown by changing BackColor itself: entering saves BackColor and
// puts HoverColor in its place, leaving puts the saved colour back. So while
// the pointer is over the button BackColor reads as the hover colour, and a
// BackColor set meanwhile is replaced on leave.
class TColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit TColorButton(QWidget* parent = nullptr);
    ~TColorButton() override;

    TColor BackColor() const { return backColor_; }
    TColor ForeColor() const { return foreColor_; }
    TColor HoverColor() const { return hoverColor_; }
    TColor BorderColor() const { return borderColor_; }
    // Each setter repaints only when the colour actually changes.
    void setBackColor(TColor color);
    void setForeColor(TColor color);
    void setHoverColor(TColor color);
    void setBorderColor(TColor color);

    // Free integer for the owner (the activity buttons keep their start here).
    qint32 Tag() const { return tag_; }
    void setTag(qint32 tag) { tag_ = tag; }

    // True while this is the button the Enter key would press: it has the
    // focus, or a control other than a push button of its window has it and
    // this is the default button.
    bool isActive() const { return active_; }

    // Height the caption needs in the button's font: the text plus the
    // frame and border drawn around it. The button is never made lower.
    int captionHeight() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setColor(TColor& field, TColor color);
    void followFocus(QWidget* now);
    void setActive(bool active);
    void applyShape();
    void fitCaption();

    TColor savedFace_ = clBlack;
    bool hovering_ = false;
    bool active_ = false;
    qint32 tag_ = 0;
    QSize shapedSize_;  // size the current mask was made for
    QMetaObject::Connection focusWatch_;
    TColor backColor_ = 0;
    TColor foreColor_ = 0;
    TColor hoverColor_ = 0;
    TColor borderColor_ = 0;
};

// The colour sets the windows give their buttons.
struct ButtonColorSet {
    TColor back;
    TColor fore;
    TColor hover;
    TColor border;
};

// Consultation, settings and login windows: silver, grey under the mouse.
inline constexpr ButtonColorSet silverSet() { return {clSilver, clBlack, clGray, clNavy}; }
// "&Commenter": silver that does not change under the mouse.
inline constexpr ButtonColorSet steadySilverSet() { return {clSilver, clBlack, clSilver, clNavy}; }
// Editors and client chooser: the initial colours with a black border.
inline constexpr ButtonColorSet plainSet() { return {clBtnFace, clBtnText, clBtnFace, clBlack}; }

// Sets BackColor, ForeColor, HoverColor and BorderColor, in that order.
void applyColorSet(TColorButton& button, const ButtonColorSet& colors);

}  // namespace tavix

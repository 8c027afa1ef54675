#include "controls/ColorButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace tavix {

namespace {

// A rectangle with its corners rounded by ellipses of diameter d, built
// exactly from rectangles and ellipses so that it matches pixel for pixel.
QRegion roundedRegion(const QRect& r, int d) {
    if (r.width() < d || r.height() < d) return QRegion(r);
    const QSize corner(d, d);
    QRegion region(r.adjusted(d / 2, 0, -(d / 2), 0));
    region += r.adjusted(0, d / 2, 0, -(d / 2));
    region += QRegion(QRect(r.topLeft(), corner), QRegion::Ellipse);
    region += QRegion(QRect(QPoint(r.right() - d + 1, r.top()), corner), QRegion::Ellipse);
    region += QRegion(QRect(QPoint(r.left(), r.bottom() - d + 1), corner), QRegion::Ellipse);
    region +=
        QRegion(QRect(QPoint(r.right() - d + 1, r.bottom() - d + 1), corner), QRegion::Ellipse);
    return region;
}

// Space kept above and below the caption: the platform frame (2), the
// border line (3), one pixel for the pressed or focused shift and two of
// clear space, so that the letters never touch the border.
const int kCaptionInset = 8;

// The caption is always bold and nothing else, whatever the button's font.
QFont captionFont(QFont font) {
    font.setBold(true);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setOverline(false);
    return font;
}

// The greyed caption is drawn literally, but a doubled "&" is how a caption
// holds one "&" of its text: it shows as one, as in the other states.
QString greyedCaption(const QString& caption) {
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        shown.append(caption.at(i));
        if (caption.at(i) == u'&' && i + 1 < caption.size() && caption.at(i + 1) == u'&') ++i;
    }
    return shown;
}

}  // namespace

TColorButton::TColorButton(QWidget* parent) : QPushButton(parent) {
    resize(75, 25);
    setFocusPolicy(Qt::StrongFocus);
    // Qt would make the first button of a dialog answer Enter typed in any
    // box ("&Parcourir" in the settings): only a button made the default
    // does, as on Windows.
    setAutoDefault(false);
    setBackColor(clBtnFace);
    setForeColor(clBtnText);
    setHoverColor(clBtnFace);
    setBorderColor(clBlack);
    applyShape();
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                          [this](QWidget*, QWidget* now) { followFocus(now); });
}

// The base destructor may hand the focus on; this button must not hear of it
// once its own part is gone.
TColorButton::~TColorButton() { disconnect(focusWatch_); }

void TColorButton::setColor(TColor& field, TColor color) {
    if (field == color) return;
    field = color;
    update();
}

void TColorButton::setBackColor(TColor color) { setColor(backColor_, color); }
void TColorButton::setForeColor(TColor color) { setColor(foreColor_, color); }
void TColorButton::setHoverColor(TColor color) { setColor(hoverColor_, color); }
void TColorButton::setBorderColor(TColor color) { setColor(borderColor_, color); }

void TColorButton::followFocus(QWidget* now) {
    // Focus moving in another window says nothing about this one's Enter key.
    if (!now || now->window() != window()) return;
    if (now == this)
        setActive(true);
    else if (qobject_cast<QPushButton*>(now))
        setActive(false);
    else
        setActive(isDefault());
}

void TColorButton::setActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    update();
}

void TColorButton::keyPressEvent(QKeyEvent* event) {
    // Enter presses the button that has the focus, default or not.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void TColorButton::enterEvent(QEnterEvent* event) {
    // A second enter without a leave must not save the hover colour as the
    // face, or the face would never come back.
    if (!hovering_) {
        hovering_ = true;
        savedFace_ = backColor_;
        setBackColor(hoverColor_);
    }
    update();
    QPushButton::enterEvent(event);
}

void TColorButton::leaveEvent(QEvent* event) {
    // Only a leave that follows an enter has a face colour to put back.
    if (hovering_) {
        hovering_ = false;
        setBackColor(savedFace_);
    }
    update();
    QPushButton::leaveEvent(event);
}

void TColorButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitCaption();
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) update();
}

bool TColorButton::event(QEvent* event) {
    // Polished before its first showing and layout, with the window's font.
    if (event->type() == QEvent::Polish) fitCaption();
    return QPushButton::event(event);
}

int TColorButton::captionHeight() const {
    return QFontMetrics(captionFont(font())).height() + 2 * kCaptionInset;
}

void TColorButton::fitCaption() {
    if (text().isEmpty()) return;
    const int needed = captionHeight();
    if (minimumHeight() < needed) setMinimumHeight(needed);
}

QSize TColorButton::sizeHint() const {
    QSize size = QPushButton::sizeHint();
    if (!text().isEmpty()) size.setHeight(std::max(size.height(), captionHeight()));
    return size;
}

QSize TColorButton::minimumSizeHint() const {
    QSize size = QPushButton::minimumSizeHint();
    if (!text().isEmpty()) size.setHeight(std::max(size.height(), captionHeight()));
    return size;
}

void TColorButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    if (size() != shapedSize_) applyShape();
}

void TColorButton::showEvent(QShowEvent* event) {
    QPushButton::showEvent(event);
    if (size() != shapedSize_) applyShape();
}

void TColorButton::applyShape() {
    // Set on size changes only: a mask set while painting would schedule
    // another paint, and so on forever.
    shapedSize_ = size();
    setMask(roundedRegion(QRect(QPoint(3, 3), QPoint(width() - 3, height() - 3)), 10));
}

void TColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(captionFont(font()));
    const bool pressed = isDown();
    const bool disabled = !isEnabled();
    QRect r = rect();

    // Outline of the button Enter would press; it lies outside the mask, so
    // what shows is everything after it moving one pixel inwards.
    if (active_ || hasFocus()) {
        painter.setPen(QPen(toQColor(clWindowFrame), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }

    if (pressed) {
        painter.setPen(QPen(toQColor(clBtnShadow), 1));
        painter.setBrush(toQColor(clBtnFace));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
        r.translate(1, 1);
    } else {
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect = r;
        option.state &= ~(QStyle::State_Sunken | QStyle::State_On | QStyle::State_HasFocus);
        option.state |= QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
        r.adjust(2, 2, -2, -2);  // the face inside the platform frame
    }

    painter.fillRect(r, toQColor(backColor_));

    if (disabled) {
        const QString caption = greyedCaption(text());
        // Embossed and literal ("&" shown), centred on R's size but measured
        // from the button's own corner.
        const QFontMetrics metrics = painter.fontMetrics();
        const int x = (r.width() - metrics.horizontalAdvance(caption)) / 2;
        const int y = (r.height() - metrics.height()) / 2;
        const QPoint baseline(x, y + metrics.ascent());
        painter.setPen(toQColor(clBtnHighlight));
        painter.drawText(baseline + QPoint(1, 1), caption);
        painter.setPen(toQColor(clBtnShadow));
        painter.drawText(baseline, caption);
    } else {
        painter.setPen(toQColor(foreColor_));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
    }

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(toQColor(borderColor_), 2));
    const QRectF border(QPointF(r.left() + 2, r.top() + 2),
                        QPointF(r.x() + r.width() - 1, r.y() + r.height() - 1));
    painter.drawRoundedRect(border, 2.5, 2.5);

    // The outline above hardly shows: a keyboard user sees the focus by a
    // ring of black dashes on white just inside the border, clear of the
    // caption, plain on any face.
    if (hasFocus()) {
        const QRectF ring = border.adjusted(2, 2, -2, -2);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRoundedRect(ring, 2, 2);
        painter.setPen(QPen(Qt::black, 2, Qt::DashLine));
        painter.drawRoundedRect(ring, 2, 2);
    }
}

void applyColorSet(TColorButton& button, const ButtonColorSet& colors) {
    button.setBackColor(colors.back);
    button.setForeColor(colors.fore);
    button.setHoverColor(colors.hover);
    button.setBorderColor(colors.border);
}

}  // namespace tavix

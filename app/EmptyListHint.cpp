#include "app/EmptyListHint.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/ColorButton.h"

namespace tavix {

EmptyListHint::EmptyListHint(const QString& name, QWidget* parent, int left, int top, int width)
    : QFrame(parent), left_(left), top_(top), width_(width) {
    setObjectName(name);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    QFont plain = font();
    plain.setBold(false);
    plain.setPixelSize(13);
    setFont(plain);

    text_ = new QLabel(this);
    text_->setObjectName(name + QStringLiteral("Text"));
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    button_ = new TColorButton(this);
    button_->setObjectName(name + QStringLiteral("Button"));
    applyColorSet(*button_, silverSet());
    button_->setMinimumHeight(30);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->addWidget(text_);
    column->addWidget(button_);
    parent->installEventFilter(this);
    hide();
}

void EmptyListHint::showFor(const QString& emptyText, const QString& caption, bool locked) {
    QString text = emptyText;
    if (locked)
        text += QStringLiteral(
            "\nLes listes sont verrouillées : leur modification est interdite dans les "
            "paramètres.");
    text_->setText(text);
    // Read as one: what is empty, then what the button does.
    text_->setAccessibleName(text);
    button_->setText(caption);
    button_->setAccessibleDescription(emptyText);
    button_->setVisible(!locked);
    show();
    raise();
    place();
}

void EmptyListHint::place() {
    QWidget* parent = parentWidget();
    const int width = width_ > 0 ? width_ : qMax(0, parent->width() - 2 * left_);
    const int height =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    setGeometry(left_, top_, width, height);
}

bool EmptyListHint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && !isHidden()) place();
    return QFrame::eventFilter(watched, event);
}

}  // namespace tavix

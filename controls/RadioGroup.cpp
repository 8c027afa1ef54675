#include "controls/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tavix {

QString literalCaption(const QString& text) {
    QString result = text;
    return result.replace(u'&', QStringLiteral("&&"));
}

QString captionText(const QString& caption) {
    QString result = caption;
    return result.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

TRadioGroup::TRadioGroup(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    // Many clients scroll instead of squeezing the buttons.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // The radio buttons take the focus; the scrolling box around them is no
    // stop of its own (it still scrolls the focused one into view).
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* inner = new QWidget(scroll);
    inner->setObjectName(QStringLiteral("RadioGroupItems"));
    list_ = new QVBoxLayout(inner);
    list_->setContentsMargins(2, 2, 2, 2);
    list_->addStretch(1);
    scroll->setWidget(inner);
    outer->addWidget(scroll);
    connect(group_, &QButtonGroup::buttonClicked, this, [this] { emit clicked(); });
}

void TRadioGroup::addItem(const QString& text) {
    auto* radio = new QRadioButton(literalCaption(text));
    radio->setAccessibleName(text);
    items_.append(text);
    buttons_.append(radio);
    group_->addButton(radio, static_cast<int>(buttons_.size()) - 1);
    list_->insertWidget(list_->count() - 1, radio);
}

int TRadioGroup::itemIndex() const { return group_->checkedId(); }

void TRadioGroup::setItemIndex(int index) {
    if (index >= 0 && index < count()) {
        buttons_[index]->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last checked button.
    group_->setExclusive(false);
    for (QRadioButton* radio : buttons_) radio->setChecked(false);
    group_->setExclusive(true);
}

QString TRadioGroup::selectedText() const {
    const int index = itemIndex();
    return index >= 0 ? items_[index] : QString();
}

QRadioButton* TRadioGroup::button(int index) const {
    return index >= 0 && index < count() ? buttons_[index] : nullptr;
}

}  // namespace tavix

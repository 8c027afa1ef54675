#include "app/ScrollColumn.h"

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

namespace tavix {

namespace {
const int kBottomMargin = 10;  // space kept below the lowest control
}

ScrollColumn::ScrollColumn(QWidget* panel, int top)
    : QWidget(panel),
      panel_(panel),
      content_(new QWidget(this)),
      bar_(new QScrollBar(panel)),
      top_(top) {
    setObjectName(QStringLiteral("ActivityColumn"));
    content_->setObjectName(QStringLiteral("ActivityColumnContent"));
    bar_->setObjectName(QStringLiteral("ActivityScroll"));
    bar_->setOrientation(Qt::Vertical);
    bar_->setAccessibleName(QStringLiteral("Défilement des surveillances"));
    bar_->hide();
    // The panel's background shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    content_->setAttribute(Qt::WA_NoSystemBackground);
    connect(bar_, &QScrollBar::valueChanged, this, [this](int value) { scrollTo(value); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // Keyboard focus only: a click must not move the button it presses.
        if (now && content_->isAncestorOf(now) && QApplication::mouseButtons() == Qt::NoButton)
            ensureVisible(now);
    });
    panel_->installEventFilter(this);
    installEventFilter(this);
    content_->installEventFilter(this);
    refresh();
}

void ScrollColumn::refresh() {
    refreshQueued_ = false;
    int bottom = 0;
    for (const QWidget* child : content_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        bottom = std::max(bottom, child->geometry().bottom() + 1);
    const int needed = bottom + kBottomMargin;
    const int overflow = std::max(0, needed - panel_->height());
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar_);
    setGeometry(0, top_, panel_->width(), std::max(0, panel_->height() - top_));
    content_->resize(width(), std::max(needed, panel_->height()));
    bar_->setGeometry(panel_->width() - barWidth, top_, barWidth, height());
    bar_->setRange(0, overflow);
    bar_->setPageStep(std::max(1, height()));
    bar_->setSingleStep(20);
    bar_->setVisible(overflow > 0);
    bar_->raise();
    scrollTo(bar_->value());
}

void ScrollColumn::scrollTo(int value) { content_->move(0, -top_ - value); }

void ScrollColumn::ensureVisible(QWidget* control) {
    if (bar_->maximum() == 0) return;
    const QRect area(content_->mapFrom(control->parentWidget(), control->pos()), control->size());
    const int shownTop = top_ + bar_->value();
    const int shownBottom = shownTop + height();
    if (area.top() < shownTop)
        bar_->setValue(area.top() - top_ - kBottomMargin);
    else if (area.bottom() + 1 > shownBottom)
        bar_->setValue(area.bottom() + 1 + kBottomMargin - top_ - height());
}

bool ScrollColumn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::Resize) {
        refresh();
    } else if (watched == content_ &&
               (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)) {
        // A control is placed once it exists: measure then.
        if (!refreshQueued_) {
            refreshQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { refresh(); }, Qt::QueuedConnection);
        }
    } else if ((watched == this || watched == content_) && event->type() == QEvent::Wheel &&
               bar_->isVisible()) {
        // Wheel turns over the buttons (which ignore them) scroll the column.
        QCoreApplication::sendEvent(bar_, event);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tavix

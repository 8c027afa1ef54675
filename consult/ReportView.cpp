#include "consult/ReportView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

namespace tavix {

namespace {
constexpr int kDefaultTab = 80;  // pixels, beyond the last stop
constexpr int kMargin = 4;
}  // namespace

ReportView::ReportView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);

    auto* copyAction = new QAction(QStringLiteral("&Copier"), this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    auto* allAction = new QAction(QStringLiteral("&Tout sélectionner"), this);
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setShortcutContext(Qt::WidgetShortcut);
    connect(allAction, &QAction::triggered, this, [this] { selectAll(); });
    addAction(copyAction);
    addAction(allAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ReportView::setTabStops(const QList<qreal>& points) {
    tabStops_ = points;
    stopPixels_.clear();
    const qreal perPoint = logicalDpiX() / 72.0;
    for (const qreal p : points) stopPixels_.append(qRound(p * perPoint));
    std::sort(stopPixels_.begin(), stopPixels_.end());
    contentWidth_ = 0;
    updateScrollBars();
    viewport()->update();
}

void ReportView::setText(QByteArray utf8) {
    text_ = std::move(utf8);
    starts_.clear();
    if (!text_.isEmpty()) {
        const char* begin = text_.constData();
        const char* end = begin + text_.size();
        starts_.reserve(static_cast<size_t>(text_.size() / 64 + 1));
        starts_.push_back(0);
        for (const char* p = begin;
             (p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr;) {
            ++p;
            if (p == end) break;  // a final line end adds no empty line
            starts_.push_back(p - begin);
        }
        starts_.shrink_to_fit();
    }
    anchor_ = cursor_ = -1;
    contentWidth_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void ReportView::clear() { setText({}); }

QString ReportView::text() const { return QString::fromUtf8(text_); }

QString ReportView::line(int index) const {
    if (index < 0 || index >= lineCount()) return {};
    const qint64 from = starts_[index];
    qint64 to = index + 1 < lineCount() ? starts_[index + 1] : text_.size();
    while (to > from && (text_[to - 1] == '\n' || text_[to - 1] == '\r')) --to;
    return QString::fromUtf8(text_.constData() + from, to - from);
}

void ReportView::selectAll() {
    if (starts_.empty()) return;
    anchor_ = 0;
    cursor_ = lineCount() - 1;
    viewport()->update();
}

QString ReportView::selectedText() const {
    if (anchor_ < 0 || cursor_ < 0) return {};
    const int first = std::min(anchor_, cursor_);
    const int last = std::max(anchor_, cursor_);
    const qint64 from = starts_[first];
    const qint64 to = last + 1 < lineCount() ? starts_[last + 1] : text_.size();
    return QString::fromUtf8(text_.constData() + from, to - from);
}

void ReportView::copy() const {
    const QString selected = selectedText();
    if (!selected.isEmpty()) QApplication::clipboard()->setText(selected);
}

QList<int> ReportView::tabbedPositions(const QString& text) const {
    const QFontMetrics fm(font());
    QList<int> xs;
    int x = 0;
    qsizetype from = 0;
    for (;;) {
        xs.append(x);
        const qsizetype tab = text.indexOf(u'\t', from);
        if (tab < 0) break;
        const int end = x + fm.horizontalAdvance(text.mid(from, tab - from));
        const auto stop = std::upper_bound(stopPixels_.begin(), stopPixels_.end(), end);
        x = stop != stopPixels_.end() ? *stop : (end / kDefaultTab + 1) * kDefaultTab;
        from = tab + 1;
    }
    return xs;
}

int ReportView::lineHeight() const { return QFontMetrics(font()).lineSpacing(); }

int ReportView::lineAt(int y) const {
    return verticalScrollBar()->value() + std::max(0, y - kMargin) / lineHeight();
}

void ReportView::updateScrollBars() {
    const int perPage = std::max(1, (viewport()->height() - kMargin) / lineHeight());
    verticalScrollBar()->setRange(0, std::max(0, lineCount() - perPage));
    verticalScrollBar()->setPageStep(perPage);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0,
                                    std::max(0, contentWidth_ + 2 * kMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(20);
}

void ReportView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int h = lineHeight();
    const QFontMetrics fm(font());
    const int dx = kMargin - horizontalScrollBar()->value();
    const int firstSelected = std::min(anchor_, cursor_);
    const int lastSelected = std::max(anchor_, cursor_);
    const int widthBefore = contentWidth_;
    int y = kMargin;
    for (int i = verticalScrollBar()->value(); i < lineCount() && y < viewport()->height();
         ++i, y += h) {
        const QString text = line(i);
        const QList<int> xs = tabbedPositions(text);
        const QStringList pieces = text.split(u'\t');
        const int width = xs.last() + fm.horizontalAdvance(pieces.last());
        contentWidth_ = std::max(contentWidth_, width);
        const bool selected = anchor_ >= 0 && i >= firstSelected && i <= lastSelected;
        if (selected) {
            painter.fillRect(QRect(0, y, viewport()->width(), h), palette().highlight());
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(QPalette::Text));
        }
        for (int k = 0; k < pieces.size(); ++k)
            painter.drawText(dx + xs[k], y + fm.ascent(), pieces[k]);
        if (i == cursor_ && hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
            painter.drawRect(QRect(0, y, viewport()->width() - 1, h - 1));
        }
    }
    if (contentWidth_ != widthBefore) updateScrollBars();
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportView::setCursorLine(int target, bool extend) {
    if (lineCount() == 0) return;
    cursor_ = std::clamp(target, 0, lineCount() - 1);
    if (!extend || anchor_ < 0) anchor_ = cursor_;
    QScrollBar* v = verticalScrollBar();
    if (cursor_ < v->value()) v->setValue(cursor_);
    if (cursor_ >= v->value() + v->pageStep()) v->setValue(cursor_ - v->pageStep() + 1);
    viewport()->update();
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const int page = verticalScrollBar()->pageStep();
    const int at = cursor_ < 0 ? verticalScrollBar()->value() : cursor_;
    switch (event->key()) {
        case Qt::Key_Up:
            setCursorLine(at - 1, extend);
            break;
        case Qt::Key_Down:
            setCursorLine(cursor_ < 0 ? at : at + 1, extend);
            break;
        case Qt::Key_PageUp:
            setCursorLine(at - page, extend);
            break;
        case Qt::Key_PageDown:
            setCursorLine(at + page, extend);
            break;
        case Qt::Key_Home:
            if (event->modifiers() & Qt::ControlModifier)
                setCursorLine(0, extend);
            else
                horizontalScrollBar()->setValue(0);
            break;
        case Qt::Key_End:
            if (event->modifiers() & Qt::ControlModifier)
                setCursorLine(lineCount() - 1, extend);
            else
                horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
            break;
        case Qt::Key_Left:
            horizontalScrollBar()->triggerAction(QScrollBar::SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            horizontalScrollBar()->triggerAction(QScrollBar::SliderSingleStepAdd);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        setCursorLine(lineAt(event->position().toPoint().y()),
                      event->modifiers() & Qt::ShiftModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        setCursorLine(lineAt(event->position().toPoint().y()), true);
}

}  // namespace tavix

#include "controls/ReportView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "controls/ReportText.h"

namespace tavix {

namespace {
constexpr int kDefaultTab = 80;  // pixels, beyond the last stop
constexpr int kMargin = 4;

int toInt(qint64 v) {
    return static_cast<int>(std::clamp<qint64>(v, 0, std::numeric_limits<int>::max()));
}

// What a screen reader reads: the report's text, line by line or whole,
// the caret and the selection, taken from the view without copying more
// than is asked for.
class ReportViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReportViewAccessible(ReportView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    ReportView* view() const { return static_cast<ReportView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return view()->accessibleName();
        if (t == QAccessible::Value) return {};  // never the whole report at once
        return QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || !view()->hasSelection()) return;
        const qint64 a = view()->anchorPosition(), c = view()->cursorPosition();
        *start = toInt(std::min(a, c));
        *end = toInt(std::max(a, c));
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { view()->setSelection(start, end); }
    void removeSelection(int index) override {
        if (index == 0) view()->setSelection(view()->cursorPosition(), view()->cursorPosition());
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0) view()->setSelection(start, end);
    }
    int cursorPosition() const override { return toInt(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setSelection(position, position); }

    QString text(int start, int end) const override { return view()->textRange(start, end); }
    int characterCount() const override { return toInt(view()->characterCount()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        const ReportText& t = view()->report();
        const qint64 count = t.characterCount();
        *start = *end = -1;
        if (offset < 0 || offset > count || count == 0) return {};
        if (type == QAccessible::NoBoundary) {
            *start = 0;
            *end = toInt(count);
            return view()->textRange(0, count);
        }
        const int line = t.lineAtCharacter(std::min<qint64>(offset, count - 1));
        const qint64 lineStart = t.lineCharacterStart(line);
        const qint64 lineEnd = line + 1 < t.lineCount() ? t.lineCharacterStart(line + 1) : count;
        qint64 from = lineStart, to = lineEnd;
        if (type == QAccessible::CharBoundary) {
            from = std::min<qint64>(offset, count - 1);
            to = from + 1;
        } else if (type == QAccessible::WordBoundary) {
            const QString text = view()->textRange(lineStart, lineEnd);
            const int at = static_cast<int>(std::min<qint64>(offset, count - 1) - lineStart);
            QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
            finder.setPosition(at);
            if (!finder.isAtBoundary() || at == text.size()) finder.toPreviousBoundary();
            const int a = static_cast<int>(std::max<qsizetype>(0, finder.position()));
            finder.setPosition(at);
            qsizetype b = finder.toNextBoundary();
            if (b < 0) b = text.size();
            from = lineStart + a;
            to = lineStart + b;
        }
        *start = toInt(from);
        *end = toInt(to);
        return view()->textRange(from, to);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        int s = 0, e = 0;
        textAtOffset(offset, type, &s, &e);
        if (s <= 0) {
            *start = *end = -1;
            return {};
        }
        return textAtOffset(s - 1, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        int s = 0, e = 0;
        textAtOffset(offset, type, &s, &e);
        if (e < 0 || e >= characterCount()) {
            *start = *end = -1;
            return {};
        }
        return textAtOffset(e, type, start, end);
    }

    QRect characterRect(int offset) const override {
        const QRect r = view()->characterRect(offset);
        if (r.isEmpty()) return {};
        return QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return toInt(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int) override { view()->ensureVisible(startIndex); }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("tavix::ReportView") && object && object->isWidgetType())
        return new ReportViewAccessible(static_cast<ReportView*>(object));
    return nullptr;
}
}  // namespace

ReportView::ReportView(QWidget* parent)
    : QAbstractScrollArea(parent), text_(std::make_shared<ReportText>()) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
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

    tellLater_ = new QTimer(this);
    tellLater_->setSingleShot(true);
    connect(tellLater_, &QTimer::timeout, this, [this] { announceText(nullptr); });
}

ReportView::~ReportView() = default;

void ReportView::setTabStops(const QList<qreal>& points) {
    if (points == tabStops_) return;
    tabStops_ = points;
    stopPixels_.clear();
    const qreal perPoint = logicalDpiX() / 72.0;
    for (const qreal p : points) stopPixels_.append(qRound(p * perPoint));
    std::sort(stopPixels_.begin(), stopPixels_.end());
    contentWidth_ = 0;
    updateScrollBars();
    viewport()->update();
}

void ReportView::setText(const QByteArray& utf8) { setReport(std::make_shared<ReportText>(utf8)); }

void ReportView::setReport(std::shared_ptr<const ReportText> text) {
    const std::shared_ptr<const ReportText> replaced = std::move(text_);
    text_ = text ? std::move(text) : std::make_shared<ReportText>();
    tellLater_->stop();       // what was never told is not removed either
    sinceTold_.invalidate();  // a new report's first screen is told at once
    announceText(replaced.get());
    shownLines_ = text_->lineCount();
    anchor_ = cursor_ = Position{};
    contentWidth_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    notifySelection();
}

void ReportView::textGrew() {
    if (announcedBytes_ >= 0 && sinceTold_.isValid() && sinceTold_.elapsed() < kTellEveryMs) {
        if (!tellLater_->isActive()) tellLater_->start(int(kTellEveryMs - sinceTold_.elapsed()));
    } else {
        announceText(nullptr);
    }
    updateScrollBars();
    // Lines added below the screen change nothing on it.
    const int firstUnseen = verticalScrollBar()->value() + verticalScrollBar()->pageStep() + 1;
    if (shownLines_ < firstUnseen || lineCount() <= firstUnseen) viewport()->update();
    shownLines_ = lineCount();
}

void ReportView::clear() { setReport(nullptr); }

QString ReportView::text() const { return text_->toString(); }

int ReportView::lineCount() const { return text_->lineCount(); }

QString ReportView::line(int index) const {
    if (index < 0 || index >= lineCount()) return {};
    return QString::fromUtf8(text_->line(index));
}

int ReportView::lineLength(int index) const { return static_cast<int>(line(index).size()); }

qint64 ReportView::characterCount() const { return text_->characterCount(); }

qint64 ReportView::offsetOf(Position p) const {
    if (lineCount() == 0) return 0;
    return text_->lineCharacterStart(p.line) + p.column;
}

ReportView::Position ReportView::positionOf(qint64 offset) const {
    if (lineCount() == 0) return {};
    offset = std::clamp<qint64>(offset, 0, characterCount());
    Position p;
    p.line = text_->lineAtCharacter(offset);
    p.column = static_cast<int>(
        std::min<qint64>(offset - text_->lineCharacterStart(p.line), lineLength(p.line)));
    return p;
}

qint64 ReportView::byteOf(Position p) const {
    if (lineCount() == 0) return 0;
    const QString text = line(p.line);
    return text_->lineStart(p.line) +
           QStringView(text).left(std::min<qsizetype>(p.column, text.size())).toUtf8().size();
}

qint64 ReportView::cursorPosition() const { return offsetOf(cursor_); }
qint64 ReportView::anchorPosition() const { return offsetOf(anchor_); }
bool ReportView::hasSelection() const { return anchor_ != cursor_; }

void ReportView::setSelection(qint64 anchor, qint64 cursor) {
    anchor_ = positionOf(anchor);
    cursor_ = positionOf(cursor);
    showCursor();
    notifySelection();
}

void ReportView::selectAll() {
    if (lineCount() == 0) return;
    anchor_ = Position{};
    cursor_ = Position{lineCount() - 1, lineLength(lineCount() - 1)};
    viewport()->update();
    notifySelection();
}

QString ReportView::selectedText() const {
    if (!hasSelection()) return {};
    const Position a = std::min(anchor_, cursor_), b = std::max(anchor_, cursor_);
    qint64 to = byteOf(b);
    // Everything selected takes a final line end along.
    if (b.line == lineCount() - 1 && b.column >= lineLength(b.line)) to = text_->size();
    return QString::fromUtf8(text_->copy(byteOf(a), to));
}

QString ReportView::textRange(qint64 from, qint64 to) const {
    const qint64 count = characterCount();
    from = std::clamp<qint64>(from, 0, count);
    to = std::clamp<qint64>(to, from, count);
    if (from == to) return {};
    // Byte offsets from the lines holding either end, each line read alone.
    auto byteAt = [&](qint64 offset) -> qint64 {
        if (offset >= count) return text_->size();
        const int l = text_->lineAtCharacter(offset);
        const qint64 into = offset - text_->lineCharacterStart(l);
        const qint64 lineFrom = text_->lineStart(l);
        const QString whole = QString::fromUtf8(text_->bytes(lineFrom, text_->lineEndWithBreak(l)));
        return lineFrom + QStringView(whole).left(into).toUtf8().size();
    };
    return QString::fromUtf8(text_->copy(byteAt(from), byteAt(to)));
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

int ReportView::xOfColumn(const QString& text, int column) const {
    const QFontMetrics fm(font());
    const QList<int> xs = tabbedPositions(text);
    qsizetype pieceStart = 0;
    for (int k = 0; k < xs.size(); ++k) {
        qsizetype pieceEnd = text.indexOf(u'\t', pieceStart);
        if (pieceEnd < 0) pieceEnd = text.size();
        if (column <= pieceEnd || k + 1 == xs.size())
            return xs[k] + fm.horizontalAdvance(text.mid(
                               pieceStart, std::min<qsizetype>(column, pieceEnd) - pieceStart));
        pieceStart = pieceEnd + 1;
    }
    return 0;
}

int ReportView::columnAtX(const QString& text, int x) const {
    const QFontMetrics fm(font());
    const QList<int> xs = tabbedPositions(text);
    qsizetype pieceStart = 0;
    for (int k = 0; k < xs.size(); ++k) {
        qsizetype pieceEnd = text.indexOf(u'\t', pieceStart);
        if (pieceEnd < 0) pieceEnd = text.size();
        const bool last = k + 1 == xs.size();
        if (last || x < xs[k + 1]) {
            int left = xs[k];
            for (qsizetype i = pieceStart; i < pieceEnd; ++i) {
                const int right =
                    xs[k] + fm.horizontalAdvance(text.mid(pieceStart, i + 1 - pieceStart));
                if (x < (left + right) / 2) return static_cast<int>(i);
                left = right;
            }
            // In the gap a TAB leaves: before it or after it, whichever is nearer.
            if (!last && x >= (left + xs[k + 1]) / 2) return static_cast<int>(pieceEnd + 1);
            return static_cast<int>(pieceEnd);
        }
        pieceStart = pieceEnd + 1;
    }
    return 0;
}

int ReportView::lineHeight() const { return QFontMetrics(font()).lineSpacing(); }

int ReportView::lineAtY(int y) const {
    return verticalScrollBar()->value() + std::max(0, y - kMargin) / lineHeight();
}

ReportView::Position ReportView::positionAt(const QPoint& point) const {
    if (lineCount() == 0) return {};
    Position p;
    p.line = std::clamp(lineAtY(point.y()), 0, lineCount() - 1);
    p.column = columnAtX(line(p.line), point.x() - kMargin + horizontalScrollBar()->value());
    return p;
}

qint64 ReportView::offsetAt(const QPoint& point) const { return offsetOf(positionAt(point)); }

QRect ReportView::characterRect(qint64 offset) const {
    if (lineCount() == 0) return {};
    const Position p = positionOf(offset);
    const int first = verticalScrollBar()->value();
    if (p.line < first || p.line >= first + verticalScrollBar()->pageStep() + 1) return {};
    const QString text = line(p.line);
    const int x0 = xOfColumn(text, p.column);
    const int x1 = p.column < text.size() ? xOfColumn(text, p.column + 1)
                                          : x0 + QFontMetrics(font()).averageCharWidth();
    const int dx = kMargin - horizontalScrollBar()->value();
    return QRect(dx + x0, kMargin + (p.line - first) * lineHeight(), std::max(1, x1 - x0),
                 lineHeight());
}

void ReportView::ensureVisible(qint64 offset) {
    const Position keep = cursor_;
    cursor_ = positionOf(offset);
    showCursor();
    cursor_ = keep;
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
    const Position a = std::min(anchor_, cursor_), b = std::max(anchor_, cursor_);
    const int widthBefore = contentWidth_;
    int y = kMargin;
    for (int i = verticalScrollBar()->value(); i < lineCount() && y < viewport()->height();
         ++i, y += h) {
        const QString text = line(i);
        const QList<int> xs = tabbedPositions(text);
        const QStringList pieces = text.split(u'\t');
        const int width = xs.last() + fm.horizontalAdvance(pieces.last());
        contentWidth_ = std::max(contentWidth_, width);
        auto drawPieces = [&] {
            for (int k = 0; k < pieces.size(); ++k)
                painter.drawText(dx + xs[k], y + fm.ascent(), pieces[k]);
        };
        painter.setPen(palette().color(QPalette::Text));
        drawPieces();
        if (a != b && i >= a.line && i <= b.line) {
            const int x0 = i == a.line ? xOfColumn(text, a.column) : 0;
            // A selected line end shows as a blank's width.
            const int x1 =
                i == b.line ? xOfColumn(text, b.column) : width + fm.horizontalAdvance(u' ');
            const QRect selected(dx + x0, y, x1 - x0, h);
            painter.save();
            painter.fillRect(selected, palette().highlight());
            painter.setClipRect(selected);
            painter.setPen(palette().color(QPalette::HighlightedText));
            drawPieces();
            painter.restore();
        }
        if (i == cursor_.line && hasFocus()) {
            const int x = dx + xOfColumn(text, cursor_.column);
            painter.setPen(palette().color(QPalette::Text));
            painter.drawLine(x, y, x, y + h - 1);
        }
    }
    if (contentWidth_ != widthBefore) updateScrollBars();
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    QScrollBar* v = verticalScrollBar();
    const bool caretShown = cursor_.line >= v->value() && cursor_.line < v->value() + v->pageStep();
    updateScrollBars();
    // A caret on the last lines stays in sight when the page shortens (as
    // when a horizontal scroll bar appears).
    if (caretShown && cursor_.line >= v->value() + v->pageStep())
        v->setValue(cursor_.line - v->pageStep() + 1);
}

void ReportView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ReportView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void ReportView::showCursor() {
    // Across first: a horizontal scroll bar that appears shortens the page.
    if (lineCount() > 0) {
        const int x = xOfColumn(line(cursor_.line), cursor_.column) + kMargin;
        QScrollBar* hb = horizontalScrollBar();
        if (x > contentWidth_) {
            contentWidth_ = x;
            updateScrollBars();
        }
        if (x < hb->value() + kMargin) hb->setValue(std::max(0, x - 4 * kMargin));
        if (x > hb->value() + viewport()->width() - kMargin)
            hb->setValue(x - viewport()->width() + 4 * kMargin);
    }
    QScrollBar* v = verticalScrollBar();
    if (cursor_.line < v->value()) v->setValue(cursor_.line);
    if (cursor_.line >= v->value() + v->pageStep()) v->setValue(cursor_.line - v->pageStep() + 1);
    viewport()->update();
}

// Tells assistive technology what changed as a text box does: the text
// replaced is removed, then what is read is inserted a slice at a time, so
// that no event carries more than a slice, nor copies the whole report.
bool ReportView::accessibilityActive() const { return QAccessible::isActive(); }
void ReportView::tellAccessibility(QAccessibleEvent* event) {
    QAccessible::updateAccessibility(event);
}

void ReportView::announceText(const ReportText* replaced) {
    if (!accessibilityActive()) {
        announcedBytes_ = -1;
        return;
    }
    if (!replaced && announcedBytes_ < 0) {
        // Listening began meanwhile: what is there is read when asked for.
        announcedBytes_ = text_->size();
        announcedCharacters_ = text_->characterCount();
        return;
    }
    if (replaced) {
        // A removal names the characters it takes away; past this size it
        // would no longer fit the accessibility bus's messages.
        constexpr qint64 kLargestRemoval = 4 << 20;
        if (announcedBytes_ > 0 && announcedCharacters_ <= kLargestRemoval) {
            QAccessibleTextRemoveEvent removed(
                this, 0, QString::fromUtf8(replaced->copy(0, announcedBytes_)));
            tellAccessibility(&removed);
        }
        announcedBytes_ = announcedCharacters_ = 0;
    }
    if (text_->size() == announcedBytes_) return;
    const QString added = QString::fromUtf8(text_->copy(announcedBytes_, text_->size()));
    QAccessibleTextInsertEvent inserted(this, toInt(announcedCharacters_), added);
    tellAccessibility(&inserted);
    sinceTold_.start();
    announcedBytes_ = text_->size();
    announcedCharacters_ += added.size();
}

void ReportView::notifySelection() {
    if (!QAccessible::isActive()) return;  // offsets are counted only when someone asks
    const qint64 c = cursorPosition();
    QAccessibleTextCursorEvent moved(this, toInt(c));
    QAccessible::updateAccessibility(&moved);
    const qint64 a = anchorPosition();
    QAccessibleTextSelectionEvent selected(this, toInt(std::min(a, c)), toInt(std::max(a, c)));
    selected.setCursorPosition(toInt(c));
    QAccessible::updateAccessibility(&selected);
}

void ReportView::moveCursor(Position p, bool extend) {
    if (lineCount() == 0) return;
    p.line = std::clamp(p.line, 0, lineCount() - 1);
    p.column = std::clamp(p.column, 0, lineLength(p.line));
    cursor_ = p;
    if (!extend) anchor_ = cursor_;
    showCursor();
    notifySelection();
}

ReportView::Position ReportView::moved(Position p, int key, Qt::KeyboardModifiers mods) const {
    const bool word = mods & Qt::ControlModifier;
    const int page = verticalScrollBar()->pageStep();
    auto isWordChar = [](QChar c) { return c.isLetterOrNumber(); };
    switch (key) {
        case Qt::Key_Left:
            if (p.column == 0) {
                if (p.line > 0) p = Position{p.line - 1, lineLength(p.line - 1)};
            } else if (word) {
                const QString t = line(p.line);
                int c = p.column;
                while (c > 0 && !isWordChar(t[c - 1])) --c;
                while (c > 0 && isWordChar(t[c - 1])) --c;
                p.column = c;
            } else {
                --p.column;
            }
            break;
        case Qt::Key_Right:
            if (p.column >= lineLength(p.line)) {
                if (p.line + 1 < lineCount()) p = Position{p.line + 1, 0};
            } else if (word) {
                const QString t = line(p.line);
                int c = p.column;
                while (c < t.size() && isWordChar(t[c])) ++c;
                while (c < t.size() && !isWordChar(t[c])) ++c;
                p.column = c;
            } else {
                ++p.column;
            }
            break;
        case Qt::Key_Up:
            p.line -= 1;
            break;
        case Qt::Key_Down:
            p.line += 1;
            break;
        case Qt::Key_PageUp:
            p.line -= page;
            break;
        case Qt::Key_PageDown:
            p.line += page;
            break;
        case Qt::Key_Home:
            if (word) p.line = 0;
            p.column = 0;
            break;
        case Qt::Key_End:
            if (word) p.line = lineCount() - 1;
            p.column = std::numeric_limits<int>::max();
            break;
        default:
            break;
    }
    p.line = std::clamp(p.line, 0, std::max(0, lineCount() - 1));
    p.column = std::clamp(p.column, 0, lineLength(p.line));
    return p;
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            moveCursor(moved(cursor_, event->key(), event->modifiers()),
                       event->modifiers() & Qt::ShiftModifier);
            event->accept();
            return;
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        moveCursor(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        moveCursor(positionAt(event->position().toPoint()), true);
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lineCount() == 0) return;
    const Position p = positionAt(event->position().toPoint());
    const QString t = line(p.line);
    int from = p.column, to = p.column;
    while (from > 0 && t[from - 1].isLetterOrNumber()) --from;
    while (to < t.size() && t[to].isLetterOrNumber()) ++to;
    anchor_ = Position{p.line, from};
    cursor_ = Position{p.line, to};
    showCursor();
    notifySelection();
}

}  // namespace tavix

#include "consult/PrintDocument.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>

#include "platform/Error.h"
#include "platform/Regional.h"

namespace tavix {

namespace {

const QString kTitle = QStringLiteral("Tavix - surveillance de tâches");

QString oneLine(QString text) {
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
    return text;
}

}  // namespace

void setUpPage(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
}

PrintLayout::PrintLayout(QPagedPaintDevice& device, const Summary& summary, Grouping grouping,
                         const QString& period, const QString& filter, qint64 entries)
    : device_(device), summary_(summary), grouping_(grouping), period_(period), filter_(filter) {
    font_ = QFont(QStringLiteral("DejaVu Sans"));
    font_.setPointSizeF(7.5);
    bold_ = font_;
    bold_.setBold(true);
    width_ = device.width();
    height_ = device.height();
    metrics_.emplace(font_, &device);
    boldMetrics_.emplace(bold_, &device);
    // The painter draws in device pixels; the raw fonts are sized to match.
    const qreal pixels = font_.pointSizeF() * device.logicalDpiY() / 72.0;
    raw_ = QRawFont::fromFont(font_);
    rawBold_ = QRawFont::fromFont(bold_);
    raw_.setPixelSize(pixels);
    rawBold_.setPixelSize(pixels);
    line_ = metrics_->lineSpacing();
    pad_ = line_ * 0.25;
    top_ = line_ * 3.5;
    bottom_ = height_ - line_ * 2;

    const bool rounded = summary.rounding().active();
    sums_.titles = keyTitles(grouping);
    const int keys = int(sums_.titles.size());
    sums_.titles << QStringLiteral("Entrées") << QStringLiteral("Durée") << QStringLiteral("Heures")
                 << QStringLiteral("Part (%)");
    if (rounded)
        sums_.titles << QStringLiteral("Durée arrondie") << QStringLiteral("Heures arrondies");
    if (summary.priced()) sums_.titles << QStringLiteral("Montant HT");
    const int figures = int(sums_.titles.size()) - keys;
    for (int i = 0; i < keys; ++i) sums_.widths << (1.0 - figures * 0.1) / keys;
    for (int i = 0; i < figures; ++i) sums_.widths << 0.1;
    sums_.firstNumber = keys;
    sums_.lastNumber = int(sums_.titles.size()) - 1;

    // Rounded per entry, each entry's rounded duration stands beside its own.
    const bool perEntry = rounded && !summary.rounding().perLine;
    rows_.titles = {QStringLiteral("Début"),        QStringLiteral("Fin"),
                    QStringLiteral("Surveillance"), QStringLiteral("Client"),
                    QStringLiteral("Utilisateur"),  QStringLiteral("Durée"),
                    QStringLiteral("Heures")};
    rows_.widths = {0.11, 0.11, 0.12, 0.15, 0.08, 0.07, 0.05};
    if (perEntry) {
        rows_.titles << QStringLiteral("Arrondie") << QStringLiteral("Heures arr.");
        rows_.widths << 0.07 << 0.06;
    }
    rows_.titles << QStringLiteral("Commentaire");
    qreal used = 0;
    for (const qreal w : rows_.widths) used += w;
    rows_.widths << 1.0 - used;
    rows_.firstNumber = 5;
    rows_.lastNumber = perEntry ? 8 : 6;

    // The same placement, dry: how many pages.
    page_ = 1;
    y_ = top_;
    summaryRows(true);
    for (qint64 i = 0; i < entries; ++i) row(rows_, {}, false, true);
    pages_ = page_;
}

PrintLayout::~PrintLayout() {
    if (painter_ && painter_->isActive()) painter_->end();
}

void PrintLayout::summaryRows(bool dry) {
    heading(QStringLiteral("Synthèse — %1").arg(groupingName(grouping_).toLower()), dry);
    startTable(sums_, dry);
    const bool rounded = summary_.rounding().active();
    const bool priced = summary_.priced();
    auto figures = [&](QStringList cells, qint64 n, qint64 s, qint64 r, qint64 amount,
                       qint64 unrated) {
        cells << QString::number(n) << hmsText(s) << decimalHoursText(s)
              << shareText(s, summary_.seconds());
        if (rounded) cells << hmsText(r) << decimalHoursText(r);
        if (priced) cells << amountText(amount, n, unrated);
        return cells;
    };
    if (!dry) {
        for (const SummaryLine& l : summary_.lines(grouping_))
            row(sums_, figures(l.keys, l.entries, l.seconds, l.rounded, l.amount, l.unrated), false,
                false);
    } else {
        for (size_t i = 0, n = summary_.lines(grouping_).size(); i < n; ++i)
            row(sums_, {}, false, true);
    }
    QStringList total{QStringLiteral("Total")};
    while (total.size() < sums_.firstNumber) total << QString();
    row(sums_,
        dry ? QStringList()
            : figures(total, summary_.entries(), summary_.seconds(), summary_.rounded(grouping_),
                      summary_.amount(grouping_), summary_.unrated()),
        true, dry);
    if (priced && summary_.unrated() > 0)
        heading(QStringLiteral("Montants : ") + unratedText(summary_.unrated()), dry);
    if (rounded)
        heading(QStringLiteral("Durées arrondies : ") + summary_.rounding().rule(grouping_), dry);
    heading(QStringLiteral("Entrées — %1").arg(totalsText(summary_.entries(), summary_.seconds())),
            dry);
    startTable(rows_, dry);
}

void PrintLayout::begin() {
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(&device_)) {
        const auto* printer = dynamic_cast<const QPrinter*>(&device_);
        const QString file = printer ? printer->outputFileName() : QString();
        throw Error(file.isEmpty() ? QStringLiteral("L'impression n'a pas pu commencer")
                                   : QStringLiteral("Impossible d'écrire « %1 »").arg(file));
    }
    painter_->setPen(Qt::black);
    page_ = 1;
    current_ = nullptr;
    pageHeader();
    y_ = top_;
    summaryRows(false);
}

void PrintLayout::add(const Entry& e) {
    QStringList cells{regional::dateTimeToText(e.start),
                      regional::dateTimeToText(e.end),
                      e.activity,
                      e.client,
                      e.user,
                      hmsText(e.duration),
                      decimalHoursText(e.duration)};
    if (rows_.lastNumber == 8) {
        const qint64 r = summary_.rounding().apply(e.duration);
        cells << hmsText(r) << decimalHoursText(r);
    }
    cells << e.comment;
    row(rows_, cells, false, false);
}

void PrintLayout::finish() {
    if (!painter_) return;
    if (!painter_->end()) throw Error(QStringLiteral("Le document n'a pas pu être terminé"));
}

void PrintLayout::newPage(bool dry) {
    ++page_;
    y_ = top_;
    if (dry) return;
    if (!device_.newPage()) throw Error(QStringLiteral("Impossible d'ajouter une page"));
    pageHeader();
}

void PrintLayout::pageHeader() {
    QPainter& p = *painter_;
    p.setFont(bold_);
    p.drawText(QRectF(0, 0, width_, line_), Qt::AlignLeft,
               QStringLiteral("Surveillances %1").arg(period_));
    p.setFont(font_);
    p.drawText(QRectF(0, 0, width_, line_), Qt::AlignRight, kTitle);
    p.drawText(QRectF(0, line_, width_, line_), Qt::AlignLeft, filter_);
    p.drawLine(QPointF(0, line_ * 2.5), QPointF(width_, line_ * 2.5));
    p.drawText(QRectF(0, height_ - line_, width_, line_), Qt::AlignRight,
               QStringLiteral("Page %1 / %2").arg(page_).arg(pages_));
}

void PrintLayout::heading(const QString& text, bool dry) {
    const qreal h = line_ * 1.6;
    if (y_ + h + line_ * 2 > bottom_) newPage(dry);  // never alone at a page's foot
    if (!dry) {
        painter_->setFont(bold_);
        painter_->drawText(QRectF(0, y_ + line_ * 0.4, width_, line_), Qt::AlignLeft,
                           oneLine(text));
    }
    y_ += h;
}

void PrintLayout::startTable(const Table& t, bool dry) {
    current_ = &t;
    row(t, t.titles, true, dry);
}

void PrintLayout::row(const Table& t, const QStringList& cells, bool bold, bool dry) {
    const qreal h = line_ + pad_ * 2;
    if (y_ + h > bottom_) {
        newPage(dry);
        if (current_ && &cells != &current_->titles) {
            if (!dry) paintCells(*current_, current_->titles, true);
            y_ += h;
        }
    }
    if (!dry) paintCells(t, cells, bold);
    y_ += h;
}

// Each cell's glyphs are painted where they go: no text layout per cell.
// Cells are cut short only when they do not fit.
void PrintLayout::paintCells(const Table& t, const QStringList& cells, bool bold) {
    QPainter& p = *painter_;
    p.setFont(bold ? bold_ : font_);
    const QFontMetricsF& metrics = bold ? *boldMetrics_ : *metrics_;
    const qreal h = line_ + pad_ * 2;
    const qreal baseline = y_ + pad_ + metrics.ascent();
    qreal x = 0;
    for (int c = 0; c < t.widths.size(); ++c) {
        const qreal w = t.widths[c] * width_;
        const QString text = oneLine(cells.value(c));
        const qreal room = w - pad_ * 2;
        const bool number = c >= t.firstNumber && c <= t.lastNumber;
        qreal textWidth = 0;
        const QGlyphRun* run = text.isEmpty() ? nullptr : glyphs(text, bold, textWidth);
        if (run && textWidth <= room) {
            p.drawGlyphRun(QPointF(x + pad_ + (number ? room - textWidth : 0), baseline), *run);
        } else if (!text.isEmpty()) {
            const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
            const qreal at = number ? room - metrics.horizontalAdvance(shown) : 0;
            p.drawText(QPointF(x + pad_ + at, baseline), shown);
        }
        x += w;
    }
    p.drawLine(QPointF(0, y_ + h), QPointF(width_, y_ + h));
}

const QGlyphRun* PrintLayout::glyphs(const QString& text, bool bold, qreal& width) {
    auto& known = runs_[bold ? 1 : 0];
    if (const auto it = known.constFind(text); it != known.cend()) {
        width = it->second;
        return it->first.isEmpty() ? nullptr : &it->first;
    }
    const QRawFont& raw = bold ? rawBold_ : raw_;
    QGlyphRun run;
    width = 0;
    if (raw.isValid()) {
        const QList<quint32> indexes = raw.glyphIndexesForString(text);
        if (!indexes.contains(0u) && indexes.size() == text.size()) {
            const QList<QPointF> advances = raw.advancesForGlyphIndexes(indexes);
            QList<QPointF> positions;
            positions.reserve(advances.size());
            for (const QPointF& a : advances) {
                positions.append(QPointF(width, 0));
                width += a.x();
            }
            run.setRawFont(raw);
            run.setGlyphIndexes(indexes);
            run.setPositions(positions);
        }
    }
    // Names and figures repeat; dates and comments mostly do not.
    if (known.size() > 4096) known.clear();
    const auto it = known.insert(text, {run, width});
    return run.isEmpty() ? nullptr : &it->first;
}

}  // namespace tavix

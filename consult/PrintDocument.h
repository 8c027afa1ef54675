#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "consult/Summary.h"

class QPagedPaintDevice;
class QPainter;

namespace tavix {

// A4 landscape with 12 mm margins: the same page for the printer and the PDF.
void setUpPage(QPagedPaintDevice& device);

// The summary (one grouping) and every entry, laid out and painted straight
// onto the pages: one line per row, cells cut short with "…" where they do
// not fit, the title row again at the top of each page, each page headed by
// the title, the period and the filter and closed by "Page n / N". Each row
// is painted once where it falls, so the time grows with the rows alone.
// The rows being of one height, the page count is known before painting.
class PrintLayout {
public:
    // entries: how many add() will be given.
    PrintLayout(QPagedPaintDevice& device, const Summary& summary, Grouping grouping,
                const QString& period, const QString& filter, qint64 entries);
    ~PrintLayout();
    PrintLayout(const PrintLayout&) = delete;
    PrintLayout& operator=(const PrintLayout&) = delete;

    int pageCount() const { return pages_; }
    // Paints the first page's summary; raises Error when the device refuses.
    void begin();
    void add(const Entry& e);
    // Ends the painting; raises Error when the device fails.
    void finish();

private:
    struct Table {
        QStringList titles;
        QList<qreal> widths;  // of the page's width
        int firstNumber = 0, lastNumber = -1;
    };
    // Places one row (painted unless dry), after a new page when it does
    // not fit; titles repeats the table's title row on a new page.
    void row(const Table& t, const QStringList& cells, bool bold, bool dry);
    void heading(const QString& text, bool dry);
    void startTable(const Table& t, bool dry);
    void newPage(bool dry);
    void pageHeader();
    void summaryRows(bool dry);
    void paintCells(const Table& t, const QStringList& cells, bool bold);
    // A cell's glyphs straight from the font's character map, with no
    // shaping (table text needs none); empty when a character is missing,
    // the cell then going the ordinary way.
    const QGlyphRun* glyphs(const QString& text, bool bold, qreal& width);

    QPagedPaintDevice& device_;
    const Summary& summary_;
    Grouping grouping_;
    QString period_, filter_;
    std::unique_ptr<QPainter> painter_;
    QFont font_, bold_;
    std::optional<QFontMetricsF> metrics_, boldMetrics_;
    QRawFont raw_, rawBold_;
    QHash<QString, std::pair<QGlyphRun, qreal>> runs_[2];  // of texts met, by weight
    qreal width_ = 0, height_ = 0, line_ = 0, top_ = 0, bottom_ = 0, pad_ = 0;
    qreal y_ = 0;
    int page_ = 0, pages_ = 0;
    Table sums_, rows_;
    const Table* current_ = nullptr;  // whose titles head a new page
};

}  // namespace tavix

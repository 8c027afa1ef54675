#include "consult/PrintDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include "platform/Error.h"
#include "platform/Regional.h"

namespace tavix {

namespace {

const QString kTitle = QStringLiteral("Tavix - surveillance de tâches");

QTextTable* table(QTextCursor& cursor, const QStringList& titles, const QList<int>& percents) {
    QTextTableFormat format;
    format.setHeaderRowCount(1);
    format.setCellPadding(2);
    format.setCellSpacing(0);
    format.setBorder(0.5);
    format.setBorderCollapse(true);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QList<QTextLength> widths;
    for (const int p : percents) widths << QTextLength(QTextLength::PercentageLength, p);
    format.setColumnWidthConstraints(widths);
    QTextTable* t = cursor.insertTable(1, int(titles.size()), format);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (int c = 0; c < titles.size(); ++c)
        t->cellAt(0, c).firstCursorPosition().insertText(titles[c], bold);
    return t;
}

// Cells from firstNumber to lastNumber (included) are aligned right.
void addRow(QTextTable* t, const QStringList& cells, int firstNumber, int lastNumber,
            bool bold = false) {
    const int row = t->rows();
    t->appendRows(1);
    QTextCharFormat chars;
    if (bold) chars.setFontWeight(QFont::Bold);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    for (int c = 0; c < cells.size(); ++c) {
        QTextCursor cell = t->cellAt(row, c).firstCursorPosition();
        if (c >= firstNumber && c <= lastNumber) cell.setBlockFormat(right);
        cell.insertText(cells[c], chars);
    }
}

void heading(QTextCursor& cursor, const QString& text) {
    QTextBlockFormat block;
    block.setTopMargin(8);
    block.setBottomMargin(4);
    QTextCharFormat chars;
    chars.setFontWeight(QFont::Bold);
    chars.setFontPointSize(11);
    cursor.insertBlock(block, chars);
    cursor.insertText(text);
}

}  // namespace

std::unique_ptr<QTextDocument> buildPrintDocument(const Summary& summary, Grouping grouping,
                                                  const EntrySource& entries) {
    auto doc = std::make_unique<QTextDocument>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(7.5);
    doc->setDefaultFont(font);
    doc->setDocumentMargin(0);
    QTextCursor cursor(doc.get());

    const bool rounded = summary.rounding().active();
    heading(cursor, QStringLiteral("Synthèse — %1").arg(groupingName(grouping).toLower()));
    QStringList titles = keyTitles(grouping);
    const int keys = int(titles.size());
    titles << QStringLiteral("Entrées") << QStringLiteral("Durée") << QStringLiteral("Heures")
           << QStringLiteral("Part (%)");
    if (rounded) titles << QStringLiteral("Durée arrondie") << QStringLiteral("Heures arrondies");
    QList<int> percents;
    const int figures = int(titles.size()) - keys;
    for (int i = 0; i < keys; ++i) percents << (100 - figures * 10) / keys;
    for (int i = 0; i < figures; ++i) percents << 10;
    cursor.movePosition(QTextCursor::End);
    QTextTable* sums = table(cursor, titles, percents);
    auto figureCells = [&](QStringList cells, qint64 n, qint64 s, qint64 r) {
        cells << QString::number(n) << hmsText(s) << decimalHoursText(s)
              << shareText(s, summary.seconds());
        if (rounded) cells << hmsText(r) << decimalHoursText(r);
        return cells;
    };
    for (const SummaryLine& l : summary.lines(grouping))
        addRow(sums, figureCells(l.keys, l.entries, l.seconds, l.rounded), keys, 99);
    QStringList total{QStringLiteral("Total")};
    while (total.size() < keys) total << QString();
    addRow(sums, figureCells(total, summary.entries(), summary.seconds(), summary.rounded()), keys,
           99, true);

    cursor.movePosition(QTextCursor::End);
    heading(cursor,
            QStringLiteral("Entrées — %1").arg(totalsText(summary.entries(), summary.seconds())));
    cursor.movePosition(QTextCursor::End);
    QTextTable* rows =
        table(cursor,
              {QStringLiteral("Début"), QStringLiteral("Fin"), QStringLiteral("Surveillance"),
               QStringLiteral("Client"), QStringLiteral("Utilisateur"), QStringLiteral("Durée"),
               QStringLiteral("Heures"), QStringLiteral("Commentaire")},
              {12, 12, 13, 17, 9, 8, 6, 23});
    entries([&](const Entry& e) {
        addRow(rows,
               {regional::dateTimeToText(e.start), regional::dateTimeToText(e.end), e.activity,
                e.client, e.user, hmsText(e.duration), decimalHoursText(e.duration), e.comment},
               5, 6);
    });
    return doc;
}

int printDocument(QPrinter& printer, QTextDocument& document, const QString& period,
                  const QString& filter) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString file = printer.outputFileName();
        throw Error(file.isEmpty() ? QStringLiteral("L'impression n'a pas pu commencer")
                                   : QStringLiteral("Impossible d'écrire « %1 »").arg(file));
    }
    document.documentLayout()->setPaintDevice(&printer);
    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    QFont headerFont(QStringLiteral("DejaVu Sans"));
    headerFont.setPointSizeF(8);
    const QFontMetricsF metrics(headerFont, &printer);
    const qreal line = metrics.lineSpacing();
    const qreal headerHeight = line * 3.5;
    const qreal footerHeight = line * 2;
    const QSizeF body(area.width(), area.height() - headerHeight - footerHeight);
    document.setPageSize(body);
    const int pages = document.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage())
            throw Error(QStringLiteral("Impossible d'ajouter une page"));
        painter.setFont(headerFont);
        painter.setPen(Qt::black);
        QFont bold = headerFont;
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRectF(0, 0, area.width(), line), Qt::AlignLeft,
                         QStringLiteral("Surveillances %1").arg(period));
        painter.setFont(headerFont);
        painter.drawText(QRectF(0, 0, area.width(), line), Qt::AlignRight, kTitle);
        painter.drawText(QRectF(0, line, area.width(), line), Qt::AlignLeft, filter);
        painter.drawLine(QPointF(0, line * 2.5), QPointF(area.width(), line * 2.5));
        painter.save();
        painter.translate(0, headerHeight - i * body.height());
        document.drawContents(&painter, QRectF(QPointF(0, i * body.height()), body));
        painter.restore();
        painter.drawText(QRectF(0, area.height() - line, area.width(), line), Qt::AlignRight,
                         QStringLiteral("Page %1 / %2").arg(i + 1).arg(pages));
    }
    painter.end();
    return pages;
}

QByteArray printToPdf(QTextDocument& document, const QString& period, const QString& filter) {
    QTemporaryDir dir;
    if (!dir.isValid()) throw Error(QStringLiteral("Le dossier temporaire n'a pas pu être créé"));
    const QString draft = dir.filePath(QStringLiteral("document.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(draft);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        printer.setDocName(QStringLiteral("Surveillances %1").arg(period));
        printer.setCreator(kTitle);
        printDocument(printer, document, period, filter);
    }
    QFile file(draft);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Impossible de lire « %1 »").arg(draft));
    return file.readAll();
}

}  // namespace tavix

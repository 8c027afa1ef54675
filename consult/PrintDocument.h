#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "consult/Summary.h"

class QPrinter;
class QTextDocument;

namespace tavix {

using EntrySource = std::function<void(const std::function<void(const Entry&)>&)>;

// The summary (one grouping) and every entry as a document of tables whose
// columns share the page's width; the title row of each table comes again
// on each page.
std::unique_ptr<QTextDocument> buildPrintDocument(const Summary& summary, Grouping grouping,
                                                  const EntrySource& entries);

// Prints the document page by page, each page headed by the title, the
// period and the filter and closed by "Page n / N". Returns the page count;
// raises Error when the printer refuses.
int printDocument(QPrinter& printer, QTextDocument& document, const QString& period,
                  const QString& filter);

// The same through a PDF printer, as the bytes of the PDF file.
QByteArray printToPdf(QTextDocument& document, const QString& period, const QString& filter);

}  // namespace tavix

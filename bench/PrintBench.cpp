// The PDF of every entry at 1,000, 10,000 and 100,000 entries, as the
// consultation window writes it (read, laid out, painted in slices), beside
// the floor measured in the same run: QPdfWriter painting the same lines of
// text, one drawText per line, with no layout, written to disk the same way. Also the window's
// longest pause while the export runs.

#include <sqlite3.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "consult/BillingPanel.h"
#include "consult/PrintDocument.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/Schema.h"
#include "platform/AtomicFile.h"
#include "platform/Regional.h"

using namespace tavix;

namespace {

void fill(const QString& path, int count) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const QByteArray sql =
        QStringLiteral(
            "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
            "COMMENTAIRE) WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i "
            "< %1) SELECT 'marie', 'Activité ' || (i % 10), 'Client ' || (i % 20) || ' d''Études', "
            "strftime('%Y-%m-%d %H:%M:%S', '2020-01-01 08:00:00', '+' || (i * 600) || ' "
            "seconds'), strftime('%Y-%m-%d %H:%M:%S', '2020-01-01 08:00:00', '+' || (i * 600 + "
            "60 + i % 500) || ' seconds'), 60 + i % 500, CASE WHEN i % 7 = 0 THEN 'Appel du "
            "client au sujet de la facture' END FROM n")
            .arg(count - 1)
            .toUtf8();
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The floor: the same entries' text, one line each, painted with no layout,
// the file then written as every export is (atomically, synced).
double floorMs(const QStringList& lines, const QString& path) {
    QElapsedTimer t;
    t.start();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        setUpPage(writer);
        QPainter p(&writer);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(7.5);
        p.setFont(font);
        const qreal line = QFontMetricsF(font, &writer).lineSpacing() * 1.5;
        qreal y = line;
        for (const QString& l : lines) {
            if (y > writer.height()) {
                writer.newPage();
                y = line;
            }
            p.drawText(QPointF(0, y), l);
            y += line;
        }
    }
    files::writeAtomically(path, buffer.data());
    return t.nsecsElapsed() / 1e6;
}

void runSize(int count, int rounds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    db::Connection::createDatabase(path, db::defaultSchema());
    fill(path, count);

    TDataModule2 module;
    module.DatabasePath = path;
    module.OpenDatabase();
    TForm5 form;
    form.resize(1000, 700);
    form.show();
    form.chkTout->setChecked(true);
    form.Commenter->click();
    while (form.reportRunning() || form.Billing->totalsRunning()) QApplication::processEvents();

    QStringList lines;
    forEachEntry(module.ADOConnection1, *form.Billing->selection(), [&](const Entry& e) {
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8")
                     .arg(regional::dateTimeToText(e.start), regional::dateTimeToText(e.end),
                          e.activity, e.client, e.user, hmsText(e.duration),
                          decimalHoursText(e.duration), e.comment);
    });

    double floor = 1e18, ours = 1e18, pause = 0;
    for (int r = 0; r < rounds; ++r) {
        floor =
            std::min(floor, floorMs(lines, dir.filePath(QStringLiteral("plancher%1.pdf").arg(r))));
        QElapsedTimer gap, t;
        double longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, gap.nsecsElapsed() / 1e6);
            gap.restart();
        });
        const QString out = dir.filePath(QStringLiteral("sortie%1.pdf").arg(r));
        ticker.start(5);
        gap.start();
        t.start();
        form.Billing->exportFile(BillingPanel::Export::Pdf, out);
        const double ms = t.nsecsElapsed() / 1e6;
        longest = std::max(longest, gap.nsecsElapsed() / 1e6);
        ticker.stop();
        ours = std::min(ours, ms);
        pause = std::max(pause, longest);
    }
    std::printf(
        "%7d entries: PDF %8.0f ms  (floor, QPdfWriter painting the same lines: %8.0f ms; "
        "x%.2f)  longest pause %5.0f ms\n",
        count, ours, floor, ours / floor, pause);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes = {1000, 10000, 100000};
    if (argc > 1) sizes = {QByteArray(argv[1]).toInt()};
    for (const int n : sizes) runSize(n, n >= 100000 ? 2 : 3);
    return 0;
}

// A year of one client's entries as a statement, one line per entry, saved
// as the consultation window saves it (read from the base, priced, laid out,
// painted, written atomically), numbered as an invoice or not, beside the
// floor measured in the same run: QPdfWriter painting the same lines of
// text, one drawText per line, written the same way. The goal: under a
// second.

#include <sqlite3.h>

#include <QApplication>
#include <QBuffer>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "consult/BillingPanel.h"
#include "consult/PrintDocument.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "data/Billing.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/Schema.h"
#include "platform/AtomicFile.h"
#include "platform/Regional.h"

using namespace tavix;

namespace {

const QString kClient = QStringLiteral("Atelier Brun d'Études");

// Eight entries a working day of 2026 for the client, and as many for
// another, so that the selection has to pick.
void fill(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const QByteArray sql =
        QStringLiteral(
            "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
            "COMMENTAIRE) WITH RECURSIVE d(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM d WHERE i "
            "< 364), s(j) AS (SELECT 0 UNION ALL SELECT j + 1 FROM s WHERE j < 15) SELECT "
            "'marie', 'Activité ' || (j % 4), CASE WHEN j % 2 = 0 THEN '%1' ELSE 'Autre' END, "
            "strftime('%Y-%m-%d %H:%M:%S', '2026-01-01 08:00:00', '+' || i || ' days', '+' || "
            "(j * 1800) || ' seconds'), strftime('%Y-%m-%d %H:%M:%S', '2026-01-01 08:00:00', '+' "
            "|| i || ' days', '+' || (j * 1800 + 1500 + i % 200) || ' seconds'), 1500 + i % 200, "
            "CASE WHEN j % 3 = 0 THEN 'Maquette et reprise des écrans' END FROM d, s WHERE "
            "strftime('%w', '2026-01-01', '+' || i || ' days') NOT IN ('0', '6')")
            .arg(QString(kClient).replace(u'\'', QStringLiteral("''")))
            .toUtf8();
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

double floorMs(const QStringList& lines, const QString& path) {
    QElapsedTimer t;
    t.start();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        QPainter p(&writer);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(9);
        p.setFont(font);
        const qreal line = QFontMetricsF(font, &writer).lineSpacing() * 1.4;
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    db::Connection::createDatabase(path, db::defaultSchema());
    fill(path);

    TDataModule2 module;
    module.DatabasePath = path;
    module.OpenDatabase();
    billing::saveRate(module.ADOConnection1, {kClient, {}, QDate(2026, 1, 1), 6500, false});
    billing::saveRate(module.ADOConnection1,
                      {kClient, QStringLiteral("Activité 1"), QDate(2026, 6, 1), 8000, false});
    TForm5 form;
    form.show();
    form.dateDebut->setDateTime(QDateTime(QDate(2026, 1, 1), QTime(10, 0)));
    form.DateFin->setDateTime(QDateTime(QDate(2026, 12, 31), QTime(10, 0)));
    form.Commenter->click();
    while (form.reportRunning() || form.Billing->totalsRunning()) QApplication::processEvents();

    EntryFilter only;
    only.client = kClient;
    only.from = QDate(2026, 1, 1);
    only.to = QDate(2026, 12, 31);
    QStringList lines;
    forEachEntry(module.ADOConnection1, only, [&](const Entry& e) {
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6")
                     .arg(regional::dateToText(e.start.date()), e.activity, hmsText(e.duration),
                          hmsText(e.duration), QStringLiteral("65,00 € / h"),
                          QStringLiteral("54,17 €"));
    });

    const BillingPanel::StatementRequest request{kClient, only.from, only.to,
                                                 StatementDetail::Entry, false};
    for (const bool numbered : {false, true}) {
        double floor = 1e18, ours = 1e18;
        for (int r = 0; r < 3; ++r) {
            floor = std::min(floor,
                             floorMs(lines, dir.filePath(QStringLiteral("plancher%1.pdf").arg(r))));
            BillingPanel::StatementRequest req = request;
            req.numbered = numbered;
            QElapsedTimer t;
            t.start();
            form.Billing->saveStatement(
                req, dir.filePath(QStringLiteral("releve%1%2.pdf").arg(numbered).arg(r)));
            ours = std::min(ours, t.nsecsElapsed() / 1e6);
        }
        std::printf(
            "statement of a year, %lld entries%s: %6.0f ms  (floor, QPdfWriter painting the same "
            "lines: %6.0f ms; x%.2f; goal under 1000 ms)\n",
            qlonglong(lines.size()), numbered ? ", numbered" : "", ours, floor, ours / floor);
    }
    return 0;
}

// The consultation window on 10k, 100k and 1M log entries: "&Voir" with
// "Tout" and with one month, beside the true floor (the same rows stepped
// through SQLite's C API into one buffer reserved up front, formatted by
// hand); the first screen of lines and the longest pause of the event loop;
// the grid's table opened on the month; the peak memory at each size.
//
// With a screen reader listening, the report's text goes out on the
// accessibility bus as well; to measure that, run it on a desktop bus with
// the bridge on:
//   dbus-run-session -- xvfb-run -a env QT_QPA_PLATFORM=xcb
//       QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 build/bench/bench_consult 1000000

#include <sqlite3.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "consult/BillingPanel.h"
#include "consult/Entries.h"
#include "consult/Report.h"
#include "consult/Summary.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/ReportView.h"
#include "data/Unit2.h"
#include "data/engine/Schema.h"
#include "settings/outils.h"

using namespace tavix;

namespace {

volatile qint64 sink = 0;

// Peak resident memory, in MB, since the last reset (Linux only: a bench
// of this machine, not of the program).
double peakMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return -1;
}
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// Several users, twenty clients, ten activities, five years of working
// days from 2020, entries written in order of time as they would be.
void fill(const QString& path, int count) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, "
                       "DUREE, COMMENTAIRE) VALUES (?, ?, ?, ?, ?, ?, ?)",
                       -1, &stmt, nullptr);
    const char* users[] = {"marie", "paul", "", "jeanne"};
    QList<QByteArray> clients, activities;
    for (int i = 0; i < 20; ++i) {
        clients << QStringLiteral("Client %1 d'Études").arg(i + 1).toUtf8();
        sqlite3_exec(db,
                     QStringLiteral("INSERT INTO clients (NOM) VALUES ('Client %1 d''Études')")
                         .arg(i + 1)
                         .toUtf8(),
                     nullptr, nullptr, nullptr);
    }
    for (int i = 0; i < 10; ++i) {
        activities << QStringLiteral("Activité %1").arg(i + 1).toUtf8();
        sqlite3_exec(
            db,
            QStringLiteral("INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Activité %1', %1)")
                .arg(i + 1)
                .toUtf8(),
            nullptr, nullptr, nullptr);
    }
    QList<QDate> days;
    for (QDate d(2020, 1, 1); d < QDate(2025, 1, 1); d = d.addDays(1))
        if (d.dayOfWeek() <= 5) days << d;
    const qint64 perDay = (count + days.size() - 1) / days.size();
    const int step = static_cast<int>(std::max<qint64>(1, 36000 / perDay));  // 8h-18h
    for (int i = 0; i < count; ++i) {
        const QDate day = days[static_cast<int>(i / perDay)];
        const DateTime start(day, QTime(8, 0).addSecs(static_cast<int>(i % perDay) * step));
        const int duration = 60 + (i * 37) % std::max(60, step - 60);
        const QByteArray b = start.toIso().toUtf8();
        const QByteArray e = start.addSecs(duration).toIso().toUtf8();
        sqlite3_bind_text(stmt, 1, users[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, activities[i % 10].constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, clients[(i / 3) % 20].constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 4, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, e.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 6, duration);
        if (i % 7 == 0)
            sqlite3_bind_text(stmt, 7, "Appel du client au sujet de la facture", -1, SQLITE_STATIC);
        else
            sqlite3_bind_null(stmt, 7);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    // The index the program adds when it opens the file, so the floor reads
    // the same file.
    sqlite3_exec(db, "CREATE INDEX activites_debut_fin ON activites (DEBUT, FIN)", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
}

// 'yyyy-MM-dd HH:mm:ss' -> 'dd/MM/yyyy HH:mm:ss' (time left out at midnight).
char* putDate(char* out, const char* p, int n) {
    if (n < 10) return out;
    const char d[10] = {p[8], p[9], '/', p[5], p[6], '/', p[0], p[1], p[2], p[3]};
    std::memcpy(out, d, 10);
    out += 10;
    if (n == 19 && std::memcmp(p + 11, "00:00:00", 8) != 0) {
        *out++ = ' ';
        std::memcpy(out, p + 11, 8);
        out += 8;
    }
    return out;
}

char* putHMS(char* out, int s) {
    const int h = s / 3600;
    if (h >= 100)
        out += std::snprintf(out, 16, "%d", h);  // never in this data
    else {
        *out++ = static_cast<char>('0' + h / 10);
        *out++ = static_cast<char>('0' + h % 10);
    }
    const int m = s / 60 % 60, sec = s % 60;
    const char rest[6] = {
        ':', static_cast<char>('0' + m / 10),   static_cast<char>('0' + m % 10),
        ':', static_cast<char>('0' + sec / 10), static_cast<char>('0' + sec % 10)};
    std::memcpy(out, rest, 6);
    return out + 6;
}

// The true floor: the same statement in SQLite's own SQL stepped through
// the C API, each row written by column index into one buffer reserved up
// front, formatted by hand. reserve: the bytes to reserve (the output's
// size from an earlier run); returns the output's size through written.
double floorMs(sqlite3* db, const char* where, qint64 reserve, qint64* written = nullptr) {
    QElapsedTimer t;
    t.start();
    const QByteArray sql =
        QByteArray(
            "SELECT \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
            "FROM activites ") +
        where + " ORDER BY DEBUT";
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(reserve + 4096)]);
    char* out = buffer.get();
    char* const limit = out + reserve;
    qint64 total = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW && out < limit) {
        for (int c = 0; c < 3; ++c) {
            const int n = sqlite3_column_bytes(stmt, c);
            std::memcpy(out, sqlite3_column_text(stmt, c), static_cast<size_t>(n));
            out += n;
            *out++ = '\t';
        }
        for (int c = 3; c < 5; ++c) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            out = putDate(out, p, sqlite3_column_bytes(stmt, c));
            *out++ = '\t';
        }
        const int s = sqlite3_column_int(stmt, 5);
        total += s;
        out = putHMS(out, s);
        *out++ = '\r';
        *out++ = '\n';
    }
    sqlite3_finalize(stmt);
    if (written) *written = out - buffer.get();
    sink = sink + (out - buffer.get()) + total;
    return t.nsecsElapsed() / 1e6;
}

// The floor of the billing totals: the same rows stepped through the C
// API, every column read, the durations summed.
double totalsFloorMs(sqlite3* db, const char* where) {
    QElapsedTimer t;
    t.start();
    const QByteArray sql =
        QByteArray(
            "SELECT rowid, \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
            "FROM activites ") +
        where + " ORDER BY DEBUT, rowid";
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    qint64 total = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 1; c < 8; ++c)
            if (c != 6) total += sqlite3_column_bytes(stmt, c);
        total += sqlite3_column_int64(stmt, 6) + sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sink = sink + total;
    return t.nsecsElapsed() / 1e6;
}

struct Figures {
    double ms = 0;  // to the report read and laid out
    double firstScreenMs = -1;
    double longestPauseMs = 0;     // until the report is read
    double totalsMs = 0;           // to the billing totals shown
    double totalsOwnMs = 0;        // from the report read to the totals shown
    double longestPauseAllMs = 0;  // the billing slices too
    int lines = 0;
};

// Notes when the report's view first paints lines.
class FirstPaint : public QObject {
public:
    FirstPaint(ReportView* view, const QElapsedTimer& clock, double& at)
        : view_(view), clock_(clock), at_(at) {
        view->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at_ < 0 && view_->lineCount() > 0) {
            view_->viewport()->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { at_ = clock_.nsecsElapsed() / 1e6; });
        }
        return false;
    }

private:
    ReportView* view_;
    const QElapsedTimer& clock_;
    double& at_;
};

// From the click on the real window to the report laid out on screen, then
// to the billing totals read after it, with the longest gap between ticks
// of a 5 ms timer running meanwhile.
Figures clickVoir(TForm5& form) {
    Figures f;
    bool ready = false, totals = false;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double pause = gap.nsecsElapsed() / 1e6;
        if (!ready) f.longestPauseMs = std::max(f.longestPauseMs, pause);
        f.longestPauseAllMs = std::max(f.longestPauseAllMs, pause);
        gap.restart();
    });
    QEventLoop loop;
    QElapsedTimer t;
    double readyAt = 0;
    const auto done = QObject::connect(&form, &TForm5::reportReady, [&] {
        ready = true;
        readyAt = t.nsecsElapsed() / 1e6;
        loop.quit();
    });
    const auto billed = QObject::connect(form.Billing, &BillingPanel::totalsReady, [&] {
        totals = true;
        loop.quit();
    });
    FirstPaint firstPaint(form.RichEdit1, t, f.firstScreenMs);
    // What the bench changed before the click (boxes, dates) is painted
    // first, as it would be long before a user clicks.
    QApplication::processEvents();
    ticker.start();
    gap.start();
    t.start();
    QTimer::singleShot(0, &form, [&] { form.Commenter->click(); });
    while (!ready) loop.exec();
    // The totals' first slice may run before the loop hands back: it is
    // left out of the report's time.
    QElapsedTimer layout;
    layout.start();
    form.RichEdit1->viewport()->repaint();  // first screen laid out
    f.ms = readyAt + layout.nsecsElapsed() / 1e6;
    f.longestPauseMs = std::max(f.longestPauseMs, gap.nsecsElapsed() / 1e6);
    if (f.firstScreenMs < 0) f.firstScreenMs = f.ms;  // all within one pass
    while (!totals) loop.exec();
    f.totalsMs = t.nsecsElapsed() / 1e6;
    f.totalsOwnMs = f.totalsMs - readyAt;
    f.longestPauseAllMs =
        std::max({f.longestPauseAllMs, f.longestPauseMs, gap.nsecsElapsed() / 1e6});
    ticker.stop();
    QObject::disconnect(done);
    QObject::disconnect(billed);
    f.lines = form.RichEdit1->lineCount();
    return f;
}

void runSize(int count) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    db::Connection::createDatabase(path, db::defaultSchema());
    fill(path, count);

    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    // The month's rows read the quickest bare way: no entry of this log
    // ends before it starts, so bounding DEBUT from above keeps them all.
    const char* monthWhere =
        "WHERE DEBUT>='2022-03-01 00:00:00' AND DEBUT<='2022-04-01 00:00:00' AND "
        "FIN<='2022-04-01 00:00:00'";
    // A first run warms the file cache for both sides and gives the size
    // to reserve.
    qint64 allBytes = 0, monthBytes = 0;
    floorMs(raw, "", qint64(count) * 200, &allBytes);
    floorMs(raw, monthWhere, qint64(count) * 200, &monthBytes);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* ids = nullptr;
    sqlite3_prepare_v2(raw, (QByteArray("SELECT rowid FROM activites ") + monthWhere).constData(),
                       -1, &ids, nullptr);
    int kept = 0;
    while (sqlite3_step(ids) == SQLITE_ROW) ++kept;
    sqlite3_finalize(ids);
    const double floorIds = t.nsecsElapsed() / 1e6;

    resetPeak();
    const double baseMb = peakMb();
    TDataModule2 module;
    module.DatabasePath = path;
    module.OpenDatabase();
    module.ADOTable1.open();
    TForm5 form;
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();

    // The machine is shared: each side runs several times, in turns, and
    // keeps its best time; pauses and first screens keep their worst.
    const int rounds = count >= 1000000 ? 3 : 5;
    double floorAll = 1e18, floorMonth = 1e18, readerMs = 1e18;
    double totalsFloorAll = 1e18, totalsFloorMonth = 1e18, totalsAloneMs = 1e18;
    Figures all, month;
    auto merge = [](Figures& into, const Figures& f, bool first) {
        into.ms = first ? f.ms : std::min(into.ms, f.ms);
        into.firstScreenMs = std::max(into.firstScreenMs, f.firstScreenMs);
        into.longestPauseMs = std::max(into.longestPauseMs, f.longestPauseMs);
        into.totalsMs = first ? f.totalsMs : std::min(into.totalsMs, f.totalsMs);
        into.totalsOwnMs = first ? f.totalsOwnMs : std::min(into.totalsOwnMs, f.totalsOwnMs);
        into.longestPauseAllMs = std::max(into.longestPauseAllMs, f.longestPauseAllMs);
        into.lines = f.lines;
    };
    for (int round = 0; round < rounds; ++round) {
        floorAll = std::min(floorAll, floorMs(raw, "", allBytes));
        totalsFloorAll = std::min(totalsFloorAll, totalsFloorMs(raw, ""));
        // The report's reader alone, without the window: what slicing and
        // painting add is the rest.
        {
            const ReportSelection selection =
                BuildReportSelection(QStringLiteral("Tous"), QStringLiteral("Tous"), {}, {}, true);
            QElapsedTimer r;
            r.start();
            ReportReader reader(module.ADOConnection1, selection, false);
            reader.read(-1);
            readerMs = std::min(readerMs, r.nsecsElapsed() / 1e6);
        }
        // The billing totals alone, without the window.
        {
            EntryFilter everything;
            everything.all = true;
            QElapsedTimer r;
            r.start();
            Summary totals;
            forEachEntry(module.ADOConnection1, everything, [&](const Entry& e) { totals.add(e); });
            sink = sink + totals.seconds();
            totalsAloneMs = std::min(totalsAloneMs, r.nsecsElapsed() / 1e6);
        }
        form.chkTout->setChecked(true);
        merge(all, clickVoir(form), round == 0);

        floorMonth = std::min(floorMonth, floorMs(raw, monthWhere, monthBytes));
        totalsFloorMonth = std::min(totalsFloorMonth, totalsFloorMs(raw, monthWhere));
        form.chkTout->setChecked(false);
        form.dateDebut->setDateTime(QDateTime(QDate(2022, 3, 1), QTime(0, 0)));
        form.DateFin->setDateTime(QDateTime(QDate(2022, 3, 31), QTime(0, 0)));
        merge(month, clickVoir(form), round == 0);
    }
    sqlite3_close(raw);

    // The grid's table on the month, and its first screen of cells.
    db::TableDataset& table = module.ADOTable1;
    t.restart();
    table.close();
    table.open();
    for (int row = 0; row < std::min(40, table.recordCount()); ++row)
        for (int c = 0; c < table.fields().size(); ++c) sink = sink + table.textAt(row, c).size();
    const double gridMs = t.nsecsElapsed() / 1e6;
    const int gridRows = table.recordCount();
    const double peak = peakMb();
    form.close();

    std::printf(
        "%d entries (best of %d runs each), %s\n", count, rounds,
        QAccessible::isActive() ? "the accessibility bus listening" : "no accessibility listener");
    std::printf(
        "  Voir, Tout:      %8.0f ms  (true floor, bare C API into one buffer: %6.0f ms; "
        "x%.2f)  %d lines\n",
        all.ms, floorAll, all.ms / floorAll, all.lines);
    std::printf(
        "     first screen %.0f ms after the click, longest pause %.0f ms "
        "(goals: 100 ms, 100 ms)\n",
        all.firstScreenMs, all.longestPauseMs);
    std::printf("     the report's reader alone, no window: %.0f ms (x%.2f)\n", readerMs,
                readerMs / floorAll);
    std::printf(
        "     billing totals: %.0f ms (their rows alone, bare C API: %.0f ms; x%.2f; goal x1.5), "
        "shown %.0f ms after the click, %.0f ms after the report; longest pause with their "
        "slices %.0f ms (goal: 100 ms)\n",
        totalsAloneMs, totalsFloorAll, totalsAloneMs / totalsFloorAll, all.totalsMs,
        all.totalsOwnMs, all.longestPauseAllMs);
    std::printf("  Voir, one month: %8.1f ms  (true floor: %6.1f ms; x%.2f)  %d lines\n", month.ms,
                floorMonth, month.ms / floorMonth, month.lines);
    std::printf("     first screen %.0f ms after the click, longest pause %.0f ms\n",
                month.firstScreenMs, month.longestPauseMs);
    std::printf(
        "     billing totals shown %.1f ms after the click, %.1f ms after the report (their rows "
        "alone: %.1f ms); longest pause with their slices %.0f ms (goal: 100 ms)\n",
        month.totalsMs, month.totalsOwnMs, totalsFloorMonth, month.longestPauseAllMs);
    std::printf(
        "  grid table on the month: %6.1f ms for %d rows (floor, bare ids: %.1f ms for %d)\n",
        gridMs, gridRows, floorIds, kept);
    std::printf("  peak memory of the window: %.0f MB (before it: %.0f MB; goal at 1M: 250 MB)\n",
                peak, baseMb);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes = {10000, 100000, 1000000};
    if (argc > 1) sizes = {QByteArray(argv[1]).toInt()};
    for (const int n : sizes) runSize(n);
    return 0;
}

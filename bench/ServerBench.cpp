// A shared PostgreSQL log: two processes make 1,000 stops each through the
// data module, then the report reads 100,000 entries through the engine,
// then the report's reader streams 1,000,000 entries in slices as the
// window does.
// Each figure is printed beside a bare libpq floor measured in the same run.
// The server is a throw-away one of the run's own, unless TAVIX_BENCH_PG
// names one (a libpq keyword string or URI of an empty database).

#include <libpq-fe.h>

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/PgCluster.h"
#include "consult/Entries.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "platform/Application.h"

namespace {

constexpr int kStops = 1000;
constexpr int kRows = 100000;
constexpr int kRuns = 5;
constexpr int kStreamRows = 1000000;
constexpr int kStreamRuns = 3;
constexpr int kSliceMs = 30;  // what the report's window gives a slice

volatile qint64 sink = 0;

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Figures {
    double median = 0;
    double p99 = 0;
};

Figures figuresOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

PGconn* connectRaw(const QString& conninfo) {
    PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
    if (PQstatus(c) != CONNECTION_OK) {
        std::fprintf(stderr, "libpq: %s", PQerrorMessage(c));
        std::exit(2);
    }
    return c;
}

void run(PGconn* c, const char* sql) {
    PGresult* r = PQexec(c, sql);
    const auto s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "%s in %s\n", PQresultErrorMessage(r), sql);
        std::exit(2);
    }
    PQclear(r);
}

// One workstation: kStops stops through the data module; prints each
// stop-to-commit time in microseconds.
int worker(const QString& conninfo, int station) {
    tavix::TDataModule2 module;
    module.DatabasePath = conninfo;
    if (!module.OpenDatabase()) return 3;
    const tavix::DateTime base(QDate(2026, 1, 5), QTime(8, 0));
    const QString user = QStringLiteral("Poste%1").arg(station);
    for (int i = 0; i < kStops; ++i) {
        const tavix::DateTime start = base.addSecs(i * 120);
        const auto t0 = Clock::now();
        module.AddLogEntry(user, QStringLiteral("Dupont"), QStringLiteral("Saisie"), start,
                           start.addSecs(60), 60, QString());
        std::printf("%.1f\n", micros(Clock::now() - t0));
    }
    return 0;
}

// The floor, one workstation: the same row inserted with one bare
// PQexecParams, committed; prints each time in microseconds.
int bareInserts(const QString& conninfo) {
    PGconn* c = connectRaw(conninfo);
    for (int i = 0; i < kStops; ++i) {
        const QByteArray start = QByteArray("2026-01-05 08:00:00");
        const QByteArray n = QByteArray::number(i);
        const char* values[] = {"Poste0",          "Saisie",      "Dupont", start.constData(),
                                start.constData(), n.constData(), ""};
        const auto t0 = Clock::now();
        PGresult* r = PQexecParams(c,
                                   "INSERT INTO plancher (\"USER\", \"SURVEILLANCES\", "
                                   "\"CLIENTS\", \"DEBUT\", \"FIN\", \"DUREE\", \"COMMENTAIRE\") "
                                   "VALUES ($1, $2, $3, $4, $5, $6, $7)",
                                   7, nullptr, values, nullptr, nullptr, 0);
        std::printf("%.1f\n", micros(Clock::now() - t0));
        PQclear(r);
    }
    PQfinish(c);
    return 0;
}

// Two workstations at once, each a copy of this program; their times.
std::vector<double> twoProcesses(const QString& mode, const QString& conninfo) {
    std::vector<double> out;
    QProcess a, b;
    for (auto [p, station] : {std::pair{&a, 1}, std::pair{&b, 2}})
        p->start(QCoreApplication::applicationFilePath(),
                 {mode, conninfo, QString::number(station)});
    for (QProcess* p : {&a, &b}) {
        p->waitForFinished(-1);
        if (p->exitCode() != 0) {
            std::fprintf(stderr, "a workstation failed: %s\n",
                         p->readAllStandardError().constData());
            std::exit(1);
        }
        for (const QByteArray& line : p->readAllStandardOutput().split('\n'))
            if (!line.isEmpty()) out.push_back(line.toDouble());
    }
    return out;
}

qint64 readEngine(tavix::db::Connection& connection) {
    tavix::db::Query q(connection);
    q.add(QStringLiteral(
        "SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE] FROM "
        "activites  ORDER BY DEBUT"));
    q.open();
    qint64 rows = 0, total = 0;
    qsizetype chars = 0;
    for (; !q.eof(); q.next(), ++rows) {
        chars += q.asString(QStringLiteral("USER")).size();
        chars += q.asString(QStringLiteral("SURVEILLANCES")).size();
        chars += q.asString(QStringLiteral("CLIENTS")).size();
        chars += q.asString(QStringLiteral("DEBUT")).size();
        chars += q.asString(QStringLiteral("FIN")).size();
        total += q.asInteger(QStringLiteral("DUREE"));
    }
    sink = sink + total + chars;
    return rows;
}

qint64 readBare(PGconn* c) {
    PGresult* r = PQexec(c,
                         "SELECT \"USER\", \"SURVEILLANCES\", \"CLIENTS\", \"DEBUT\", \"FIN\", "
                         "\"DUREE\", \"COMMENTAIRE\" FROM activites ORDER BY \"DEBUT\"");
    qint64 total = 0;
    qsizetype chars = 0;
    const int rows = PQntuples(r);
    for (int i = 0; i < rows; ++i) {
        for (int col = 0; col < 5; ++col)
            chars += QString::fromUtf8(PQgetvalue(r, i, col), PQgetlength(r, i, col)).size();
        total += QByteArray(PQgetvalue(r, i, 5)).toInt();
    }
    PQclear(r);
    sink = sink + total + chars;
    return rows;
}

double rowsPerSecond(qint64 expected, const std::function<qint64()>& read) {
    const auto t0 = Clock::now();
    const qint64 rows = read();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (rows != expected) {
        std::fprintf(stderr, "read %lld rows instead of %lld\n", static_cast<long long>(rows),
                     static_cast<long long>(expected));
        std::exit(1);
    }
    return rows / seconds;
}

// Resident memory in kB: now, and the peak since resetPeak().
qint64 statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stoll(line.substr(std::string(key).size()));
    return 0;
}
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Stream {
    double seconds = 0;
    double firstMs = 0;    // until the first entry is in hand
    double longestMs = 0;  // the longest the window waits on one slice
    double peakMb = 0;     // peak resident growth over the read
};

// The report's reader as the window drives it: a slice of kSliceMs, then
// back to the event loop.
Stream streamEntries(tavix::db::Connection& connection) {
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    Stream s;
    qint64 rows = 0, total = 0;
    qsizetype chars = 0;
    const auto t0 = Clock::now();
    auto sliceStart = t0;
    tavix::EntryFilter filter;
    filter.all = true;
    {
        tavix::EntryCursor cursor(connection, filter);
        bool done = false;
        while (!done) {
            done = cursor.read(kSliceMs, [&](const tavix::Entry& e) {
                if (rows++ == 0) s.firstMs = micros(Clock::now() - t0) / 1000;
                chars += e.user.size() + e.activity.size() + e.client.size() + e.comment.size();
                total += e.duration + e.start.toIso().size();
            });
            const auto now = Clock::now();
            s.longestMs = std::max(s.longestMs, micros(now - sliceStart) / 1000);
            sliceStart = now;
        }
    }
    s.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    s.peakMb = double(statusKb("VmHWM:") - before) / 1024;
    sink = sink + total + chars;
    if (rows != kStreamRows) {
        std::fprintf(stderr, "streamed %lld entries instead of %d\n", static_cast<long long>(rows),
                     kStreamRows);
        std::exit(1);
    }
    return s;
}

// The floor: the same rows in one bare PQexec, the texts decoded as the
// reader does.
Stream bareEntries(PGconn* c) {
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    Stream s;
    const auto t0 = Clock::now();
    PGresult* r = PQexec(c,
                         "SELECT \"ID\", \"USER\", \"SURVEILLANCES\", \"CLIENTS\", \"DEBUT\", "
                         "\"FIN\", \"DUREE\", \"COMMENTAIRE\" FROM activites ORDER BY \"DEBUT\", "
                         "\"ID\"");
    s.firstMs = micros(Clock::now() - t0) / 1000;
    qint64 total = 0;
    qsizetype chars = 0;
    const int rows = PQntuples(r);
    for (int i = 0; i < rows; ++i) {
        for (int col : {1, 2, 3, 4, 5, 7})
            chars += QString::fromUtf8(PQgetvalue(r, i, col), PQgetlength(r, i, col)).size();
        total += QByteArray(PQgetvalue(r, i, 6)).toLongLong();
    }
    PQclear(r);
    s.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    s.longestMs = s.seconds * 1000;
    s.peakMb = double(statusKb("VmHWM:") - before) / 1024;
    sink = sink + total + chars;
    if (rows != kStreamRows) {
        std::fprintf(stderr, "bare read %d rows instead of %d\n", rows, kStreamRows);
        std::exit(1);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    tavix::Application app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--poste") == 0)
        return worker(QString::fromUtf8(argv[2]), QByteArray(argv[3]).toInt());
    if (argc == 4 && qstrcmp(argv[1], "--plancher") == 0)
        return bareInserts(QString::fromUtf8(argv[2]));

    QString conninfo = qEnvironmentVariable("TAVIX_BENCH_PG");
    if (conninfo.isEmpty()) {
        tavix::test::PgCluster* cluster = tavix::test::PgCluster::get();
        if (!cluster) {
            std::fprintf(stderr, "no PostgreSQL server: %s\n",
                         qPrintable(tavix::test::PgCluster::reason()));
            return 2;
        }
        conninfo = cluster->createDatabase();
        std::printf("throw-away local server (Unix socket, fsync off)\n");
    }

    // The tables, made by a first connection as a workstation would.
    {
        tavix::TDataModule2 module;
        module.DatabasePath = conninfo;
        if (!module.OpenDatabase()) return 3;
    }

    // "--lecture": the streamed reading alone, to look at it closely.
    const bool readingOnly = argc == 2 && qstrcmp(argv[1], "--lecture") == 0;
    int lost = 0, duplicated = 0;
    PGconn* c = connectRaw(conninfo);
    tavix::db::Connection connection;
    connection.setConnectionString(QStringLiteral("Data Source=") + conninfo);
    connection.open();
    if (!readingOnly) {
        // Two workstations at once, through the program and then bare.
        const std::vector<double> stops = twoProcesses(QStringLiteral("--poste"), conninfo);
        run(c, "CREATE TABLE plancher (LIKE activites INCLUDING ALL)");
        const std::vector<double> floor = twoProcesses(QStringLiteral("--plancher"), conninfo);

        PGresult* counts = PQexec(c,
                                  "SELECT \"USER\", count(*), count(DISTINCT \"DEBUT\") FROM "
                                  "activites GROUP BY 1 ORDER BY 1");
        for (int i = 0; i < PQntuples(counts); ++i) {
            const int all = QByteArray(PQgetvalue(counts, i, 1)).toInt();
            const int distinct = QByteArray(PQgetvalue(counts, i, 2)).toInt();
            lost += kStops - distinct;
            duplicated += all - distinct;
        }
        if (PQntuples(counts) != 2) lost += kStops * (2 - PQntuples(counts));
        PQclear(counts);

        const Figures s = figuresOf(stops);
        const Figures f = figuresOf(floor);
        std::printf("stops: 2 processes x %d through TDataModule2::AddLogEntry\n", kStops);
        std::printf("  stored %zu, lost %d, duplicated %d\n", stops.size(), lost, duplicated);
        std::printf("  stop-to-commit       median %8.1f us   p99 %8.1f us\n", s.median, s.p99);
        std::printf("  bare libpq INSERT    median %8.1f us   p99 %8.1f us (floor, 2 processes)\n",
                    f.median, f.p99);

        // The report over 100,000 entries.
        run(c, "TRUNCATE activites");
        run(c,
            "INSERT INTO activites (\"USER\", \"SURVEILLANCES\", \"CLIENTS\", \"DEBUT\", \"FIN\", "
            "\"DUREE\", \"COMMENTAIRE\") SELECT CASE WHEN i % 3 = 0 THEN '' ELSE 'marie' END, "
            "(ARRAY['Saisie','Appel','Relecture','Réunion'])[i % 4 + 1], "
            "(ARRAY['Dupont','Martin','Durand SA','Société Générale d''Études'])[i % 4 + 1], "
            "timestamp '2009-01-01 08:00' + ((i * 7919) % 100000) * interval '10 minutes', "
            "timestamp '2009-01-01 08:30' + ((i * 7919) % 100000) * interval '10 minutes', "
            "1800 + i % 900, CASE WHEN i % 5 = 0 THEN 'Appel du client' ELSE '' END "
            "FROM generate_series(0, 99999) AS i");
        run(c, "ANALYZE activites");

        double engine = 0, bare = 0;
        for (int r = 0; r < kRuns; ++r) {
            engine = std::max(engine, rowsPerSecond(kRows, [&] { return readEngine(connection); }));
            bare = std::max(bare, rowsPerSecond(kRows, [&] { return readBare(c); }));
        }
        std::printf("report over %d entries on PostgreSQL, best of %d runs\n", kRows, kRuns);
        std::printf("  engine (tavix::db::Query, dates in regional form): %10.0f rows/s\n", engine);
        std::printf("  bare libpq (PQexec, texts as sent):                %10.0f rows/s\n", bare);
        std::printf("  engine / bare: %.2f\n", engine / bare);
    }

    // The report's reader over 1,000,000 entries, streamed in slices.
    run(c, "TRUNCATE activites");
    run(c, QStringLiteral(
               "INSERT INTO activites (\"USER\", \"SURVEILLANCES\", \"CLIENTS\", \"DEBUT\", "
               "\"FIN\", \"DUREE\", \"COMMENTAIRE\") SELECT CASE WHEN i % 3 = 0 THEN '' ELSE "
               "'marie' END, (ARRAY['Saisie','Appel','Relecture','Réunion'])[i % 4 + 1], "
               "(ARRAY['Dupont','Martin','Durand SA','Société Générale d''Études'])[i % 4 + 1], "
               "timestamp '2009-01-01 08:00' + ((i * 7919) % %1) * interval '10 minutes', "
               "timestamp '2009-01-01 08:30' + ((i * 7919) % %1) * interval '10 minutes', "
               "1800 + i % 900, CASE WHEN i % 5 = 0 THEN 'Appel du client' ELSE '' END "
               "FROM generate_series(0::bigint, %1 - 1) AS i")
               .arg(kStreamRows)
               .toUtf8()
               .constData());
    run(c, "VACUUM ANALYZE activites");
    Stream streamed, whole;
    for (int r = 0; r < kStreamRuns; ++r) {
        const Stream a = streamEntries(connection);
        const Stream b = bareEntries(c);
        if (r == 0 || a.seconds < streamed.seconds) streamed.seconds = a.seconds;
        if (r == 0 || b.seconds < whole.seconds) whole = b;
        // Every run's worst, for what the user meets.
        streamed.firstMs = std::max(streamed.firstMs, a.firstMs);
        streamed.longestMs = std::max(streamed.longestMs, a.longestMs);
        streamed.peakMb = std::max(streamed.peakMb, a.peakMb);
    }
    PQfinish(c);
    std::printf("report's reader over %d entries on PostgreSQL, streamed in %d ms slices\n",
                kStreamRows, kSliceMs);
    std::printf("  whole read: best of %d; first entry, longest slice, peak: worst of %d\n",
                kStreamRuns, kStreamRuns);
    std::printf("                       whole read   first entry   longest pause   peak memory\n");
    std::printf("  streamed (engine)  %9.2f s  %9.1f ms  %11.1f ms  %9.1f MB\n", streamed.seconds,
                streamed.firstMs, streamed.longestMs, streamed.peakMb);
    std::printf("  bare libpq PQexec  %9.2f s  %9.1f ms  %11.1f ms  %9.1f MB (floor)\n",
                whole.seconds, whole.firstMs, whole.longestMs, whole.peakMb);
    std::printf(
        "  streamed / bare: %.2f (goal <= 1.30); first entry goal <= 100 ms; longest "
        "pause goal <= 100 ms; peak goal < 250 MB\n",
        streamed.seconds / whole.seconds);
    return lost == 0 && duplicated == 0 ? 0 : 1;
}

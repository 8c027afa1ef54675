// Reads 100,000 log entries with the report's statement, through the engine
// and through SQLite's C API, and prints rows per second for both.

#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "data/engine/Schema.h"

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 9;

// Keeps what was read alive, so nothing of the reading can be dropped.
volatile qint64 sink = 0;

const char* const kReport =
    "SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE] FROM "
    "activites  ORDER BY DEBUT";
const char* const kRawReport =
    "SELECT \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE FROM activites "
    "ORDER BY DEBUT";

void fill(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
        "COMMENTAIRE) VALUES (?, ?, ?, ?, ?, ?, ?)",
        -1, &stmt, nullptr);
    const char* activities[] = {"Saisie", "Appel", "Relecture", "Réunion"};
    const char* clients[] = {"Dupont", "Martin", "Durand SA", "Société Générale d'Études"};
    tavix::DateTime start(QDate(2009, 1, 1), QTime(8, 0));
    for (int i = 0; i < kRows; ++i) {
        // Shuffled starts so ORDER BY has work to do.
        const tavix::DateTime begin = start.addSecs((static_cast<qint64>(i) * 7919 % kRows) * 600);
        const QByteArray b = begin.toIso().toUtf8();
        const QByteArray e = begin.addSecs(1800 + i % 900).toIso().toUtf8();
        sqlite3_bind_text(stmt, 1, i % 3 ? "marie" : "", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, activities[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, clients[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 4, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, e.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 6, 1800 + i % 900);
        sqlite3_bind_text(stmt, 7, i % 5 ? "" : "Appel du client au sujet de la facture", -1,
                          SQLITE_STATIC);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// What the report does with each row, through the engine.
qint64 readEngine(tavix::db::Connection& connection) {
    tavix::db::Query q(connection);
    q.clear();
    q.add(QString::fromUtf8(kReport));
    q.open();
    qint64 total = 0;
    qsizetype chars = 0;
    int rows = 0;
    while (!q.eof()) {
        chars += q.asString(QStringLiteral("USER")).size();
        chars += q.asString(QStringLiteral("SURVEILLANCES")).size();
        chars += q.asString(QStringLiteral("CLIENTS")).size();
        chars += q.asString(QStringLiteral("DEBUT")).size();
        chars += q.asString(QStringLiteral("FIN")).size();
        total += q.asInteger(QStringLiteral("DUREE"));
        ++rows;
        q.next();
    }
    q.close();
    sink = sink + total + chars;
    return rows;
}

// The same SELECT with the bare C API: texts into QString, DUREE as int.
qint64 readRaw(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kRawReport, -1, &stmt, nullptr);
    qint64 total = 0;
    qsizetype chars = 0;
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < 5; ++c)
            chars += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                       sqlite3_column_bytes(stmt, c))
                         .size();
        total += sqlite3_column_int(stmt, 5);
        ++rows;
    }
    sqlite3_finalize(stmt);
    sink = sink + total + chars;
    return rows;
}

double rowsPerSecond(const std::function<qint64()>& read) {
    const auto t0 = std::chrono::steady_clock::now();
    const qint64 rows = read();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (rows != kRows) {
        std::fprintf(stderr, "read %lld rows instead of %d\n", static_cast<long long>(rows), kRows);
        std::exit(1);
    }
    return rows / took.count();
}

}  // namespace

int main() {
    QTemporaryDir dir;
    if (!dir.isValid()) return 2;
    const QString path = dir.filePath("bench.mdb");
    tavix::db::Connection::createDatabase(path, tavix::db::defaultSchema());
    fill(path);

    tavix::db::Connection connection;
    connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                                   ";Persist Security Info=False");
    connection.open();
    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);

    // Taken in turns, best of each, so a busy machine weighs on both alike.
    double engine = 0;
    double bare = 0;
    for (int run = 0; run < kRuns; ++run) {
        engine = std::max(engine, rowsPerSecond([&] { return readEngine(connection); }));
        bare = std::max(bare, rowsPerSecond([&] { return readRaw(raw); }));
    }
    sqlite3_close(raw);

    std::printf("report over %d log entries, best of %d runs\n", kRows, kRuns);
    std::printf("  engine (tavix::db::Query, dates in regional form): %10.0f rows/s\n", engine);
    std::printf("  bare SQLite C API (texts as stored):               %10.0f rows/s\n", bare);
    std::printf("  engine / bare: %.2f\n", engine / bare);
    return 0;
}

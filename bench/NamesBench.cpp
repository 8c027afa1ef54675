// Sorting the log entries by a names' column (a title click on CLIENTS in the
// consultation's grid) with the French collation, on 100k and 1M entries,
// beside the same sort in SQLite's byte order through the bare C API (the
// floor).

#include <sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "data/engine/Connection.h"
#include "data/engine/Schema.h"
#include "data/engine/TableDataset.h"

using namespace tavix;

namespace {

const char* const kNames[] = {"Éric Dupont",
                              "alpha",
                              "L'Atelier",
                              "Zoé",
                              "beta",
                              "Boulangerie Caron",
                              "Cabinet Lefèvre",
                              "Mairie de Saint-Aubin",
                              "œuvres sociales",
                              "Ébénisterie"};

void fill(const QString& path, int count) {
    db::Connection::createDatabase(path, db::defaultSchema());
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &h);
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(h,
                       "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) "
                       "VALUES ('Saisie', ?, '2020-01-01 08:00:00', '2020-01-01 08:10:00', 600)",
                       -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        const QByteArray client = QByteArray(kNames[i % 10]) + ' ' + QByteArray::number(i % 997);
        sqlite3_bind_text(stmt, 1, client.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

double floorMs(const QString& path) {
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &h);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(h, "SELECT rowid FROM activites ORDER BY CLIENTS ASC, rowid", -1, &stmt,
                       nullptr);
    qint64 sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) sum += sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    const double ms = t.nsecsElapsed() / 1e6;
    sqlite3_close(h);
    return sum > 0 ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    for (const int count : {100'000, 1'000'000}) {
        const QString path = dir.filePath(QStringLiteral("names-%1.mdb").arg(count));
        fill(path, count);
        const double floor = floorMs(path);
        db::Connection connection;
        connection.setConnectionString(QStringLiteral("Data Source=") + path);
        connection.open();
        db::TableDataset table(connection, QStringLiteral("activites"));
        table.open();
        QElapsedTimer t;
        t.start();
        table.setSort(QStringLiteral("CLIENTS ASC"));
        const double ms = t.nsecsElapsed() / 1e6;
        std::printf(
            "%d entries: sort by CLIENTS, French order: %7.0f ms  (floor, byte order, "
            "bare C API: %6.0f ms; x%.1f)  first %s, last %s\n",
            count, ms, floor, ms / floor, qPrintable(table.textAt(0, 2)),
            qPrintable(table.textAt(table.recordCount() - 1, 2)));
    }
    return 0;
}

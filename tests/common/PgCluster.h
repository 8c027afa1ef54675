#pragma once

// A throw-away PostgreSQL server of the test program's own: made from the
// installed binaries on first use, listening only on a Unix socket in a
// temporary folder, and removed when the program ends. Each test takes a
// fresh database of its own.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

struct pg_conn;

namespace tavix::test {

class PgCluster {
public:
    // The running server, started on first call; nullptr when the PostgreSQL
    // binaries are not installed or the server cannot start (see reason()).
    static PgCluster* get();
    static QString reason();
    // TAVIX_REQUIRE_PG is set to anything but "0": a missing server fails.
    static bool required();

    const QString& socketDir() const { return socketDir_; }

    // A new empty database; its libpq keyword string.
    QString createDatabase();
    QString conninfo(const QString& database) const;
    static QString databaseOf(const QString& conninfo);

    // Raw SQL through libpq on one database, bypassing the engine. rows()
    // gives each row as "a|b|c" with NULL as "<null>".
    void exec(const QString& conninfo, const QString& sql) const;
    QStringList rows(const QString& conninfo, const QString& sql) const;
    QString scalar(const QString& conninfo, const QString& sql) const;

    // For the network-fault cases: the server goes away and comes back.
    void stop();
    void start();
    // Stopped without a word to its clients, as a crash would, and started
    // again at once.
    void restartImmediately();

    // A second connection that runs `sql` (LOCK TABLE ...) in a transaction
    // and holds it open until release() or its end.
    class Holder {
    public:
        Holder(const QString& conninfo, const QString& sql);
        ~Holder();
        Holder(const Holder&) = delete;
        Holder& operator=(const Holder&) = delete;
        void release();

    private:
        pg_conn* conn_ = nullptr;
    };

    ~PgCluster();

private:
    PgCluster() = default;
    bool run(const QString& program, const QStringList& args, QString* output = nullptr) const;
    bool setUp(QString& why);

    QString bin_;
    QString root_;  // temporary folder: data/, the socket, the log
    QString socketDir_;
    QString dataDir_;
    int created_ = 0;
    bool running_ = false;
};

}  // namespace tavix::test

// Skips the test when no PostgreSQL server can be had, saying why; fails it
// instead when TAVIX_REQUIRE_PG is set (as CI does), so a server that cannot
// start never passes for a green suite.
#define TAVIX_PG_OR_SKIP(cluster)                                                       \
    ::tavix::test::PgCluster* cluster = ::tavix::test::PgCluster::get();                \
    if (!cluster) {                                                                     \
        if (::tavix::test::PgCluster::required())                                       \
            GTEST_FAIL() << "PostgreSQL exigé (TAVIX_REQUIRE_PG) mais indisponible : " \
                         << ::tavix::test::PgCluster::reason().toStdString();           \
        GTEST_SKIP() << "PostgreSQL indisponible : "                                    \
                     << ::tavix::test::PgCluster::reason().toStdString();               \
    }

// The command line as a user runs it: a separate `tavix` process talking to
// a running copy of the program, both on a private session bus.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <algorithm>
#include <memory>

#include "common/PgCluster.h"
#include "data/Unit2.h"
#include "settings/md5.h"

namespace {

struct Result {
    int exit = -1;
    QString out, err;
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        daemon_.setProgram("dbus-daemon");
        daemon_.setArguments({"--session", "--print-address", "--nofork"});
        daemon_.start();
        ASSERT_TRUE(daemon_.waitForStarted()) << "dbus-daemon could not start";
        while (!daemon_.canReadLine()) ASSERT_TRUE(daemon_.waitForReadyRead(10000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        busName_ = "test" + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QDBusConnection::connectToBus(address_, busName_);

        database_ = home_.filePath("tavix.mdb");
        tavix::TDataModule2::CreateDatabase(database_);
        exec(
            "INSERT INTO clients (NOM) VALUES ('Garage Tremblay'), ('Boulangerie Caron');"
            "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1), (2, 'Saisie', 2)");
        setting("sgbd", database_);

        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", home_.path());
        env_.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env_.insert("XDG_DATA_HOME", home_.filePath("data"));
        env_.insert("XDG_CACHE_HOME", home_.filePath("cache"));
        env_.insert("XDG_RUNTIME_DIR", home_.path());
        env_.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        env_.insert("QT_QPA_PLATFORM", "offscreen");
    }
    void TearDown() override {
        if (copy_.state() != QProcess::NotRunning) {
            copy_.terminate();
            if (!copy_.waitForFinished(10000)) copy_.kill();
            copy_.waitForFinished();
        }
        QDBusConnection::disconnectFromBus(busName_);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void setting(const QString& name, const QString& value) {
        QSettings store(home_.filePath("config/MOLVERAN/TAVIX.conf"), QSettings::IniFormat);
        store.setValue(name, value);
    }
    void exec(const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(database_).constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    std::vector<QStringList> rows(const char* sql) {
        std::vector<QStringList> result;
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(database_).constData(), &db);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
            result.push_back(row);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return result;
    }
    bool onBus() {
        QDBusConnectionInterface* names = QDBusConnection(busName_).interface();
        return names && names->isServiceRegistered("fr.molveran.Tavix").value();
    }
    // The running copy, on the bus with its window shown.
    void startCopy() {
        copy_.setProcessEnvironment(env_);
        copy_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy_.start(TAVIX_EXECUTABLE, QStringList{});
        ASSERT_TRUE(copy_.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return onBus(); }, 30000)) << "never on the bus";
        QTest::qWait(1500);  // its first showing
    }
    Result run(const QStringList& arguments) {
        QProcess cli;
        cli.setProcessEnvironment(env_);
        cli.start(TAVIX_EXECUTABLE, arguments);
        EXPECT_TRUE(cli.waitForFinished(60000)) << arguments.join(' ').toStdString();
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                QString::fromUtf8(cli.readAllStandardError())};
    }

    QTemporaryDir home_;
    QString database_;
    QProcess daemon_;
    QProcess copy_;
    QString address_;
    QString busName_;
    QProcessEnvironment env_;
};

TEST_F(CommandLineTest, EveryCommandWithItsExitCode) {
    startCopy();
    const struct {
        QStringList arguments;
        int exit;
        QString out;  // contained in the standard output
        QString err;  // contained in the standard error
    } steps[] = {
        {{"status", "--json"}, 0, "{\"running\": false}", ""},
        {{"stop"}, 1, "", "Aucune surveillance n'est en cours."},
        {{"start", "Inconnue"}, 1, "", "Surveillances connues : « Réunion », « Saisie »."},
        {{"start", "Réunion", "--client", "Personne"},
         1,
         "",
         "Client inconnu : « Personne ». Clients connus : « "},
        {{"start"}, 2, "", "Une et une seule surveillance"},
        {{"start", "Réunion", "Saisie"}, 2, "", "Une et une seule surveillance"},
        {{"status", "--bavard"}, 2, "", "--bavard"},
        {{"report", "--format", "xml"}, 2, "", "Format inconnu : xml"},
        {{"report", "--from", "2026-13-01"}, 2, "", "Date incorrecte pour --from"},
        {{"start", "--help"}, 0, "Utilisation : tavix start", ""},
        {{"stat"}, 2, "", "Commande inconnue : « stat ». Commandes : start, stop, status, report."},
        {{"--help"}, 0, "Commandes :", ""},
        {{"report", "--help"}, 0, "--format", ""},
        {{"start", "Réunion", "--client", "Garage Tremblay", "--comment", "appel"}, 0, "", ""},
        {{"start", "Saisie"}, 1, "", "Une surveillance est déjà en cours : « Réunion »."},
        {{"status"}, 0, "Réunion — Garage Tremblay — ", ""},
        {{"stop"}, 0, "", ""},
        {{"report", "--format", "csv", "--client", "Garage Tremblay"}, 0, ";appel", ""},
        {{"report", "--activity", "Rien"}, 1, "", "Surveillance inconnue : « Rien »"},
    };
    for (const auto& step : steps) {
        const std::string label = step.arguments.join(' ').toStdString();
        if (step.arguments == QStringList{"stop"} && step.exit == 0) QTest::qWait(1200);
        const Result r = run(step.arguments);
        EXPECT_EQ(r.exit, step.exit) << label << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(step.out)) << label << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(step.err)) << label << ": " << r.err.toStdString();
    }
    const auto stored = rows(
        "SELECT SURVEILLANCES, CLIENTS, COMMENTAIRE, DUREE, "
        "strftime('%s', FIN) - strftime('%s', DEBUT) FROM activites");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].mid(0, 3), QStringList({"Réunion", "Garage Tremblay", "appel"}));
    EXPECT_GE(stored[0][3].toInt(), 1);
    EXPECT_LE(std::abs(stored[0][3].toInt() - stored[0][4].toInt()), 1);
}

TEST_F(CommandLineTest, StatusJsonAndWatchFollowTheTiming) {
    startCopy();
    QProcess watch;
    watch.setProcessEnvironment(env_);
    watch.start(TAVIX_EXECUTABLE, {"status", "--json", "--watch"});
    ASSERT_TRUE(watch.waitForStarted());
    QStringList lines;
    const auto lineCount = [&](int n) {
        return QTest::qWaitFor(
            [&] {
                while (watch.canReadLine()) lines << QString::fromUtf8(watch.readLine()).trimmed();
                return lines.size() >= n;
            },
            20000);
    };
    ASSERT_TRUE(lineCount(1));
    EXPECT_EQ(lines[0], "{\"running\": false}");
    ASSERT_EQ(run({"start", "Saisie", "--client", "Boulangerie Caron"}).exit, 0);
    ASSERT_TRUE(lineCount(2));
    const QJsonObject started = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    EXPECT_TRUE(started.value("running").toBool()) << lines[1].toStdString();
    EXPECT_EQ(started.value("activity").toString(), "Saisie");
    EXPECT_EQ(started.value("client").toString(), "Boulangerie Caron");
    EXPECT_TRUE(started.value("start").toString().contains('T'));
    ASSERT_EQ(run({"stop", "--comment", "fini"}).exit, 0);
    ASSERT_TRUE(lineCount(3));
    EXPECT_EQ(lines.last(), "{\"running\": false}");
    watch.kill();
    watch.waitForFinished();
    EXPECT_EQ(rows("SELECT COMMENTAIRE FROM activites").at(0).at(0), "fini");
}

// No copy running: a start starts one as the desktop would, and hands it
// the command.
TEST_F(CommandLineTest, AStartWithoutARunningCopyStartsOne) {
    ASSERT_FALSE(onBus());
    const Result r = run({"start", "Saisie", "--client", "Garage Tremblay"});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    ASSERT_TRUE(onBus());
    const Result status = run({"status", "--json"});
    EXPECT_TRUE(status.out.contains("\"activity\": \"Saisie\"")) << status.out.toStdString();
    const uint pid = QDBusConnection(busName_).interface()->servicePid("fr.molveran.Tavix").value();
    ASSERT_GT(pid, 0u);
    ::kill(pid_t(pid), SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !onBus(); }, 20000)) << "the copy never ended";
}

// Commands at the same instant: one timing, one entry.
TEST_F(CommandLineTest, CommandsAtTheSameInstantGiveOneTimingAndOneEntry) {
    startCopy();
    const auto together = [&](const QStringList& first, const QStringList& second) {
        QProcess a, b;
        for (QProcess* p : {&a, &b}) p->setProcessEnvironment(env_);
        a.start(TAVIX_EXECUTABLE, first);
        b.start(TAVIX_EXECUTABLE, second);
        EXPECT_TRUE(a.waitForFinished(60000));
        EXPECT_TRUE(b.waitForFinished(60000));
        return QList<int>{a.exitCode(), b.exitCode()};
    };
    QList<int> codes = together({"start", "Réunion", "--client", "Garage Tremblay"},
                                {"start", "Saisie", "--client", "Boulangerie Caron"});
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, QList<int>({0, 1}));
    QTest::qWait(1100);
    codes = together({"stop"}, {"stop"});
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, QList<int>({0, 1}));
    EXPECT_EQ(rows("SELECT * FROM activites").size(), 1u);
    EXPECT_EQ(run({"status", "--json"}).out.trimmed(), "{\"running\": false}");
}

// Behind the start-up login nothing is started, stopped or told.
TEST_F(CommandLineTest, BehindTheLoginEveryCommandIsRefused) {
    setting("user", "marie");
    setting("pwd", tavix::DigestHex("secret"));
    startCopy();
    for (const QStringList& arguments :
         {QStringList{"start", "Réunion", "--client", "Garage Tremblay"}, QStringList{"stop"},
          QStringList{"status"}}) {
        const Result r = run(arguments);
        EXPECT_EQ(r.exit, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("code d'accès")) << r.err.toStdString();
    }
    EXPECT_TRUE(rows("SELECT * FROM activites").empty());
    // Without a terminal to ask the code on, the log is not read either.
    exec(
        "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
        "('Réunion', 'Garage Tremblay', '2026-03-02 09:00:00', '2026-03-02 10:00:00', 3600)");
    const Result report = run({"report", "--format", "csv"});
    EXPECT_EQ(report.exit, 1);
    EXPECT_FALSE(report.out.contains("Garage Tremblay")) << report.out.toStdString();
    EXPECT_TRUE(report.err.contains("depuis un terminal")) << report.err.toStdString();
}

// Behind the login, the code typed on a terminal lets status and report
// read; a wrong code is refused; start and stop stay refused.
TEST_F(CommandLineTest, BehindTheLoginTheCodeTypedOnATerminalLetsStatusAndReportRead) {
    setting("user", "marie");
    setting("pwd", tavix::DigestHex("secret"));
    exec(
        "INSERT INTO activites (SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE) VALUES "
        "('Réunion', 'Garage Tremblay', '2026-03-02 09:00:00', '2026-03-02 10:00:00', 3600)");
    startCopy();
    // The command on a pseudo-terminal of its own, the answers typed once
    // each question shows (what is typed ahead of a hidden question is
    // dropped, as on a real terminal).
    const auto typed = [&](const QStringList& arguments, const QString& user, const QString& code) {
        QStringList quoted;
        for (const QString& a : QStringList{TAVIX_EXECUTABLE} + arguments) quoted << "'" + a + "'";
        QProcess term;
        term.setProcessEnvironment(env_);
        term.setProcessChannelMode(QProcess::MergedChannels);
        term.start("script", {"-qec", quoted.join(' '), "/dev/null"});
        EXPECT_TRUE(term.waitForStarted());
        QByteArray seen;
        const auto answer = [&](const char* prompt, const QString& text) {
            if (!QTest::qWaitFor(
                    [&] {
                        seen += term.readAll();
                        return seen.contains(prompt) || term.state() == QProcess::NotRunning;
                    },
                    20000))
                return;
            QTest::qWait(300);
            term.write(text.toUtf8() + "\n");
        };
        answer("Utilisateur : ", user);
        answer("Mot de passe : ", code);
        if (term.state() != QProcess::NotRunning) {
            EXPECT_TRUE(term.waitForFinished(60000));
        }
        seen += term.readAll();
        return Result{term.exitCode(), QString::fromUtf8(seen), {}};
    };
    Result r = typed({"status", "--json"}, "marie", "secret");
    EXPECT_EQ(r.exit, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("{\"running\": false}")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("secret")) << "the code was echoed";
    r = typed({"report", "--format", "csv"}, "marie", "secret");
    EXPECT_EQ(r.exit, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Garage Tremblay")) << r.out.toStdString();
    for (const QStringList& arguments : {QStringList{"status"}, QStringList{"report"}}) {
        r = typed(arguments, "marie", "Secret");
        EXPECT_EQ(r.exit, 1) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("Code d'accès incorrect")) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains("Garage Tremblay")) << r.out.toStdString();
    }
    // A code on a terminal does not open what changes the timing.
    r = typed({"start", "Réunion", "--client", "Garage Tremblay"}, "marie", "secret");
    EXPECT_EQ(r.exit, 1) << r.out.toStdString();
    EXPECT_EQ(rows("SELECT * FROM activites").size(), 1u);
    // The running copy checks the code itself: a wrong one over the bus is refused.
    QDBusMessage call = QDBusMessage::createMethodCall(
        "fr.molveran.Tavix", "/fr/molveran/Tavix", "fr.molveran.Tavix.Timing", "StatusWithCode");
    call.setArguments({"marie", "Secret"});
    EXPECT_EQ(QDBusConnection(busName_).call(call).errorName(), "fr.molveran.Tavix.Error.Locked");
    call.setArguments({"marie", "secret"});
    EXPECT_EQ(QDBusConnection(busName_).call(call).type(), QDBusMessage::ReplyMessage);
}

// The same entries give the same report and the same CSV on a file and on a
// server.
TEST_F(CommandLineTest, ReportIsTheSameOnAFileAndOnAServer) {
    const tavix::DateTime nine(QDate(2026, 3, 2), QTime(9, 0));
    const auto fill = [&](const QString& path) {
        tavix::TDataModule2 module;
        module.DatabasePath = path;
        ASSERT_TRUE(module.OpenDatabase()) << path.toStdString();
        module.AddLogEntry("marie", "Caron \"&\" fils", "Réunion", nine, nine.addSecs(3600), 3590,
                           "appel « urgent » & suite");
        module.AddLogEntry("marie", "Garage Tremblay", "Saisie", nine.addSecs(7200),
                           nine.addSecs(9000), 1800, "");
    };
    const auto reports = [&](const QString& path) {
        setting("sgbd", path);
        QStringList outputs;
        for (const char* format : {"text", "csv"}) {
            const Result r = run({"report", "--format", format, "--from", "2026-03-02"});
            EXPECT_EQ(r.exit, 0) << format << ": " << r.err.toStdString();
            outputs << r.out;
        }
        return outputs;
    };
    const QString file = home_.filePath("rapport.mdb");
    tavix::TDataModule2::CreateDatabase(file);
    fill(file);
    database_ = file;
    ASSERT_EQ(rows("SELECT DEBUT FROM activites").size(), 2u);
    const QStringList onFile = reports(file);
    EXPECT_TRUE(onFile.value(1).contains("appel « urgent » & suite"))
        << onFile.value(1).toStdString();
    EXPECT_TRUE(onFile.value(0).contains("Caron \"&\" fils")) << onFile.value(0).toStdString();

    TAVIX_PG_OR_SKIP(cluster);
    const QString server = cluster->createDatabase();
    fill(server);
    const QStringList onServer = reports(server);
    EXPECT_EQ(onServer.value(0).toStdString(), onFile.value(0).toStdString());
    EXPECT_EQ(onServer.value(1).toStdString(), onFile.value(1).toStdString());
}

}  // namespace

#include "common/PgCluster.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <memory>
#include <stdexcept>

namespace tavix::test {

namespace {

std::unique_ptr<PgCluster>& slot() {
    static std::unique_ptr<PgCluster> cluster;
    return cluster;
}
QString& failure() {
    static QString why;
    return why;
}
bool& tried() {
    static bool once = false;
    return once;
}

// The server refuses to run as root: as root, its programs run as the
// `postgres` account the Debian package makes (else `nobody`).
struct Account {
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

Account account() {
    Account a;
    if (geteuid() != 0) return a;
    const passwd* pw = getpwnam("postgres");
    if (!pw) pw = getpwnam("nobody");
    if (!pw) return a;
    a.switchUser = true;
    a.uid = pw->pw_uid;
    a.gid = pw->pw_gid;
    return a;
}

QString newestBin() {
    if (const QByteArray forced = qgetenv("TAVIX_PG_BIN"); !forced.isEmpty())
        return QString::fromLocal8Bit(forced);
    QDir base(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = base.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(),
              [&](const QString& a, const QString& b) { return numeric.compare(a, b) > 0; });
    for (const QString& v : versions) {
        const QString bin = base.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) &&
            QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

struct Conn {
    explicit Conn(const QString& conninfo) : c(PQconnectdb(conninfo.toUtf8().constData())) {
        if (PQstatus(c) != CONNECTION_OK)
            throw std::runtime_error(std::string("libpq: ") + PQerrorMessage(c));
    }
    ~Conn() { PQfinish(c); }
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;
    PGconn* c;
};

struct Result {
    explicit Result(PGresult* res) : r(res) {}
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* r;
};

// Removes the cluster when the test program ends.
class Environment : public ::testing::Environment {
public:
    void TearDown() override { slot().reset(); }
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new Environment);

}  // namespace

bool PgCluster::required() {
    const QByteArray v = qgetenv("TAVIX_REQUIRE_PG");
    return !v.isEmpty() && v != "0";
}

PgCluster* PgCluster::get() {
    if (!tried()) {
        tried() = true;
        std::unique_ptr<PgCluster> cluster(new PgCluster);
        QString why;
        if (cluster->setUp(why))
            slot() = std::move(cluster);
        else
            failure() = why;
    }
    return slot().get();
}

QString PgCluster::reason() { return failure(); }

bool PgCluster::run(const QString& program, const QStringList& args, QString* output) const {
    QProcess p;
    const Account a = account();
    if (a.switchUser) {
        QStringList full = {QStringLiteral("--reuid=%1").arg(a.uid),
                            QStringLiteral("--regid=%1").arg(a.gid),
                            QStringLiteral("--clear-groups"), QStringLiteral("--"), program};
        full += args;
        p.start(QStringLiteral("setpriv"), full);
    } else {
        p.start(program, args);
    }
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!p.waitForStarted(10000)) {
        if (output) *output = p.errorString();
        return false;
    }
    p.closeWriteChannel();
    p.waitForFinished(120000);
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PgCluster::setUp(QString& why) {
    bin_ = newestBin();
    if (bin_.isEmpty()) {
        why = QStringLiteral(
            "aucun initdb/pg_ctl dans /usr/lib/postgresql/*/bin (paquet postgresql)");
        return false;
    }
    const Account a = account();
    const auto own = [&](const QString& path) {
        if (a.switchUser && ::chown(QFile::encodeName(path).constData(), a.uid, a.gid) != 0)
            return false;
        return true;
    };

    // initdb is slow: one template per machine and version, made once under
    // a lock, copied by each test program.
    const QString version = QDir(bin_).absolutePath().section(u'/', -2, -2);
    const QString tmp = QDir::tempPath();
    const QString templateDir =
        tmp + QStringLiteral("/tavix-pg-template-%1-%2").arg(geteuid()).arg(version);
    {
        const QByteArray lockName =
            QFile::encodeName(tmp + QStringLiteral("/tavix-pg-template-%1.lock").arg(geteuid()));
        const int lock = ::open(lockName.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
            why = QStringLiteral("verrou %1 impossible").arg(QString::fromLocal8Bit(lockName));
            if (lock >= 0) ::close(lock);
            return false;
        }
        bool ok = true;
        if (!QFile::exists(templateDir + QStringLiteral("/data/PG_VERSION"))) {
            QDir(templateDir).removeRecursively();
            QByteArray work = QFile::encodeName(tmp + QStringLiteral("/tavix-pg-init-XXXXXX"));
            ok = ::mkdtemp(work.data()) != nullptr && own(QFile::decodeName(work));
            QString out;
            ok = ok && run(bin_ + QStringLiteral("/initdb"),
                           {QStringLiteral("-D"), QFile::decodeName(work) + QStringLiteral("/data"),
                            QStringLiteral("-U"), QStringLiteral("tavix"), QStringLiteral("-A"),
                            QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                            QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")},
                           &out);
            if (ok)
                ok = ::rename(work.constData(), QFile::encodeName(templateDir).constData()) == 0;
            if (!ok) {
                why = QStringLiteral("initdb a échoué : %1").arg(out.trimmed());
                QDir(QFile::decodeName(work)).removeRecursively();
            }
        }
        ::close(lock);
        if (!ok) return false;
    }

    QByteArray rootName = QFile::encodeName(tmp + QStringLiteral("/tavix-pg-XXXXXX"));
    if (!::mkdtemp(rootName.data()) || !own(QFile::decodeName(rootName))) {
        why = QStringLiteral("dossier temporaire impossible");
        return false;
    }
    root_ = QFile::decodeName(rootName);
    socketDir_ = root_;
    dataDir_ = root_ + QStringLiteral("/data");
    if (QProcess::execute(
            QStringLiteral("cp"),
            {QStringLiteral("-a"), templateDir + QStringLiteral("/data"), dataDir_}) != 0) {
        why = QStringLiteral("copie du modèle impossible");
        return false;
    }
    start();
    if (!running_) {
        QFile log(root_ + QStringLiteral("/log"));
        log.open(QIODevice::ReadOnly);
        why =
            QStringLiteral("le serveur ne démarre pas : %1").arg(QString::fromUtf8(log.readAll()));
        return false;
    }
    return true;
}

void PgCluster::start() {
    if (running_) return;
    QString out;
    running_ = run(bin_ + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), dataDir_, QStringLiteral("-l"),
                    root_ + QStringLiteral("/log"), QStringLiteral("-w"), QStringLiteral("-o"),
                    QStringLiteral("-k %1 -c listen_addresses= -c fsync=off "
                                   "-c full_page_writes=off -c max_connections=40")
                        .arg(socketDir_),
                    QStringLiteral("start")},
                   &out);
}

void PgCluster::stop() {
    if (!running_) return;
    run(bin_ + QStringLiteral("/pg_ctl"),
        {QStringLiteral("-D"), dataDir_, QStringLiteral("-m"), QStringLiteral("fast"),
         QStringLiteral("-w"), QStringLiteral("stop")});
    running_ = false;
}

void PgCluster::restartImmediately() {
    run(bin_ + QStringLiteral("/pg_ctl"),
        {QStringLiteral("-D"), dataDir_, QStringLiteral("-m"), QStringLiteral("immediate"),
         QStringLiteral("-w"), QStringLiteral("stop")});
    running_ = false;
    start();
}

PgCluster::Holder::Holder(const QString& conninfo, const QString& sql)
    : conn_(PQconnectdb(conninfo.toUtf8().constData())) {
    if (PQstatus(conn_) != CONNECTION_OK)
        throw std::runtime_error(std::string("libpq: ") + PQerrorMessage(conn_));
    for (const QString& statement : {QStringLiteral("BEGIN"), sql}) {
        Result r(PQexec(conn_, statement.toUtf8().constData()));
        if (PQresultStatus(r.r) != PGRES_COMMAND_OK)
            throw std::runtime_error(std::string(PQresultErrorMessage(r.r)) + " in " +
                                     statement.toStdString());
    }
}

void PgCluster::Holder::release() {
    if (!conn_) return;
    PQclear(PQexec(conn_, "ROLLBACK"));
    PQfinish(conn_);
    conn_ = nullptr;
}

PgCluster::Holder::~Holder() { release(); }

PgCluster::~PgCluster() {
    if (running_) {
        run(bin_ + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), dataDir_, QStringLiteral("-m"), QStringLiteral("immediate"),
             QStringLiteral("-w"), QStringLiteral("stop")});
    }
    if (!root_.isEmpty()) QDir(root_).removeRecursively();
}

QString PgCluster::conninfo(const QString& database) const {
    return QStringLiteral("host=%1 user=tavix dbname=%2").arg(socketDir_, database);
}

QString PgCluster::databaseOf(const QString& conninfo) {
    return conninfo.section(QStringLiteral("dbname="), 1).section(u' ', 0, 0);
}

QString PgCluster::createDatabase() {
    const QString name = QStringLiteral("t%1").arg(++created_);
    exec(conninfo(QStringLiteral("postgres")), QStringLiteral("CREATE DATABASE %1").arg(name));
    return conninfo(name);
}

void PgCluster::exec(const QString& conninfo, const QString& sql) const {
    Conn c(conninfo);
    Result r(PQexec(c.c, sql.toUtf8().constData()));
    const auto status = PQresultStatus(r.r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(std::string(PQresultErrorMessage(r.r)) + " in " +
                                 sql.toStdString());
}

QStringList PgCluster::rows(const QString& conninfo, const QString& sql) const {
    Conn c(conninfo);
    Result r(PQexec(c.c, sql.toUtf8().constData()));
    if (PQresultStatus(r.r) != PGRES_TUPLES_OK)
        throw std::runtime_error(std::string(PQresultErrorMessage(r.r)) + " in " +
                                 sql.toStdString());
    QStringList out;
    for (int i = 0; i < PQntuples(r.r); ++i) {
        QStringList cells;
        for (int j = 0; j < PQnfields(r.r); ++j)
            cells << (PQgetisnull(r.r, i, j) ? QStringLiteral("<null>")
                                             : QString::fromUtf8(PQgetvalue(r.r, i, j)));
        out << cells.join(u'|');
    }
    return out;
}

QString PgCluster::scalar(const QString& conninfo, const QString& sql) const {
    const QStringList r = rows(conninfo, sql);
    return r.isEmpty() ? QString() : r.first();
}

}  // namespace tavix::test

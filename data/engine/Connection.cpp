#include "data/engine/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/engine/ConnectionImpl.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"

namespace tavix::db {

using detail::DbHandle;
using detail::Statement;

namespace detail {

// The value of "Data Source=" up to the next ';'; other keys are ignored.
QString dataSource(const QString& connectionString) {
    for (const QString& part : connectionString.split(u';')) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0) continue;
        if (part.left(eq).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1);
    }
    return {};
}

}  // namespace detail

namespace {

DbHandle openHandle(const QString& path, int flags, int busyTimeoutMs) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   flags | SQLITE_OPEN_NOMUTEX, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) {
        const QString message =
            raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("Mémoire insuffisante");
        throw EngineError(QStringLiteral("%1 : %2").arg(message, path));
    }
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    detail::prepareHandle(db.get());
    return db;
}

void run(sqlite3* db, const QString& statement) {
    Statement(db, detail::translate(db, statement), statement).runToEnd();
}

}  // namespace

Connection::Connection() : impl_(std::make_unique<Impl>()) {}

Connection::~Connection() {
    close();
    const auto clients = impl_->clients;
    for (auto* c : clients) c->connectionDestroyed();
}

void Connection::setConnectionString(const QString& text) { impl_->connectionString = text; }

QString Connection::connectionString() const { return impl_->connectionString; }

void Connection::setBusyTimeout(int ms) {
    impl_->busyTimeoutMs = ms;
    if (impl_->db) sqlite3_busy_timeout(impl_->db.get(), ms);
}

int Connection::busyTimeout() const { return impl_->busyTimeoutMs; }

void Connection::open() {
    if (impl_->db) return;
    const QString path = detail::dataSource(impl_->connectionString);
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Aucune source de données dans la chaîne de connexion"));
    DbHandle db = openHandle(path, SQLITE_OPEN_READWRITE, impl_->busyTimeoutMs);
    // SQLite opens lazily: a real read tells a database from any other file
    // and waits for a lock held by another program.
    run(db.get(), QStringLiteral("PRAGMA synchronous=FULL"));
    Statement probe(db.get(), "SELECT count(*) FROM sqlite_master",
                    QStringLiteral("SELECT count(*) FROM sqlite_master"));
    probe.runToEnd();
    probe.finalize();
    impl_->db = std::move(db);
    impl_->fileName = path;
}

void Connection::close() {
    if (!impl_->db) return;
    const auto clients = impl_->clients;
    for (auto* c : clients) {
        if (std::find(impl_->clients.begin(), impl_->clients.end(), c) != impl_->clients.end())
            c->connectionClosing();
    }
    if (!sqlite3_get_autocommit(impl_->db.get()))
        sqlite3_exec(impl_->db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    impl_->db.reset();
    impl_->fileName.clear();
}

bool Connection::connected() const { return impl_->db != nullptr; }

QString Connection::fileName() const { return impl_->fileName; }

sqlite3* Connection::handle() const { return impl_->db.get(); }

void Connection::execute(const QString& statement) {
    if (!impl_->db) throw EngineError(QStringLiteral("Connexion fermée"), statement);
    run(impl_->db.get(), statement);
}

void Connection::createDatabase(const QString& path, const QStringList& statements) {
    if (path.isEmpty()) throw EngineError(QStringLiteral("Nom de fichier vide"));
    const QFileInfo info(path);
    if (info.exists()) throw EngineError(QStringLiteral("Le fichier existe déjà : %1").arg(path));
    if (!QDir().mkpath(info.absolutePath()))
        throw EngineError(
            QStringLiteral("Impossible de créer le dossier %1").arg(info.absolutePath()));
    try {
        DbHandle db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 5000);
        detail::exec(db.get(), "PRAGMA synchronous=FULL");
        detail::exec(db.get(), "BEGIN IMMEDIATE");
        for (const QString& s : statements) run(db.get(), s);
        detail::exec(db.get(), "COMMIT");
        if (sqlite3_close(db.get()) != SQLITE_OK) detail::fail(db.get(), {});
        db.release();
    } catch (...) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw;
    }
}

}  // namespace tavix::db

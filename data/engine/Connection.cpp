#include "data/engine/Connection.h"

#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/sqlite/SqliteBackend.h"

namespace tavix::db {

namespace detail {

// The value of "Data Source=": up to the next ';', or between double or
// single quotes (the quote doubled inside stands for itself); other keys are
// ignored.
QString dataSource(const QString& connectionString) {
    const QString& s = connectionString;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype eq = s.indexOf(u'=', i);
        const qsizetype semicolon = s.indexOf(u';', i);
        if (eq < 0) break;
        if (semicolon >= 0 && semicolon < eq) {  // a part without '='
            i = semicolon + 1;
            continue;
        }
        const QString key = s.mid(i, eq - i).trimmed();
        qsizetype v = eq + 1;
        while (v < s.size() && s.at(v) == u' ') ++v;
        QString value;
        if (v < s.size() && (s.at(v) == u'"' || s.at(v) == u'\'')) {
            const QChar mark = s.at(v);
            for (++v; v < s.size(); ++v) {
                if (s.at(v) == mark) {
                    if (v + 1 < s.size() && s.at(v + 1) == mark) {
                        value += mark;
                        ++v;
                        continue;
                    }
                    ++v;
                    break;
                }
                value += s.at(v);
            }
            const qsizetype end = s.indexOf(u';', v);
            i = end < 0 ? s.size() : end + 1;
        } else {
            const qsizetype end = s.indexOf(u';', eq + 1);
            value = s.mid(eq + 1, end < 0 ? -1 : end - eq - 1);
            i = end < 0 ? s.size() : end + 1;
        }
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

}  // namespace detail

namespace detail {

Backend& backendOf(const Connection& connection, const QString& statement) {
    Backend* backend = detail::implOf(connection).backend.get();
    if (!backend) throw notOpen(statement);
    return *backend;
}

}  // namespace detail

QString connectionStringValue(const QString& value) {
    const bool plain = !value.contains(u';') && !value.startsWith(u'"') &&
                       !value.startsWith(u'\'') && !value.startsWith(u' ');
    if (plain) return value;
    if (!value.contains(u'"')) return u'"' + value + u'"';
    if (!value.contains(u'\'')) return u'\'' + value + u'\'';
    QString doubled = value;
    doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

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
    if (impl_->backend) impl_->backend->setBusyTimeout(ms);
}

int Connection::busyTimeout() const { return impl_->busyTimeoutMs; }

void Connection::setPatience(int ms) {
    impl_->patienceMs = ms;
    if (impl_->backend) impl_->backend->setPatience(ms);
}

int Connection::patience() const { return impl_->patienceMs; }

void Connection::open() {
    if (impl_->backend) return;
    const QString path = detail::dataSource(impl_->connectionString);
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Aucune source de données dans la chaîne de connexion"));
    impl_->backend = detail::openBackend(path, impl_->busyTimeoutMs);
    impl_->backend->setPatience(impl_->patienceMs);
    impl_->fileName = path;
}

void Connection::reopenIfReadOnly() {
    if (impl_->backend) impl_->backend->reopenIfReadOnly();
}

void Connection::close() {
    if (!impl_->backend) return;
    const auto clients = impl_->clients;
    for (auto* c : clients) {
        if (std::find(impl_->clients.begin(), impl_->clients.end(), c) != impl_->clients.end())
            c->connectionClosing();
    }
    impl_->backend->rollback();
    impl_->backend.reset();
    impl_->fileName.clear();
}

bool Connection::connected() const { return impl_->backend != nullptr; }

bool Connection::shared() const { return impl_->backend && impl_->backend->shared(); }

std::optional<QDateTime> Connection::serverTime() const {
    return impl_->backend ? impl_->backend->serverTime() : std::nullopt;
}

QString Connection::fileName() const { return impl_->fileName; }

void Connection::execute(const QString& statement) {
    detail::backendOf(*this, statement).execute(statement);
}

QList<FieldDef> Connection::tableFields(const QString& table) const {
    return detail::backendOf(*this, table).tableFields(table);
}

void Connection::createDatabase(const QString& path, const QStringList& statements) {
    sqlite::createDatabase(path, statements);
}

}  // namespace tavix::db

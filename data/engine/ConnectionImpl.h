#pragma once

#include <algorithm>
#include <vector>

#include "data/engine/Connection.h"
#include "data/engine/Statement.h"
#include "data/engine/pg/PgSession.h"

namespace tavix::db {

namespace detail {
// The file named by a connection string's "Data Source"; empty when none.
QString dataSource(const QString& connectionString);

// A query or dataset made on a connection: closed with it, and told when
// the connection goes away so it never touches a dead handle.
class ConnectionClient {
public:
    virtual void connectionClosing() = 0;
    virtual void connectionDestroyed() = 0;

protected:
    ~ConnectionClient() = default;
};
}  // namespace detail

class Connection::Impl {
public:
    detail::DbHandle db;
    std::unique_ptr<pg::Session> pg;  // set instead of db on a PostgreSQL server
    QString connectionString;
    QString fileName;
    int busyTimeoutMs = 5000;
    std::vector<detail::ConnectionClient*> clients;

    void attach(detail::ConnectionClient* c) { clients.push_back(c); }
    void detach(detail::ConnectionClient* c) {
        clients.erase(std::remove(clients.begin(), clients.end(), c), clients.end());
    }
};

}  // namespace tavix::db

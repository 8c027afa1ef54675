#pragma once

#include "data/engine/Internal.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "data/engine/Backend.h"
#include "data/engine/Connection.h"

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
    std::unique_ptr<detail::Backend> backend;  // set while open
    QString connectionString;
    QString fileName;
    int busyTimeoutMs = 5000;
    int patienceMs = 0;
    std::vector<detail::ConnectionClient*> clients;

    void attach(detail::ConnectionClient* c) { clients.push_back(c); }
    void detach(detail::ConnectionClient* c) {
        clients.erase(std::remove(clients.begin(), clients.end(), c), clients.end());
    }
};

namespace detail {
struct ConnectionAccess {
    static Connection::Impl& of(const Connection& c) { return *c.impl_; }
};
inline Connection::Impl& implOf(const Connection& c) { return ConnectionAccess::of(c); }

// The open connection's back end; throws EngineError naming the statement
// when the connection is closed.
Backend& backendOf(const Connection& connection, const QString& statement = {});
}  // namespace detail

}  // namespace tavix::db

#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <memory>

class QObject;

namespace tavix::db {

// Statements run on a connection and a thread of their own, so that the
// caller never waits for the database: a lock held elsewhere, or a server
// away, holds up only this connection. Each outcome comes back in order on
// the thread that asked, through its event loop.
class Background {
public:
    // source: what a connection string's "Data Source=" names.
    explicit Background(QString source);
    // A statement in flight is given up; no outcome comes any more.
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    const QString& source() const { return source_; }

    // error: null when it went through; else an EngineError
    // (ServerUnreachable when the server could not be reached).
    using Done = std::function<void(std::exception_ptr error)>;
    // A statement of the program's dialect that returns no rows.
    void execute(const QString& statement, Done done);
    // Connects when not connected; done(null) once connected.
    void reach(Done done);
    // Jobs asked and not answered yet.
    int pending() const;

    struct Shared;

private:
    QString source_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QObject> replies_;  // where outcomes are delivered
};

}  // namespace tavix::db

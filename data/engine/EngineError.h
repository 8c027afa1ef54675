#pragma once

#include "platform/Error.h"

namespace tavix::db {

// Any failure of the database engine: SQLite's message, and the statement
// when there is one.
class EngineError : public Error {
public:
    explicit EngineError(const QString& message, const QString& statement = {});
    const QString& statement() const noexcept { return statement_; }

private:
    QString statement_;
};

// Work asked of a database that is not open (it could not be opened at the
// start, and the user was told why then).
EngineError notOpen(const QString& statement = {});

}  // namespace tavix::db

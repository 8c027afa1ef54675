#pragma once

namespace tavix::db {

class Connection;

// Runs the statements made on a connection during its lifetime as one unit:
// begins at once (taking the write lock, waiting like any write), commit()
// keeps them, and leaving the scope without commit() undoes them.
class Transaction {
public:
    explicit Transaction(Connection& connection);  // throws EngineError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();  // throws EngineError; the transaction is over either way
    bool active() const { return active_; }

private:
    Connection& connection_;
    bool active_ = false;
};

}  // namespace tavix::db

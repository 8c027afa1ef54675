#pragma once

#include <memory>

#include "data/engine/Backend.h"
#include "data/engine/Connection.h"
#include "data/engine/Internal.h"
#include "data/engine/pg/PgSession.h"

namespace tavix::db::pg {

// A PostgreSQL server, through libpq: shared by several workstations.
class SpareSession;

class PgBackend final : public detail::Backend {
public:
    // Connects, and makes the program's tables in a database that has none.
    explicit PgBackend(const QString& conninfo);
    ~PgBackend() override;

    bool shared() const override { return true; }
    void execute(const QString& statement) override;
    std::unique_ptr<detail::Cursor> open(const QString& statement) override;
    std::unique_ptr<detail::Cursor> openBound(const QString& sql, const QVariantList& values,
                                              bool streaming) override;
    QList<FieldDef> tableFields(const QString& table) override;
    std::unique_ptr<detail::TableStore> openTable(const QString& table) override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    void copyTo(const QString& target) override;
    void purge(const QString& table, const QString& target) override;
    void setBusyTimeout(int) override {}
    void reopenIfReadOnly() override {}
    std::optional<QDateTime> serverTime() override;
    void setPatience(int ms) override { session_->setPatience(ms); }

    Session& session() { return *session_; }

private:
    QString conninfo_;
    std::unique_ptr<Session> session_;
    std::shared_ptr<SpareSession> spare_;
};

// The open server's session; null when the connection is closed or on a
// file. For the table dataset, which still speaks to each back end itself.
Session* sessionOf(const Connection& connection);

}  // namespace tavix::db::pg

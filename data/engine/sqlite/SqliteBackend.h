#pragma once

#include "data/engine/Internal.h"

#include <QString>
#include <QStringList>

#include "data/engine/Backend.h"
#include "data/engine/Connection.h"
#include "data/engine/Statement.h"

namespace tavix::db::sqlite {

// A database file, through SQLite: one workstation's, locked while written.
class SqliteBackend final : public detail::Backend {
public:
    // Opens an existing file (read-only when it cannot be written) and reads
    // from it, so a file that is no database or is locked says so now.
    SqliteBackend(const QString& path, int busyTimeoutMs);
    ~SqliteBackend() override;

    bool shared() const override { return false; }
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
    void setBusyTimeout(int ms) override;
    void reopenIfReadOnly() override;
    void setPatience(int) override {}

    sqlite3* handle() const { return db_.get(); }

private:
    QString path_;
    int busyTimeoutMs_;
    detail::DbHandle db_;
};

// The open file's SQLite handle; null when the connection is closed or on a
// server. For the table dataset, which still speaks SQLite itself, and for
// tests that watch the statements run.
sqlite3* handleOf(const Connection& connection);

// Binds a value to a statement's mark, as every bound value goes in.
void bind(detail::Statement& stmt, int index, const QVariant& value);

// Makes a new database file (and its folders) and runs the given statements
// of the dialect in it, in one transaction. Fails if the file exists.
void createDatabase(const QString& path, const QStringList& statements);

}  // namespace tavix::db::sqlite

#pragma once

// A database file of the program's layout in a test's own temporary folder,
// with raw access for setting up rows and reading back what was stored.

#include <sqlite3.h>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/engine/Connection.h"
#include "data/engine/Schema.h"

namespace tavix::test {

class TempDatabase {
public:
    // schema: statements run by SQLite itself (default: the program's layout).
    explicit TempDatabase(const QStringList& schema = {}, const QString& name = "tavix.mdb") {
        path_ = dir_.filePath(name);
        if (schema.isEmpty()) {
            db::Connection::createDatabase(path_, db::defaultSchema());
        } else {
            for (const QString& statement : schema) exec(statement);
        }
    }

    const QString& path() const { return path_; }
    QString folder() const { return dir_.path(); }

    // Runs raw SQLite SQL (not the program's dialect).
    void exec(const QString& sql) const {
        Handle h(path_);
        char* message = nullptr;
        if (sqlite3_exec(h.db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "sqlite error";
            sqlite3_free(message);
            throw std::runtime_error(text + " in " + sql.toStdString());
        }
    }

    // Rows of a raw SELECT, each column as text (NULL as a null QVariant).
    std::vector<std::vector<QVariant>> rows(const QString& sql) const {
        Handle h(path_);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(h.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(h.db));
        std::vector<std::vector<QVariant>> result;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<QVariant> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
                    row.emplace_back();
                else
                    row.emplace_back(QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))));
            }
            result.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        return result;
    }

    QString scalar(const QString& sql) const {
        const auto r = rows(sql);
        return r.empty() || r[0].empty() ? QString() : r[0][0].toString();
    }

private:
    struct Handle {
        explicit Handle(const QString& path) {
            if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
                throw std::runtime_error("cannot open test database");
        }
        ~Handle() { sqlite3_close(db); }
        sqlite3* db = nullptr;
    };

    QTemporaryDir dir_;
    QString path_;
};

}  // namespace tavix::test

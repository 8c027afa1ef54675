#pragma once

// A database of the program's layout in the test's own folder, and raw
// SQLite access to look at what the engine really stored.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "common/Fakes.h"
#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "data/engine/Schema.h"

namespace tavix::test {

inline QString connectionStringFor(const QString& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Persist Security Info=False";
}

// Raw handle: runs SQLite's own SQL, bypassing the engine.
class RawDb {
public:
    explicit RawDb(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK)
            ADD_FAILURE() << "raw open failed";
    }
    ~RawDb() { sqlite3_close(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool exec(const char* sql) {
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // Every row as "a|b|c" (NULL as "<null>").
    QStringList rows(const QString& sql) {
        sqlite3_stmt* stmt = nullptr;
        QStringList out;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql.toStdString();
            return out;
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList cells;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                cells << (sqlite3_column_type(stmt, i) == SQLITE_NULL
                              ? QStringLiteral("<null>")
                              : QString::fromUtf8(
                                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))));
            out << cells.join(u'|');
        }
        sqlite3_finalize(stmt);
        return out;
    }
    QString scalar(const QString& sql) {
        const QStringList r = rows(sql);
        return r.isEmpty() ? QString() : r.first();
    }

private:
    sqlite3* db_ = nullptr;
};

// A fresh database (a blank in its name, as users' paths have) and an open
// connection on it.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("base de test.mdb");
        db::Connection::createDatabase(path, schema());
        connection.setConnectionString(connectionStringFor(path));
        connection.open();
    }
    virtual QStringList schema() const { return db::defaultSchema(); }

    void run(const QString& statement) {
        db::Query q(connection);
        q.clear();
        q.add(statement);
        q.execute();
    }

    // Rows of a SELECT through the engine, each as its fields' texts "a|b".
    QStringList select(const QString& statement, const QStringList& fields) {
        db::Query q(connection);
        q.add(statement);
        q.open();
        QStringList out;
        while (!q.eof()) {
            QStringList cells;
            for (const QString& f : fields) cells << q.asString(f);
            out << cells.join(u'|');
            q.next();
        }
        q.close();
        return out;
    }

    QTemporaryDir dir;
    QString path;
    db::Connection connection;
};

}  // namespace tavix::test

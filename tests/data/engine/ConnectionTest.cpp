// Opening a database file, making one, and what closing does to datasets.

#include <QDir>
#include <QFileInfo>

#include "EngineSupport.h"
#include "data/engine/EngineError.h"
#include "data/engine/TableDataset.h"

using namespace tavix;
using namespace tavix::test;

namespace {

QStringList clientsColumns(const QString& file) {
    RawDb raw(file);
    return raw.rows("SELECT name FROM pragma_table_info('clients')");
}

TEST(ConnectionTest, OpensOnlyAnExistingDatabase) {
    QTemporaryDir dir;
    const QString good = dir.filePath("dossier avec blancs/base.mdb");
    db::Connection::createDatabase(good, db::defaultSchema());
    const QString semicolon = dir.filePath("a;b.mdb");
    db::Connection::createDatabase(semicolon, db::defaultSchema());
    const QString quotes = dir.filePath("l'ami \"x\";y.mdb");
    db::Connection::createDatabase(quotes, db::defaultSchema());
    const QString text = dir.filePath("texte.mdb");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("Ceci n'est pas une base de données.\n").repeated(200));
    }
    const QString missing = dir.filePath("absente.mdb");

    const struct {
        QString connectionString;
        QString opens;  // the file opened; empty when opening fails
    } cases[] = {
        {connectionStringFor(good), good},
        {"Data Source=" + good, good},
        {"Data Source = \"" + good + "\" ; Persist Security Info=False", good},
        {connectionStringFor(missing), ""},
        {connectionStringFor(text), ""},
        {connectionStringFor(semicolon), ""},  // unquoted, the path stops at ';'
        {"Data Source=\"" + semicolon + "\";Persist Security Info=False", semicolon},
        {"Provider=x;Data Source='" + semicolon + "'", semicolon},
        {connectionStringFor(db::connectionStringValue(semicolon)), semicolon},
        {connectionStringFor(db::connectionStringValue(quotes)), quotes},
        {connectionStringFor(dir.path()), ""},
        {connectionStringFor(""), ""},
        {"Provider=Microsoft.Jet.OLEDB.4.0", ""},
    };
    for (const auto& c : cases) {
        db::Connection connection;
        connection.setConnectionString(c.connectionString);
        if (!c.opens.isEmpty()) {
            connection.open();
            EXPECT_TRUE(connection.connected());
            EXPECT_EQ(connection.fileName(), c.opens);
            connection.close();
            EXPECT_FALSE(connection.connected());
        } else {
            EXPECT_THROW(connection.open(), db::EngineError) << c.connectionString.toStdString();
            EXPECT_FALSE(connection.connected());
            EXPECT_THROW(connection.execute("DELETE * FROM clients"), db::EngineError);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a")));
}

TEST(ConnectionTest, ConnectionStringValueQuotesOnlyWhenNeeded) {
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        {"/home/u/base avec blancs.mdb", "/home/u/base avec blancs.mdb"},
        {"/home/a;b/tavix.mdb", "\"/home/a;b/tavix.mdb\""},
        {"/home/a;\"b\"/t.mdb", "'/home/a;\"b\"/t.mdb'"},
        {"/h/l'a;\"b\".mdb", "\"/h/l'a;\"\"b\"\".mdb\""},
        {"\"q.mdb", "'\"q.mdb'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::connectionStringValue(QString::fromUtf8(c.value)),
                  QString::fromUtf8(c.written))
            << c.value;
}

TEST(ConnectionTest, EveryCommitIsDurable) {
    QTemporaryDir dir;
    const QString file = dir.filePath("base.mdb");
    db::Connection::createDatabase(file, db::defaultSchema());
    db::Connection connection;
    connection.setConnectionString(connectionStringFor(file));
    connection.open();
    db::Query q(connection);
    q.add("PRAGMA synchronous");
    q.open();
    EXPECT_EQ(q.asInteger("synchronous"), 2);  // FULL
}

TEST(ConnectionTest, LockHeldByAnotherProgram) {
    QTemporaryDir dir;
    const QString file = dir.filePath("base.mdb");
    db::Connection::createDatabase(file, db::defaultSchema());

    db::Connection before;  // opened before the lock: its writes wait, then fail
    before.setConnectionString(connectionStringFor(file));
    before.setBusyTimeout(100);
    before.open();

    RawDb other(file);
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
    ASSERT_TRUE(other.exec("INSERT INTO clients (NOM) VALUES ('autre')"));

    EXPECT_THROW(before.execute("INSERT INTO clients (NOM) SELECT \"moi\""), db::EngineError);
    db::Connection after;
    after.setConnectionString(connectionStringFor(file));
    after.setBusyTimeout(100);
    EXPECT_THROW(after.open(), db::EngineError);
    EXPECT_FALSE(after.connected());

    ASSERT_TRUE(other.exec("COMMIT"));
    after.open();
    after.execute("INSERT INTO clients (NOM) SELECT \"moi\"");
    EXPECT_EQ(other.rows("SELECT NOM FROM clients ORDER BY NOM"), (QStringList{"autre", "moi"}));
}

TEST(ConnectionTest, CreateDatabase) {
    QTemporaryDir dir;
    const QString file = dir.filePath("sous/dossier/base.mdb");
    db::Connection::createDatabase(file, db::defaultSchema());
    EXPECT_EQ(clientsColumns(file), QStringList{"NOM"});
    RawDb raw(file);
    EXPECT_EQ(
        raw.rows("SELECT name || ' ' || type || ' ' || pk FROM pragma_table_info('activites')"),
        (QStringList{"ID INTEGER 1", "SURVEILLANCES TEXT(32) 0", "CLIENTS TEXT(255) 0",
                     "DEBUT DATETIME 0", "FIN DATETIME 0", "DUREE INTEGER 0",
                     "COMMENTAIRE TEXT(255) 0", "USER TEXT(255) 0"}));

    // An existing file is left alone.
    EXPECT_THROW(db::Connection::createDatabase(file, {"CREATE TABLE x (a INTEGER)"}),
                 db::EngineError);
    EXPECT_EQ(clientsColumns(file), QStringList{"NOM"});

    // A failing statement leaves no half-made file behind.
    const QString broken = dir.filePath("cassee.mdb");
    EXPECT_THROW(db::Connection::createDatabase(
                     broken, {"CREATE TABLE clients (NOM TEXT(255))", "CREATE TABLE clients (X)"}),
                 db::EngineError);
    EXPECT_FALSE(QFileInfo::exists(broken));
    EXPECT_FALSE(QFileInfo::exists(broken + "-journal"));
}

TEST(ConnectionTest, TableFieldsInColumnOrder) {
    QTemporaryDir dir;
    const QString file = dir.filePath("base.mdb");
    db::Connection::createDatabase(file, db::defaultSchema());
    db::Connection connection;
    EXPECT_THROW(connection.tableFields("clients"), db::EngineError);
    connection.setConnectionString(connectionStringFor(file));
    connection.open();
    QStringList names;
    const auto fields = connection.tableFields("ACTIVITES");
    for (const auto& f : fields) names << f.name;
    EXPECT_EQ(names, (QStringList{"ID", "SURVEILLANCES", "CLIENTS", "DEBUT", "FIN", "DUREE",
                                  "COMMENTAIRE", "USER"}));
    EXPECT_EQ(fields[0].type, db::FieldType::AutoIncrement);
    EXPECT_EQ(fields[1].size, 32);
    EXPECT_EQ(fields[3].type, db::FieldType::DateTime);
    EXPECT_THROW(connection.tableFields("absente"), db::EngineError);
}

TEST(ConnectionTest, CloseClosesEveryDatasetAndSurvivors) {
    QTemporaryDir dir;
    const QString file = dir.filePath("base.mdb");
    db::Connection::createDatabase(file, db::defaultSchema());
    RawDb(file).exec("INSERT INTO clients (NOM) VALUES ('a'), ('b')");

    auto connection = std::make_unique<db::Connection>();
    connection->setConnectionString(connectionStringFor(file));
    connection->open();
    db::Query query(*connection);
    query.add("select * from clients");
    query.open();
    db::TableDataset table(*connection, "clients");
    table.open();
    ASSERT_TRUE(query.active() && table.active());

    connection->close();
    EXPECT_FALSE(query.active());
    EXPECT_FALSE(table.active());
    EXPECT_THROW(query.open(), db::EngineError);
    EXPECT_THROW(table.open(), db::EngineError);

    connection->open();
    query.open();
    table.open();
    EXPECT_EQ(table.recordCount(), 2);

    // Queries and datasets outliving their connection fail cleanly.
    connection.reset();
    EXPECT_FALSE(query.active());
    EXPECT_FALSE(table.active());
    EXPECT_THROW(query.open(), db::EngineError);
    EXPECT_THROW(query.execute(), db::EngineError);
    EXPECT_THROW(table.open(), db::EngineError);
    EXPECT_THROW(table.refresh(), db::EngineError);
}

}  // namespace

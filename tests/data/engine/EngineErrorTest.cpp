// What a user reads when the database fails: French, the file named, and
// what to do, for each failure met on real files.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <optional>

#include "EngineSupport.h"
#include "common/Unprivileged.h"
#include "data/engine/Backup.h"
#include "data/engine/EngineError.h"
#include "data/engine/sqlite/SqliteBackend.h"

using namespace tavix;
using namespace tavix::test;

namespace {

// SQLite's own words, none of which may reach a user.
const char* const kEnglish[] = {"database", "disk",   "locked", "unable", "no such",
                                "column",   "failed", "syntax", "file is"};

void expectTold(const QString& message, const QString& file, const QString& cause,
                const QString& advice, const char* what) {
    EXPECT_TRUE(message.contains("« " + file + " »")) << what << ": " << message.toStdString();
    EXPECT_TRUE(message.contains(cause)) << what << ": " << message.toStdString();
    // What to do comes on a line of its own, after what happened.
    EXPECT_TRUE(message.section(u'\n', 1).contains(advice))
        << what << ": " << message.toStdString();
    QString withoutFile = message;
    withoutFile.remove(file);
    for (const char* word : kEnglish)
        EXPECT_FALSE(withoutFile.contains(QLatin1String(word), Qt::CaseInsensitive))
            << what << ": " << message.toStdString();
}

QString failure(const std::function<void()>& act) {
    try {
        act();
    } catch (const db::EngineError& e) {
        return e.message();
    }
    ADD_FAILURE() << "no error";
    return {};
}

// A database of the program's layout in its own folder, opened.
struct Scene {
    Scene() {
        db::Connection::createDatabase(path, db::defaultSchema());
        connection.setConnectionString(connectionStringFor(path));
        connection.open();
    }
    void run(const QString& statement) {
        db::Query q(connection);
        q.add(statement);
        q.execute();
    }
    QTemporaryDir dir;
    QString path = dir.filePath("base de test.mdb");
    db::Connection connection;
    std::unique_ptr<RawDb> other;
    std::unique_ptr<Unprivileged> unprivileged;
};

TEST(EngineErrorTest, FailuresOnAnOpenDatabaseAreToldInFrenchWithTheFileAndWhatToDo) {
    using P = QFileDevice::Permission;
    const QFileDevice::Permissions readOnly = P::ReadOwner | P::ReadGroup | P::ReadOther;
    const QFileDevice::Permissions openFolder =
        readOnly | P::WriteOwner | P::ExeOwner | P::ExeGroup | P::ExeOther;
    const QString insert = "INSERT INTO clients (NOM) SELECT \"Martin\"";
    const struct {
        const char* what;
        std::function<void(Scene&)> arrange;
        QString statement;
        QString cause;
        QString advice;
    } cases[] = {
        {"disk full",
         [](Scene& t) {
             RawDb raw(t.path);
             const QString pages = raw.scalar("PRAGMA page_count");
             ASSERT_EQ(sqlite3_exec(db::sqlite::handleOf(t.connection),
                                    ("PRAGMA max_page_count=" + pages).toUtf8().constData(),
                                    nullptr, nullptr, nullptr),
                       SQLITE_OK);
         },
         "INSERT INTO clients (NOM) SELECT \"" + QString(20000, u'x') + "\"", "le disque est plein",
         "Libérez de la place sur le disque"},
        {"locked by another program",
         [](Scene& t) {
             t.connection.setBusyTimeout(50);
             t.other = std::make_unique<RawDb>(t.path);
             ASSERT_TRUE(t.other->exec("BEGIN EXCLUSIVE"));
             ASSERT_TRUE(t.other->exec("INSERT INTO clients (NOM) VALUES ('autre')"));
         },
         insert, "est verrouillée par un autre programme", "Attendez qu'il ait fini"},
        {"read-only file",
         [&](Scene& t) {
             // Others may reach the folder; only the file is read-only.
             ASSERT_TRUE(QFile::setPermissions(t.dir.path(), openFolder));
             ASSERT_TRUE(QFile::setPermissions(t.path, readOnly));
             t.connection.close();
             t.unprivileged = std::make_unique<Unprivileged>();
             t.connection.open();
         },
         insert, "le fichier est en lecture seule", "Donnez-vous le droit d'écrire"},
        {"missing column",
         [](Scene& t) {
             RawDb raw(t.path);
             ASSERT_TRUE(raw.exec("ALTER TABLE activites DROP COLUMN COMMENTAIRE"));
         },
         "INSERT INTO activites (CLIENTS, COMMENTAIRE) SELECT \"Martin\", \"note\"",
         "la colonne « COMMENTAIRE » est absente de la table « activites »",
         "Relancez Tavix pour qu'il propose de la convertir"},
        {"missing table",
         [](Scene& t) {
             RawDb raw(t.path);
             ASSERT_TRUE(raw.exec("DROP TABLE travaux"));
         },
         "DELETE * FROM travaux", "la table « travaux » est absente", "choisissez une base Tavix"},
        {"same value twice",
         [](Scene& t) {
             RawDb raw(t.path);
             ASSERT_TRUE(raw.exec("CREATE UNIQUE INDEX un_nom ON clients (NOM)"));
             ASSERT_TRUE(raw.exec("INSERT INTO clients (NOM) VALUES ('Martin')"));
         },
         insert, "Cette valeur existe déjà dans la base de données", "Saisissez une autre valeur"},
        {"damaged table",
         [](Scene& t) {
             RawDb raw(t.path);
             ASSERT_TRUE(raw.exec("INSERT INTO clients (NOM) VALUES ('Martin')"));
             const int page = raw.scalar(
                                     "SELECT rootpage FROM sqlite_master WHERE "
                                     "name = 'clients'")
                                  .toInt();
             const int size = raw.scalar("PRAGMA page_size").toInt();
             QFile file(t.path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_TRUE(file.seek(qint64(page - 1) * size));
             file.write(QByteArray(size, '\xA5'));
         },
         "DELETE * FROM clients", "est endommagée", "remplacez-la par une copie de sauvegarde"},
    };
    for (const auto& c : cases) {
        Scene scene;
        c.arrange(scene);
        const QString message = failure([&] { scene.run(c.statement); });
        expectTold(message, scene.path, c.cause, c.advice, c.what);
        scene.unprivileged.reset();
        scene.other.reset();
        scene.connection.close();
    }
}

TEST(EngineErrorTest, OpeningFailuresSayWhyAndWhatToDo) {
    QTemporaryDir dir;
    // A real folder under a name longer than the engine takes: neither
    // "unable to open" nor "introuvable".
    QString deep = dir.path();
    while (QFile::encodeName(deep).size() < 600)
        deep += "/dossier-aux-noms-longs-" + QString(20, u'x');
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString longPath = deep + "/base.mdb";
    const QString longName = dir.filePath(QString(300, u'n') + ".mdb");
    // A base behind a folder this user may not enter is out of reach, not
    // missing; the folders above it let anyone through.
    QFile::setPermissions(
        dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    const QString closed = dir.filePath("fermé");
    ASSERT_TRUE(QDir().mkpath(closed + "/compta"));
    QFile(closed + "/compta/base.mdb").open(QIODevice::WriteOnly);
    QFile::setPermissions(closed, QFileDevice::Permissions());
    const struct {
        const char* what;
        QString path;
        QString cause;
        QString advice;
    } cases[] = {
        {"path too long", longPath, "son chemin compte", "dossier au chemin plus court"},
        {"name too long", longName, "un nom du chemin compte 304 caractères",
         "dossier au chemin plus court"},
        {"missing", dir.filePath("absente.mdb"), "fichier introuvable", "Vérifiez le nom"},
        {"a folder", dir.path(), "c'est un dossier", "Choisissez le fichier de la base"},
        {"a closed folder", closed + "/compta/base.mdb",
         "le dossier « " + closed + " » n'est pas accessible à cet utilisateur",
         "Demandez l'accès à ce dossier"},
    };
    for (const auto& c : cases) {
        db::Connection other;
        other.setConnectionString(connectionStringFor(db::connectionStringValue(c.path)));
        const QString message = failure([&] {
            std::optional<test::Unprivileged> user;
            if (c.path.startsWith(closed)) user.emplace();
            other.open();
        });
        EXPECT_TRUE(
            message.startsWith("Impossible d'ouvrir la base de données « " + c.path + " » : "))
            << c.what << ": " << message.toStdString();
        expectTold(message, c.path, c.cause, c.advice, c.what);
        EXPECT_FALSE(other.connected());
        // Making a new base there is refused the same way.
        if (c.path == longPath || c.path == longName) {
            const QString made =
                failure([&] { db::Connection::createDatabase(c.path, db::defaultSchema()); });
            expectTold(made, c.path, c.cause, c.advice, c.what);
            EXPECT_FALSE(QFileInfo::exists(c.path));
        }
    }
    QFile::setPermissions(closed,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(EngineErrorTest, ACopyThatCannotBeMadeSaysWhyInFrench) {
    Scene scene;
    const QString target = scene.dir.filePath("absent/copie.mdb");
    const QString message = failure([&] { db::backupDatabase(scene.connection, target); });
    EXPECT_EQ(message, "Copie de sauvegarde impossible vers « " + target +
                           " » : le fichier ne peut pas être créé à cet endroit");
    EXPECT_FALSE(QFileInfo::exists(target));
}

}  // namespace

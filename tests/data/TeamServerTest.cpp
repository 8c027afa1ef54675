// A team's server as its administrator sets it up and its workstations meet
// it: the connection setting read as libpq reads it and never keeping a
// password, the server's refusals told in French, the script that prepares a
// database for roles without CREATE, who wrote each entry, and the row-level
// security the script can switch on.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QUrl>
#include <memory>

#include "common/Fakes.h"
#include "common/PgCluster.h"
#include "consult/BillingPanel.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "data/Billing.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Query.h"
#include "data/engine/TableDataset.h"
#include "data/engine/pg/PgConninfo.h"
#include "data/engine/pg/PgErrors.h"
#include "platform/Regional.h"

using namespace tavix;

namespace {

const QString kSecret = QStringLiteral("Sesame42");

QString script() {
    QFile f(QStringLiteral(TAVIX_SERVER_SCRIPT));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

class TeamServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MOLVERAN", "TAVIX").clear();
    }

    // A login role, made once per server; groups: roles it joins.
    void role(const QString& name, const QString& groups = {}) {
        cluster->exec(cluster->conninfo("postgres"),
                      QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE "
                                     "rolname = '%1') THEN CREATE ROLE %1 LOGIN; END IF; END $$")
                          .arg(name));
        if (!groups.isEmpty())
            cluster->exec(cluster->conninfo("postgres"),
                          QStringLiteral("GRANT %1 TO %2").arg(groups, name));
    }
    // The database of `conninfo` as `name` reaches it.
    static QString as(const QString& conninfo, const QString& name) {
        QString out = conninfo;
        return out.replace(QStringLiteral("user=tavix"), QStringLiteral("user=") + name);
    }
    // A database prepared by the administrator's script, with roles poste1,
    // poste2 (workstations) and chef (manager).
    QString teamDatabase(bool rowSecurity) {
        const QString db = cluster->createDatabase();
        const QString text = script();
        EXPECT_FALSE(text.isEmpty()) << TAVIX_SERVER_SCRIPT;
        cluster->exec(db, text);
        role("poste1", "tavix_postes");
        role("poste2", "tavix_postes");
        role("chef", "tavix_responsables");
        if (rowSecurity) cluster->exec(db, "ALTER TABLE activites ENABLE ROW LEVEL SECURITY");
        return db;
    }

    std::unique_ptr<TDataModule2> start(const QString& setting) {
        auto module = std::make_unique<TDataModule2>();
        module->DatabasePath = setting;
        opened = module->OpenDatabase();
        return module;
    }

    test::PgCluster* cluster = nullptr;
    test::ScriptedBoxes boxes;
    bool opened = false;
};

#define TEAM_SERVER()            \
    TAVIX_PG_OR_SKIP(pgCluster); \
    cluster = pgCluster

// Whatever the order of its keywords, and as a URI, the setting names the
// server; a password in any form is refused before any connection, at
// start as in the settings check, and never shown. A file path stays a file.
TEST_F(TeamServerTest, ConnectionSettingsAsLibpqReadsThem) {
    TEAM_SERVER();
    const QString db = test::PgCluster::databaseOf(cluster->createDatabase());
    const QString host = cluster->socketDir();
    const QString uriHost = QString::fromUtf8(QUrl::toPercentEncoding(host));
    const struct {
        QString setting;
        bool opens;
        const char* applicationName;  // what the server lists; nullptr: Tavix's own
    } servers[] = {
        {"host=" + host + " dbname=" + db + " user=tavix", true, nullptr},
        {"dbname=" + db + " user=tavix host=" + host, true, nullptr},
        {"user=tavix dbname=" + db + " host=" + host, true, nullptr},
        {"keepalives=1 host=" + host + " dbname=" + db + " user=tavix", true, nullptr},
        {"sslrootcert=/nulle/part/racine.crt host=" + host + " dbname=" + db + " user=tavix", true,
         nullptr},
        {"sslcert=/nulle/part/poste.crt sslkey=/nulle/part/poste.key dbname=" + db +
             " host=" + host + " user=tavix",
         true, nullptr},
        {"gssencmode=disable host=" + host + " dbname=" + db + " user=tavix", true, nullptr},
        {"  connect_timeout = 3  host = '" + host + "'  dbname = " + db + "  user=tavix ", true,
         nullptr},
        {"application_name=poste3 host=" + host + " dbname=" + db + " user=tavix", true, "poste3"},
        {"postgresql://tavix@/" + db + "?host=" + uriHost, true, nullptr},
        {"postgres:///" + db + "?user=tavix&host=" + uriHost + "&keepalives=1", true, nullptr},
        {"host=" + host + " dbname=" + db + " user=tavix password=" + kSecret, false, nullptr},
        {"password=" + kSecret + " host=" + host + " dbname=" + db, false, nullptr},
        {"keepalives=1 host=" + host + " dbname=" + db + " user=poste3 password='" + kSecret +
             " et la suite'",
         false, nullptr},
        {"sslrootcert=/x.crt password=" + kSecret + " host=" + host, false, nullptr},
        {"sslpassword=" + kSecret + " host=" + host + " dbname=" + db, false, nullptr},
        {"postgresql://tavix:" + kSecret + "@/" + db + "?host=" + uriHost, false, nullptr},
        {"postgresql:///" + db + "?host=" + uriHost + "&password=" + kSecret, false, nullptr},
        // Unreadable, yet plainly meant for a server: refused, not opened as a file.
        {"host=" + host + " password=" + kSecret + " dbname='" + db, false, nullptr},
    };
    for (const auto& c : servers) {
        SCOPED_TRACE(c.setting.toStdString());
        boxes.errors.clear();
        boxes.informs.clear();
        bool refused = false;
        try {
            db::checkDatabaseSetting(c.setting);
        } catch (const Error& e) {
            refused = true;
            EXPECT_FALSE(e.message().contains(kSecret)) << e.message().toStdString();
        }
        EXPECT_EQ(refused, !c.opens);
        EXPECT_TRUE(db::databaseLabel(c.setting).startsWith("du serveur PostgreSQL"))
            << db::databaseLabel(c.setting).toStdString();
        EXPECT_FALSE(db::databaseLabel(c.setting).contains(kSecret));

        auto module = start(c.setting);
        EXPECT_EQ(opened, c.opens);
        EXPECT_EQ(module->ADOConnection1.shared(), c.opens);
        if (c.opens) {
            EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
            const QString listed = cluster->scalar(
                cluster->conninfo("postgres"),
                QStringLiteral("SELECT string_agg(application_name, ',') FROM pg_stat_activity "
                               "WHERE datname = '%1' AND pid <> pg_backend_pid()")
                    .arg(db));
            // (A connection of the case before may linger a moment.)
            const QString expected = c.applicationName ? QString::fromUtf8(c.applicationName)
                                                       : db::pg::applicationName();
            EXPECT_TRUE(listed.split(',').contains(expected))
                << listed.toStdString() << " / " << expected.toStdString();
        } else {
            ASSERT_EQ(boxes.errors.size(), 1);
            EXPECT_FALSE(boxes.errors[0].contains(kSecret)) << boxes.errors[0].toStdString();
            EXPECT_TRUE(boxes.errors[0].contains("~/.pgpass") ||
                        boxes.errors[0].contains("illisible"))
                << boxes.errors[0].toStdString();
        }
    }

    // Paths, even with '=' or blanks, are files: named as such, never sent to libpq.
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("tâches.mdb"), dir.filePath("a=b.db"),
                                dir.filePath("mes bases/host.db"), QStringLiteral("relatif.db")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_NO_THROW(db::checkDatabaseSetting(path));
        EXPECT_EQ(db::databaseLabel(path), "« " + path + " »");
        boxes.errors.clear();
        auto module = start(path);
        EXPECT_FALSE(opened);
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].contains("« " + path + " »")) << boxes.errors[0].toStdString();
    }
}

// The server's refusals at the first start of a workstation, in French:
// which server and database, what is wrong and what to do, the server's own
// text only as the detail.
TEST_F(TeamServerTest, ServerRefusalsAreToldInFrench) {
    TEAM_SERVER();
    const QString empty = cluster->createDatabase();  // no tables: the role must create them
    const QString prepared = teamDatabase(false);     // tables, but the role is in no group
    role("sansdroit");
    const QString emptyName = test::PgCluster::databaseOf(empty);
    const struct {
        QString setting;
        QStringList said;
    } cases[] = {
        {as(empty, "sansdroit"),
         {"base « " + emptyName + " »", "« sansdroit » n'a pas le droit de créer les tables",
          "tavix-serveur.sql", "Détail : "}},
        {as(prepared, "sansdroit"),
         {"« sansdroit » n'a pas le droit de lire ou d'écrire la table",
          "GRANT tavix_postes TO sansdroit", "Détail : "}},
        {as(prepared, "inconnu"),
         {"le rôle « inconnu » n'existe pas sur ce serveur", "« user= »", "Détail : "}},
        {"host=" + cluster->socketDir() + " user=tavix dbname=absente",
         {"base « absente »", "la base « absente » n'existe pas", "createdb", "Détail : "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting.toStdString());
        boxes.errors.clear();
        auto module = start(c.setting);
        EXPECT_FALSE(opened);
        ASSERT_EQ(boxes.errors.size(), 1);
        const QString& told = boxes.errors[0];
        EXPECT_TRUE(told.startsWith("Serveur PostgreSQL « " + cluster->socketDir() + " »"))
            << told.toStdString();
        for (const QString& part : c.said)
            EXPECT_TRUE(told.contains(part)) << part.toStdString() << "\n" << told.toStdString();
        EXPECT_FALSE(told.contains("permission denied", Qt::CaseInsensitive) &&
                     told.indexOf("permission denied") < told.indexOf("Détail"));
    }
}

// What the socket-only test server cannot provoke, from libpq's and the
// server's own texts: English, French, and a language not recognised.
TEST_F(TeamServerTest, RefusalsKnownOnlyByTheirTextAreRecognised) {
    const struct {
        const char* libpq;
        const char* said;
    } cases[] = {
        {"FATAL:  no pg_hba.conf entry for host \"10.0.0.7\", user \"poste1\", database "
         "\"tavix\", no encryption",
         "qu'en connexion chiffrée (TLS)"},
        {"FATAL:  aucune entrée dans pg_hba.conf pour l'hôte « 10.0.0.7 », utilisateur « poste1 », "
         "base de données « tavix », sans chiffrement",
         "qu'en connexion chiffrée (TLS)"},
        {"server does not support SSL, but SSL was required",
         "connexion chiffrée (TLS) a été refusée"},
        {"SSL error: certificate verify failed", "connexion chiffrée (TLS) a été refusée"},
        {"FATAL:  no pg_hba.conf entry for host \"10.0.0.7\", user \"poste1\", database "
         "\"tavix\", SSL encryption",
         "n'accepte pas ce poste"},
        {"connection to server at \"srv\" (10.0.0.1), port 5432 failed: Connection refused",
         "ne répond pas"},
        {"FATAL:  the database system is starting up", "n'accepte pas encore de connexions"},
        {"FATAL:  Rolle »poste1« existiert nicht", "a refusé la connexion du rôle « poste1 »"},
    };
    for (const auto& c : cases) {
        const QString told = db::pg::connectionFailure("serveur PostgreSQL « srv », base « tavix »",
                                                       "poste1", "tavix", c.libpq);
        EXPECT_TRUE(told.startsWith("Serveur PostgreSQL « srv », base « tavix » : "))
            << told.toStdString();
        EXPECT_TRUE(told.contains(QString::fromUtf8(c.said))) << told.toStdString();
        EXPECT_TRUE(told.endsWith(QString::fromUtf8(c.libpq).simplified())) << told.toStdString();
    }
}

// The script makes the tables as the program makes them; after it, the
// first start of a role without CREATE works, and every entry carries the
// role that wrote it, whatever the workstation sends.
TEST_F(TeamServerTest, ScriptPreparesTheTablesTheProgramMakes) {
    TEAM_SERVER();
    const QString byProgram = cluster->createDatabase();
    {
        auto module = start(byProgram);
        ASSERT_TRUE(opened) << boxes.errors.join('\n').toStdString();
    }
    const QString byScript = teamDatabase(false);
    const auto layout = [&](const QString& db) {
        QStringList out = cluster->rows(
            db,
            "SELECT c.relname || '.' || a.attname || ' ' || format_type(a.atttypid, a.atttypmod) "
            "|| ' ' || a.attnotnull::text || ' ' || a.attidentity::text || ' ' || "
            "COALESCE(pg_get_expr(d.adbin, d.adrelid), '') "
            "FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid "
            "LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
            "WHERE c.relnamespace = 'public'::regnamespace AND c.relkind = 'r' AND a.attnum > 0 "
            "AND NOT a.attisdropped ORDER BY c.relname, a.attnum");
        out += cluster->rows(db,
                             "SELECT indexname || ' ' || indexdef FROM pg_indexes WHERE "
                             "schemaname = 'public' ORDER BY indexname");
        out += cluster->rows(db,
                             "SELECT tgname || ' ' || pg_get_triggerdef(t.oid) FROM pg_trigger t "
                             "WHERE NOT tgisinternal ORDER BY tgname");
        out += cluster->rows(db, "SELECT prosrc FROM pg_proc WHERE proname = 'tavix_auteurs'");
        return out;
    };
    const QStringList program = layout(byProgram);
    EXPECT_TRUE(program.join('\n').contains("tavix_ecrit_par")) << program.join('\n').toStdString();
    EXPECT_EQ(layout(byScript), program);

    // Run again over a database the program made: nothing lost, nothing doubled.
    cluster->exec(byProgram, "INSERT INTO clients (\"NOM\") VALUES ('Dupont')");
    cluster->exec(byProgram, script());
    EXPECT_EQ(layout(byProgram), program);
    EXPECT_EQ(cluster->scalar(byProgram, "SELECT count(*) FROM clients"), "1");

    // PostgreSQL 15 gives no CREATE on public: poste1 starts on what the script made.
    EXPECT_EQ(cluster->scalar(byScript,
                              "SELECT has_schema_privilege('poste1', 'public', "
                              "'CREATE')"),
              "f");
    auto module = start(as(byScript, "poste1"));
    ASSERT_TRUE(opened) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(boxes.errors.isEmpty());
    module->AddLogEntry("", "Dupont", "Saisie", DateTime(QDate(2026, 3, 2), QTime(9, 0)),
                        DateTime(QDate(2026, 3, 2), QTime(10, 0)), 3600, "");
    EXPECT_TRUE(boxes.informs.isEmpty()) << boxes.informs.join('\n').toStdString();
    // A workstation naming another writer is not believed.
    cluster->exec(as(byScript, "poste1"),
                  "INSERT INTO activites (\"CLIENTS\", tavix_ecrit_par) VALUES ('Martin', 'chef')");
    EXPECT_EQ(cluster->rows(byScript,
                            "SELECT \"CLIENTS\", tavix_ecrit_par, tavix_ecrit_le IS NOT NULL, "
                            "tavix_modifie_par FROM activites ORDER BY \"ID\""),
              QStringList({"Dupont|poste1|t|<null>", "Martin|poste1|t|<null>"}));
    // Billing works on the script's tables too: a number is given.
    Invoice invoice;
    invoice.issued = QDate(2026, 3, 31);
    invoice.client = "Dupont";
    invoice.from = QDate(2026, 3, 1);
    invoice.to = QDate(2026, 3, 31);
    try {
        EXPECT_EQ(billing::issueInvoice(module->ADOConnection1, invoice, [](qint64) {}), 1);
    } catch (const Error& e) {
        ADD_FAILURE() << e.message().toStdString();
    }
    // A table the administrator adds later is open to the workstations too.
    cluster->exec(byScript, "CREATE TABLE notes (n integer)");
    EXPECT_NO_THROW(cluster->exec(as(byScript, "poste2"), "INSERT INTO notes VALUES (1)"));
}

// The consultation window's grid on a server whose script switched row-level
// security on: who wrote and changed a row shows in its tooltip, never as a
// field; a workstation changes and deletes only its own entries and is told
// why in French; the manager changes any and alone purges.
class TeamGridTest : public TeamServerTest {
protected:
    void open(const QString& setting) {
        form.reset();
        module = start(setting);
        ASSERT_TRUE(opened) << boxes.errors.join('\n').toStdString();
        form = std::make_unique<TForm5>();
        form->show();
        form->chkTout->setChecked(true);
        form->Commenter->click();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !form->Billing->totalsRunning() && !form->reportRunning(); }, 10000));
        form->Button2->click();  // the grid
    }
    void TearDown() override {
        form.reset();
        module.reset();
    }
    db::TableDataset& table() { return module->ADOTable1; }
    int rowOf(const QString& client) {
        for (int r = 0; r < table().recordCount(); ++r)
            if (table().textAt(r, table().fieldIndex("CLIENTS")) == client) return r;
        return -1;
    }
    QString tooltip(const QString& client) {
        const int row = rowOf(client);
        return form->DBGrid1->model()
            ->data(form->DBGrid1->model()->index(row, 1), Qt::ToolTipRole)
            .toString();
    }
    // A grid edit as the navigator posts it; the error the user is shown.
    QString changeDuration(const QString& client, const QString& seconds) {
        boxes.errors.clear();
        runGuarded([&] {
            table().setRecNo(rowOf(client));
            table().setFieldText("DUREE", seconds);
            form->DBNavigator1->btnClick(TDBNavigator::Button::Post);
        });
        runGuarded([&] { table().cancel(); });
        return boxes.errors.join('\n');
    }
    QString remove(const QString& client) {
        boxes.errors.clear();
        boxes.answers = {true};
        runGuarded([&] {
            table().setRecNo(rowOf(client));
            form->DBNavigator1->btnClick(TDBNavigator::Button::Delete);
        });
        return boxes.errors.join('\n');
    }
    QString stored(const QString& sql) { return cluster->rows(db_, sql).join(','); }

    QString db_;
    std::unique_ptr<TDataModule2> module;
    std::unique_ptr<TForm5> form;
};

TEST_F(TeamGridTest, RowSecurityKeepsEachWorkstationToItsOwnEntries) {
    TEAM_SERVER();
    db_ = teamDatabase(true);
    const DateTime nine(QDate(2026, 3, 2), QTime(9, 0));
    for (const char* who : {"poste1", "poste2"}) {
        auto m = start(as(db_, who));
        ASSERT_TRUE(opened) << boxes.errors.join('\n').toStdString();
        m->AddLogEntry("", QString::fromLatin1(who) + "-client", "Saisie", nine, nine.addSecs(60),
                       60, "");
    }

    open(as(db_, "poste2"));
    ASSERT_EQ(table().recordCount(), 2) << "every workstation reads the team's entries";
    for (const auto& f : table().fields())
        EXPECT_FALSE(f.name.startsWith("tavix_")) << f.name.toStdString();
    EXPECT_TRUE(tooltip("poste1-client").startsWith("Écrite par « poste1 » le "))
        << tooltip("poste1-client").toStdString();
    EXPECT_FALSE(tooltip("poste1-client").contains("Modifiée"));

    // Another's entry: refused, in French, and left as it was.
    QString told = changeDuration("poste1-client", "99999");
    EXPECT_TRUE(
        told.contains("écrite par « poste1 », ne peut pas être modifiée par le rôle "
                      "« poste2 »"))
        << told.toStdString();
    EXPECT_TRUE(told.contains("tavix_responsables")) << told.toStdString();
    told = remove("poste1-client");
    EXPECT_TRUE(told.contains("ne peut pas être supprimée par le rôle « poste2 »"))
        << told.toStdString();
    EXPECT_EQ(stored("SELECT \"DUREE\" FROM activites WHERE \"CLIENTS\" = 'poste1-client'"), "60");

    // Its own: changed, and the server says by whom.
    EXPECT_EQ(changeDuration("poste2-client", "120"), "");
    EXPECT_EQ(stored("SELECT \"DUREE\" || ' ' || tavix_ecrit_par || ' ' || tavix_modifie_par "
                     "FROM activites WHERE \"CLIENTS\" = 'poste2-client'"),
              "120 poste2 poste2");

    // A workstation's purge would delete its own entries only: refused whole.
    boxes.answers = {true, true};
    boxes.errors.clear();
    runGuarded([&] { form->BitBtn1Click(); });
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("la purge est refusée au rôle « poste2 »"))
        << boxes.errors[0].toStdString();
    EXPECT_EQ(stored("SELECT count(*) FROM activites"), "2");

    // The manager changes anyone's entry; the writer stays, the change is its.
    open(as(db_, "chef"));
    EXPECT_EQ(changeDuration("poste1-client", "90"), "");
    EXPECT_EQ(stored("SELECT \"DUREE\" || ' ' || tavix_ecrit_par || ' ' || tavix_modifie_par "
                     "FROM activites WHERE \"CLIENTS\" = 'poste1-client'"),
              "90 poste1 chef");
    runGuarded([&] { table().refresh(); });
    const QString note = tooltip("poste1-client");
    EXPECT_TRUE(note.startsWith("Écrite par « poste1 » le ")) << note.toStdString();
    EXPECT_TRUE(note.contains("\nModifiée par « chef » le ")) << note.toStdString();

    // ...and alone purges.
    boxes.answers = {true, true};
    boxes.errors.clear();
    runGuarded([&] { form->BitBtn1Click(); });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(stored("SELECT count(*) FROM activites"), "0");
}

// A workstation whose clock is more than a minute away from the server's is
// told so once at start; a few seconds are nothing.
TEST_F(TeamServerTest, AClockAwayFromTheServersIsTold) {
    TEAM_SERVER();
    const QString db = cluster->createDatabase();
    const QDateTime now = QDateTime::currentDateTime();
    const struct {
        qint64 offset;
        const char* said;  // nullptr: nothing
    } cases[] = {{5, nullptr},
                 {-20, nullptr},
                 {300, "avance de 5 min"},
                 {-7200, "retarde de 2 h"},
                 {3 * 86400 + 600, "avance de 3 jours"}};
    for (const auto& c : cases) {
        const QDateTime shifted = now.addSecs(c.offset);
        test::FakeClock clock(DateTime(shifted.date(), shifted.time()));
        boxes.informs.clear();
        auto module = start(db);
        ASSERT_TRUE(opened);
        if (!c.said) {
            EXPECT_TRUE(boxes.informs.isEmpty()) << c.offset;
            continue;
        }
        ASSERT_EQ(boxes.informs.size(), 1) << c.offset;
        EXPECT_TRUE(boxes.informs[0].contains(QString::fromUtf8(c.said)))
            << boxes.informs[0].toStdString();
        EXPECT_TRUE(boxes.informs[0].contains("du serveur PostgreSQL"))
            << boxes.informs[0].toStdString();
    }
}

}  // namespace

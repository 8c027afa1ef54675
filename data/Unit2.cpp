#include "data/Unit2.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "data/Billing.h"
#include "data/engine/Background.h"
#include "data/engine/Collation.h"
#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Quoting.h"
#include "data/engine/Schema.h"
#include "data/engine/Transaction.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "settings/Colors.h"
#include "settings/outils.h"

namespace tavix {

TDataModule2* DataModule2 = nullptr;

namespace {
const QStringList kActivitesFields = {
    QStringLiteral("ID"),          QStringLiteral("SURVEILLANCES"), QStringLiteral("CLIENTS"),
    QStringLiteral("DEBUT"),       QStringLiteral("FIN"),           QStringLiteral("DUREE"),
    QStringLiteral("COMMENTAIRE"), QStringLiteral("USER")};

}  // namespace

TDataModule2::TDataModule2(QObject* parent)
    : QObject(parent),
      ADOQuery1(ADOConnection1),
      tblClients(ADOConnection1, QStringLiteral("clients"), {QStringLiteral("NOM")}),
      tblTravaux(ADOConnection1, QStringLiteral("travaux"),
                 {QStringLiteral("TRAVAUX"), QStringLiteral("ORDRE")}),
      ADOTable1(ADOConnection1, QStringLiteral("activites"), kActivitesFields) {
    DataModuleCreate();
    DataModule2 = this;
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        try {
            RetryWaitingEntries();
        } catch (const Error&) {
            reportException(std::current_exception());
        }
    });
    reopenTimer_.setSingleShot(true);
    connect(&reopenTimer_, &QTimer::timeout, this, [this] { reopen(); });
    db::setWaitWatcher(this);
}

TDataModule2::~TDataModule2() {
    if (db::waitWatcher() == this) db::setWaitWatcher(nullptr);
    if (DataModule2 == this) DataModule2 = nullptr;
}

void TDataModule2::waitBegins(const QString& server) { emit serverWait(true, server); }
void TDataModule2::waitEnds() { emit serverWait(false, QString()); }

void TDataModule2::DataModuleCreate() { ActivityButtons.clear(); }

bool TDataModule2::OpenDatabase() {
    if (DatabasePath.isEmpty()) return false;
    ADOConnection1.setConnectionString(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
        db::connectionStringValue(DatabasePath) + QStringLiteral(";Persist Security Info=False"));
    const bool server = db::namesServer(DatabasePath);
    // The entries kept here for the server, and the tries to reach it,
    // travel on a connection of their own.
    if (server && (!background_ || background_->source() != DatabasePath))
        background_ = std::make_unique<db::Background>(DatabasePath);
    try {
        ADOConnection1.open();
        checkLayout();
    } catch (const db::ServerUnreachable& error) {
        ADOConnection1.close();
        // Tried again in the background; told once, not at every try.
        if (!std::exchange(reopenAsked_, true))
            reportException(std::make_exception_ptr(Error(
                error.message() +
                QStringLiteral("\n\nTavix réessaie en arrière-plan : les surveillances et les "
                               "clients apparaîtront dès que le serveur répondra."))));
        reopenTimer_.start(RetryIntervalMs);
        return false;
    } catch (const Error&) {
        // The start goes on without a database; the user learns once which
        // file and why, instead of a closed connection at every step.
        ADOConnection1.close();
        reportException(std::current_exception());
        return false;
    }
    reopenAsked_ = false;
    reopenTimer_.stop();
    // The consultation selects and orders log entries by start and end; an
    // index keeps that quick on years of entries. A file that cannot take
    // it (read-only, older layout) works without.
    // The entries that end before they start, so rare that their own index
    // is tiny, let a period be searched between its two dates on DEBUT
    // (consult/Entries.cpp).
    for (const QString& index :
         {QStringLiteral(
              "CREATE INDEX IF NOT EXISTS activites_debut_fin ON activites (DEBUT, FIN)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS activites_fin_avant_debut ON activites (FIN) "
                         "WHERE FIN < DEBUT")}) {
        try {
            ADOConnection1.execute(index);
        } catch (const Error&) {
        }
    }
    // Rates, clients' details and the invoices' register live in tables
    // of their own; a base that cannot take them bills nothing.
    try {
        billing::ensureTables(ADOConnection1);
    } catch (const Error&) {
    }
    CheckClock();
    if (ADOConnection1.shared()) {
        try {
            RetryWaitingEntries();
        } catch (const Error&) {
            reportException(std::current_exception());
        }
    }
    emit waitingChanged(WaitingCount());
    return true;
}

// The server could not be reached: asked in the background whether it
// answers now; the database opens only then, so the window never waits
// for a server that is away.
void TDataModule2::reopen() {
    if (ADOConnection1.connected() || !background_) {
        reopenAsked_ = false;
        return;
    }
    background_->reach([this](std::exception_ptr error) {
        if (ADOConnection1.connected()) return;
        if (error) {
            reopenTimer_.start(RetryIntervalMs);
            return;
        }
        if (OpenDatabase()) emit databaseOpened();
    });
}

int TDataModule2::WaitingCount() const {
    if (!db::namesServer(DatabasePath)) return 0;
    return static_cast<int>(Waiting.list(DatabasePath).size());
}

void TDataModule2::checkLayout() {
    // What the program cannot do without; the activity, client and user
    // columns of activites may still have an older layout, which the schema
    // conversion mends.
    const struct {
        QString table;
        QStringList columns;
    } required[] = {
        {QStringLiteral("clients"), {QStringLiteral("NOM")}},
        {QStringLiteral("travaux"),
         {QStringLiteral("ID"), QStringLiteral("TRAVAUX"), QStringLiteral("ORDRE")}},
        {QStringLiteral("activites"),
         {QStringLiteral("ID"), QStringLiteral("DEBUT"), QStringLiteral("FIN"),
          QStringLiteral("DUREE")}},
    };
    const auto notTavix = [this](const QString& what) {
        return db::EngineError(
            QStringLiteral(
                "Impossible d'ouvrir la base de données %1 : ce n'est pas une base Tavix "
                "(%2).\nChoisissez une base Tavix dans « Avancés > Paramètres ».")
                .arg(db::databaseLabel(DatabasePath), what));
    };
    for (const auto& r : required) {
        QList<db::FieldDef> fields;
        try {
            fields = ADOConnection1.tableFields(r.table);
        } catch (const db::EngineError&) {
            throw notTavix(QStringLiteral("table « %1 » absente").arg(r.table));
        }
        for (const QString& column : r.columns) {
            const bool found = std::any_of(fields.begin(), fields.end(), [&](const auto& f) {
                return f.name.compare(column, Qt::CaseInsensitive) == 0;
            });
            if (!found)
                throw notTavix(QStringLiteral("colonne « %1 » absente de la table « %2 »")
                                   .arg(column, r.table));
        }
    }
}

void TDataModule2::CheckClock() {
    std::optional<QDateTime> server;
    try {
        server = ADOConnection1.serverTime();
    } catch (const Error&) {
        return;  // a server that cannot say now will say what matters later
    }
    if (!server) return;
    const DateTime here = clock().now();
    const qint64 ahead =
        QDateTime(here.date(), here.time()).toMSecsSinceEpoch() - server->toMSecsSinceEpoch();
    if (std::abs(ahead) <= 60'000) return;
    const qint64 seconds = (std::abs(ahead) + 500) / 1000;
    const QString gap =
        seconds >= 2 * 86400 ? QStringLiteral("%1 jours").arg(seconds / 86400)
        : seconds >= 3600 ? QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60)
                          : QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    messageBoxes().inform(
        QStringLiteral("L'horloge de ce poste %1 de %2 sur celle %3.\nLes surveillances sont "
                       "datées par l'horloge du poste : réglez-la (mise à l'heure automatique) "
                       "pour que les heures de l'équipe concordent.")
            .arg(ahead > 0 ? QStringLiteral("avance") : QStringLiteral("retarde"), gap,
                 db::databaseLabel(DatabasePath)));
}

void TDataModule2::CheckDatabaseSetting(const QString& setting) {
    db::checkDatabaseSetting(setting);
}

QString TDataModule2::BackupPath(const DateTime& now) const {
    const QString stamp = now.date().toString(QStringLiteral("yyyyMMdd")) + u'-' +
                          now.time().toString(QStringLiteral("HHmmss"));
    if (ADOConnection1.shared()) {
        QString name = db::serverDatabaseName(DatabasePath);
        name.replace(QRegularExpression(QStringLiteral("[^\\w.-]+")), QStringLiteral("_"));
        return QFileInfo(paths::pendingTimingPath()).absolutePath() + u'/' + name + u'-' + stamp +
               QStringLiteral(".bak");
    }
    const QFileInfo file(ADOConnection1.fileName());
    return file.dir().filePath(file.completeBaseName() + u'-' + stamp + QStringLiteral(".bak"));
}

void TDataModule2::CreateDatabase(const QString& path) {
    db::Connection::createDatabase(path, db::defaultSchema());
}

void TDataModule2::AddLogEntry(const QString& user, const QString& client, const QString& activity,
                               const DateTime& start, const DateTime& end, qint32 duration,
                               const QString& comment, const QString& givenKey) {
    if (ADOConnection1.shared()) {
        const LogEntry entry{user, client, activity, start, end, duration, comment};
        const QString key = givenKey.isEmpty() ? newEntryKey() : givenKey;
        // A stop the server does not take within a few seconds waits here
        // like one made while it is away; the window is not held longer.
        ADOConnection1.setPatience(StopPatienceMs);
        const auto restore = qScopeGuard([this] { ADOConnection1.setPatience(0); });
        try {
            try {
                insertOnServer(entry, key);
            } catch (const db::ServerNoAnswer&) {
                throw;
            } catch (const db::ServerUnreachable&) {
                // The connection was found gone by this very insert (a
                // restarted server): once more on a new one. The key makes
                // it harmless if the first reached the log after all.
                insertOnServer(entry, key);
            }
        } catch (const db::ServerUnreachable& error) {
            // Kept here until the server answers: the stop is done for the user.
            Waiting.keep(DatabasePath, key, entry);
            emit waitingChanged(WaitingCount());
            retryTimer_.start(RetryIntervalMs);
            if (!std::exchange(toldWaiting_, true))
                messageBoxes().inform(
                    QStringLiteral("%1\n\nLa surveillance « %2 » (%3) est conservée sur ce poste ; "
                                   "elle sera enregistrée automatiquement dès que le serveur "
                                   "répondra.")
                        .arg(error.message(), activity, client));
        }
        return;
    }
    const QString sep = QStringLiteral(", ");
    const QString statement =
        QStringLiteral(
            "INSERT INTO activites ([USER],[SURVEILLANCES],[CLIENTS],[DEBUT],[FIN],"
            "[DUREE],[COMMENTAIRE]) SELECT ") +
        db::quoted(user) + sep + db::quoted(activity) + sep + db::quoted(client) + sep +
        db::quoted(regional::dateTimeToText(start)) + sep +
        db::quoted(regional::dateTimeToText(end)) + sep + QString::number(duration) + sep +
        db::quoted(comment);
    ADOQuery1.clear();
    ADOQuery1.add(statement);
    ADOQuery1.execute();
}

// The same statement as on a file, with the entry's key: a retry of an
// insert the server took before the connection broke stores nothing more.
QString TDataModule2::insertStatement(const LogEntry& e, const QString& key) const {
    const QString sep = QStringLiteral(", ");
    return QStringLiteral(
               "INSERT INTO activites ([USER],[SURVEILLANCES],[CLIENTS],[DEBUT],[FIN],"
               "[DUREE],[COMMENTAIRE],[tavix_jeton]) SELECT ") +
           db::quoted(e.user) + sep + db::quoted(e.activity) + sep + db::quoted(e.client) + sep +
           db::quoted(regional::dateTimeToText(e.start)) + sep +
           db::quoted(regional::dateTimeToText(e.end)) + sep + QString::number(e.duration) + sep +
           db::quoted(e.comment) + sep + db::quoted(key) +
           QStringLiteral(" ON CONFLICT (tavix_jeton) DO NOTHING");
}

void TDataModule2::insertOnServer(const LogEntry& e, const QString& key) {
    ADOQuery1.clear();
    ADOQuery1.add(insertStatement(e, key));
    ADOQuery1.execute();
}

int TDataModule2::RetryWaitingEntries() {
    if (!background_ || storing_ > 0) return 0;
    const std::vector<WaitingEntries::Waiting> waiting = Waiting.list(DatabasePath);
    if (waiting.empty()) return 0;
    storing_ = static_cast<int>(waiting.size());
    stored_ = 0;
    auto failed = std::make_shared<bool>(false);
    for (const WaitingEntries::Waiting& w : waiting) {
        background_->execute(insertStatement(w.entry, w.key), [this, w,
                                                               failed](std::exception_ptr error) {
            if (!error) {
                WaitingEntries::done(w);
                ++stored_;
            } else {
                *failed = true;
                // Refused rather than unreachable: told once, kept to try again.
                try {
                    std::rethrow_exception(error);
                } catch (const db::ServerUnreachable&) {
                } catch (const Error&) {
                    if (!std::exchange(toldRefused_, true))
                        reportException(std::current_exception());
                } catch (...) {
                }
            }
            if (--storing_ > 0) return;
            emit waitingChanged(WaitingCount());
            // Some still wait (the server away again, a lock held long):
            // tried again later.
            if (*failed) retryTimer_.start(RetryIntervalMs);
            if (stored_ == 0) return;
            toldWaiting_ = false;
            const int stored = std::exchange(stored_, 0);
            messageBoxes().inform(
                stored == 1
                    ? QStringLiteral("Le serveur répond de nouveau : la surveillance en attente a "
                                     "été enregistrée.")
                    : QStringLiteral("Le serveur répond de nouveau : les %1 surveillances en "
                                     "attente ont été enregistrées.")
                          .arg(stored));
        });
    }
    return static_cast<int>(waiting.size());
}

qint64 TDataModule2::CountLogEntries(const QString& user, const QString& client,
                                     const QString& activity, const DateTime& start,
                                     const DateTime& end, qint32 duration, const QString& comment,
                                     const QString& key) {
    // The dialect's date literal, to the second as AddLogEntry stores it.
    const auto moment = [](const DateTime& value) {
        const QDate d = value.date();
        const QTime t = value.time();
        return QStringLiteral("#%1/%2/%3 %4:%5:%6#")
            .arg(d.month())
            .arg(d.day())
            .arg(d.year())
            .arg(t.hour())
            .arg(t.minute(), 2, 10, QLatin1Char('0'))
            .arg(t.second(), 2, 10, QLatin1Char('0'));
    };
    QString statement;
    if (ADOConnection1.shared() && !key.isEmpty()) {
        // On a server a timing is known by its key: another's entry of
        // equal values is not it.
        statement = QStringLiteral("SELECT COUNT(*) AS N FROM activites WHERE [tavix_jeton] = ") +
                    db::quoted(key);
    } else {
        statement = QStringLiteral("SELECT COUNT(*) AS N FROM activites WHERE [USER] = ") +
                    db::quoted(user) + QStringLiteral(" AND SURVEILLANCES = ") +
                    db::quoted(activity) + QStringLiteral(" AND CLIENTS = ") + db::quoted(client) +
                    QStringLiteral(" AND DEBUT = ") + moment(start) +
                    QStringLiteral(" AND FIN = ") + moment(end) + QStringLiteral(" AND DUREE = ") +
                    QString::number(duration) + QStringLiteral(" AND COMMENTAIRE = ") +
                    db::quoted(comment);
    }
    ADOQuery1.clear();
    ADOQuery1.add(statement);
    // Asked on the way to a stop: no longer than the stop itself waits.
    ADOConnection1.setPatience(StopPatienceMs);
    const auto restore = qScopeGuard([this] { ADOConnection1.setPatience(0); });
    try {
        ADOQuery1.open();
    } catch (const db::ServerUnreachable&) {
        // A server away: the stop still goes on, and AddLogEntry keeps the
        // entry for later under a key that makes its insert safe to repeat.
        return 0;
    }
    const qint64 count = ADOQuery1.asString(QStringLiteral("N")).toLongLong();
    ADOQuery1.close();
    return count;
}

namespace {

QString logColumn(const QString& column) {
    // Only the two columns a reference list names; anything else is a fault
    // of the caller, never text to put into a statement.
    if (column != QLatin1String("CLIENTS") && column != QLatin1String("SURVEILLANCES"))
        throw Error(QStringLiteral("Colonne du journal inconnue : %1").arg(column));
    return column;
}

}  // namespace

qint64 TDataModule2::CountEntriesNaming(const QString& column, const QString& name) {
    ADOQuery1.clear();
    ADOQuery1.add(QStringLiteral("SELECT COUNT(*) AS N FROM activites WHERE ") + logColumn(column) +
                  QStringLiteral(" = ") + db::quoted(name));
    ADOQuery1.open();
    const qint64 count = ADOQuery1.asString(QStringLiteral("N")).toLongLong();
    ADOQuery1.close();
    return count;
}

qint64 TDataModule2::CountRows(const QString& table) {
    if (table != QLatin1String("clients") && table != QLatin1String("travaux"))
        throw Error(QStringLiteral("Table inconnue : %1").arg(table));
    ADOQuery1.clear();
    ADOQuery1.add(QStringLiteral("SELECT COUNT(*) AS N FROM ") + table);
    ADOQuery1.open();
    const qint64 count = ADOQuery1.asString(QStringLiteral("N")).toLongLong();
    ADOQuery1.close();
    return count;
}

void TDataModule2::RenameInLog(const QString& column, const QString& oldName,
                               const QString& newName) {
    const QString c = logColumn(column);
    ADOQuery1.clear();
    ADOQuery1.add(QStringLiteral("UPDATE activites SET ") + c + QStringLiteral(" = ") +
                  db::quoted(newName) + QStringLiteral(" WHERE ") + c + QStringLiteral(" = ") +
                  db::quoted(oldName));
    ADOQuery1.execute();
}

quint8 TDataModule2::SchemaVersion() {
    // The declaration alone: reading the rows would make every start as slow
    // as the log is long.
    quint8 version = 0;
    for (const db::FieldDef& field : ADOConnection1.tableFields(QStringLiteral("activites"))) {
        if (field.name == QLatin1String("USER")) version += 1;
        if (field.name == QLatin1String("SURVEILLANCES")) version += 2;
        if (field.name == QLatin1String("CLIENTS")) version += 4;
    }
    return version;
}

void TDataModule2::ConvertSchema(quint8 version) {
    const struct {
        quint8 bit;
        std::function<bool()> work;
    } steps[] = {
        {1,
         [this] {
             return ExecuteSql(QStringLiteral("ALTER TABLE activites ADD COLUMN [USER] TEXT(255)"));
         }},
        {2,
         [this] {
             return ChangeColumn(QStringLiteral("activites"), QStringLiteral("TRAVAUX"),
                                 QStringLiteral("SURVEILLANCES"), QStringLiteral("TEXT(32)"));
         }},
        {4,
         [this] {
             return ChangeColumn(QStringLiteral("activites"), QStringLiteral("CLIENT"),
                                 QStringLiteral("CLIENTS"), QStringLiteral("TEXT(32)"));
         }},
    };
    bool allDone = true;
    for (const auto& step : steps) {
        if (version & step.bit) continue;
        // Each step runs in its own transaction: a step that fails leaves the
        // table exactly as it was before it, so a later attempt starts clean.
        try {
            db::Transaction transaction(ADOConnection1);
            if (step.work())
                transaction.commit();
            else
                allDone = false;
        } catch (const Error&) {
            allDone = false;
        }
    }
    messageBoxes().inform(allDone ? QStringLiteral("Conversion effectuée")
                                  : QStringLiteral("Erreur de conversion"));
}

bool TDataModule2::ChangeColumn(const QString& table, const QString& oldName,
                                const QString& newName, const QString& type) {
    const QStringList statements = {
        QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD temp ") + type,
        QStringLiteral("UPDATE ") + table + QStringLiteral(" SET temp = [") + oldName + u']',
        QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" DROP [") + oldName + u']',
        QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD [") + newName +
            QStringLiteral("] ") + type,
        QStringLiteral("UPDATE ") + table + QStringLiteral(" SET [") + newName +
            QStringLiteral("] = [temp]"),
        QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" DROP temp"),
    };
    for (const QString& statement : statements)
        if (!ExecuteSql(statement)) return false;
    return true;
}

bool TDataModule2::ExecuteSql(const QString& sql) {
    db::Query query(ADOConnection1);
    query.add(sql);
    try {
        query.execute();
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace tavix

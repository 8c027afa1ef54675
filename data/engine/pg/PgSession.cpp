#include "data/engine/pg/PgSession.h"

#include <libpq-fe.h>

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <functional>
#include <thread>

#include "data/engine/Backend.h"
#include "data/engine/Collation.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgAccess.h"
#include "data/engine/pg/PgAuthors.h"
#include "data/engine/pg/PgErrors.h"
#include "data/engine/pg/PgWait.h"

namespace tavix::db::pg {

namespace {

QString firstLine(const char* message) {
    QString text = QString::fromUtf8(message).trimmed();
    text.replace(QRegularExpression(QStringLiteral("\\s*\\n\\s*")), QStringLiteral(" ; "));
    return text;
}

FieldDef fieldOf(const QString& name, const QString& typname, int typmod, bool generated) {
    FieldDef f;
    f.name = name;
    if (typname == u"varchar" || typname == u"bpchar" || typname == u"text" || typname == u"name") {
        f.type = FieldType::Text;
        if (typmod > 4 && typname != u"text") f.size = typmod - 4;
    } else if (typname == u"int2" || typname == u"int4" || typname == u"int8") {
        f.type = generated ? FieldType::AutoIncrement : FieldType::Integer;
        f.readOnly = generated;
    } else if (typname == u"timestamp" || typname == u"timestamptz" || typname == u"date") {
        f.type = FieldType::DateTime;
    } else if (typname == u"float4" || typname == u"float8" || typname == u"numeric") {
        f.type = FieldType::Float;
    } else {
        f.type = FieldType::Other;
    }
    return f;
}

}  // namespace

std::optional<QByteArray> paramOf(const QVariant& value) {
    const detail::BoundValue v = detail::bindValue(value);
    switch (v.kind) {
        case detail::BoundValue::Null:
            return std::nullopt;
        case detail::BoundValue::Integer:
            return QByteArray::number(v.integer);
        case detail::BoundValue::Double:
            return QByteArray::number(v.real, 'g', 17);
        case detail::BoundValue::Text:
            break;
    }
    return v.text.toUtf8();
}

bool isHiddenColumn(const QString& name) { return name.startsWith(QLatin1String("tavix_")); }

bool connectionLost(const pg_conn* conn, const pg_result* r) {
    if (!conn || PQstatus(conn) != CONNECTION_OK || PQsocket(conn) < 0 || !r) return true;
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    // libpq's own failure, with nothing from the server: the socket closed.
    if (!state) return PQresultStatus(r) == PGRES_FATAL_ERROR;
    const QByteArray code(state);
    return code.startsWith("08") || endedByServer(r) || code == "57P03";
}

bool endedByServer(const pg_result* r) {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    return state && (qstrcmp(state, "57P01") == 0 || qstrcmp(state, "57P02") == 0);
}

// ---- Result ------------------------------------------------------------------

Result::Result(pg_result* r) : r_(r) {}
Result::~Result() {
    if (r_) PQclear(r_);
}
Result::Result(Result&& other) noexcept : r_(std::exchange(other.r_, nullptr)) {}
Result& Result::operator=(Result&& other) noexcept {
    if (this != &other) {
        if (r_) PQclear(r_);
        r_ = std::exchange(other.r_, nullptr);
    }
    return *this;
}
int Result::rows() const { return r_ ? PQntuples(r_) : 0; }
int Result::columns() const { return r_ ? PQnfields(r_) : 0; }
bool Result::isNull(int row, int column) const { return PQgetisnull(r_, row, column) != 0; }
const char* Result::raw(int row, int column) const { return PQgetvalue(r_, row, column); }
int Result::length(int row, int column) const { return PQgetlength(r_, row, column); }
QString Result::text(int row, int column) const {
    return QString::fromUtf8(raw(row, column), length(row, column));
}
qint64 Result::affected() const {
    const char* n = r_ ? PQcmdTuples(r_) : "";
    return n && *n ? QByteArray(n).toLongLong() : 0;
}

QList<FieldDef> Result::fields() const {
    QList<FieldDef> out;
    for (int i = 0; i < columns(); ++i) {
        QString typname;
        switch (PQftype(r_, i)) {
            case 16:
                typname = QStringLiteral("bool");
                break;
            case 20:
                typname = QStringLiteral("int8");
                break;
            case 21:
                typname = QStringLiteral("int2");
                break;
            case 23:
                typname = QStringLiteral("int4");
                break;
            case 25:
                typname = QStringLiteral("text");
                break;
            case 1043:
                typname = QStringLiteral("varchar");
                break;
            case 1042:
                typname = QStringLiteral("bpchar");
                break;
            case 700:
                typname = QStringLiteral("float4");
                break;
            case 701:
                typname = QStringLiteral("float8");
                break;
            case 1700:
                typname = QStringLiteral("numeric");
                break;
            case 1082:
                typname = QStringLiteral("date");
                break;
            case 1114:
                typname = QStringLiteral("timestamp");
                break;
            case 1184:
                typname = QStringLiteral("timestamptz");
                break;
            default:
                typname = QStringLiteral("?");
                break;
        }
        out.append(fieldOf(QString::fromUtf8(PQfname(r_, i)), typname, PQfmod(r_, i), false));
    }
    return out;
}

QVariant Result::cell(int row, int column, FieldType type) const {
    if (isNull(row, column)) return {};
    const char* p = raw(row, column);
    const int n = length(row, column);
    switch (type) {
        case FieldType::Integer:
        case FieldType::AutoIncrement: {
            bool ok = false;
            const qlonglong v = QByteArray(p, n).toLongLong(&ok);
            if (ok) return v;
            break;
        }
        case FieldType::Float: {
            bool ok = false;
            const double v = QByteArray(p, n).toDouble(&ok);
            if (ok) return v;
            break;
        }
        case FieldType::DateTime:
            if (const auto d = detail::parseStored(p, n)) return QVariant::fromValue(*d);
            break;
        default:
            break;
    }
    return QString::fromUtf8(p, n);
}

// ---- Session -----------------------------------------------------------------

Session::Session(const QString& conninfo) : conninfo_(conninfo), server_(describe(conninfo)) {
    refuseSecret(conninfo);
    // A refused first connection leaves no object to finish it.
    try {
        connect();
    } catch (...) {
        if (conn_) PQfinish(conn_);
        conn_ = nullptr;
        throw;
    }
}

Session::~Session() {
    if (conn_) PQfinish(conn_);
}

void Session::connect() {
    dropConnection();
    lost_ = false;
    const QByteArray dbname = conninfo_.toUtf8();
    // The setting's own values come after, and win over, these defaults.
    // Keepalives find a server gone without a word while nothing is sent.
    const char* keys[] = {"connect_timeout",  "application_name", "client_encoding",
                          "keepalives",       "keepalives_idle",  "keepalives_interval",
                          "keepalives_count", "dbname",           nullptr};
    const QByteArray application = applicationName().toUtf8();
    const char* values[] = {"5", application.constData(), "UTF8", "1", "10", "5",
                            "3", dbname.constData(),      nullptr};
    conn_ = PQconnectStartParams(keys, values, 1);
    // Polled rather than waited for in one call: the windows keep answering.
    const QDeadlineTimer deadline(kConnectPatienceMs);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    bool timedOut = false;
    while (conn_ && PQstatus(conn_) != CONNECTION_BAD && polling != PGRES_POLLING_OK &&
           polling != PGRES_POLLING_FAILED && PQsocket(conn_) >= 0) {
        if (waitForSocket(PQsocket(conn_), polling == PGRES_POLLING_WRITING, deadline, server_) ==
            Ready::TimedOut) {
            timedOut = true;
            break;
        }
        polling = PQconnectPoll(conn_);
    }
    if (!conn_ || timedOut || PQstatus(conn_) != CONNECTION_OK) {
        const QString role = conn_ ? QString::fromUtf8(PQuser(conn_)) : QString();
        const QString database = conn_ ? QString::fromUtf8(PQdb(conn_)) : QString();
        const QString cause = conn_ ? firstLine(PQerrorMessage(conn_)) : QString();
        dropConnection();
        lost_ = true;
        if (timedOut || cause.isEmpty())
            throw ServerUnreachable(
                QStringLiteral("Impossible de joindre le %1 : %2")
                    .arg(server_, timedOut ? QStringLiteral("pas de réponse en %1 s")
                                                 .arg(kConnectPatienceMs / 1000)
                                           : QStringLiteral("mémoire insuffisante")));
        throw ServerUnreachable(connectionFailure(server_, role, database, cause));
    }
    // Notices ("already exists, skipping") are for a console, not a user.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    setUpSession();
    catalogRead_ = false;
}

QString Session::role() const { return conn_ ? QString::fromUtf8(PQuser(conn_)) : QString(); }
// The session's settings, and the server's French collation when it has
// one: names then sort as in a French dictionary (a server without ICU sorts
// them its own way). No statement waits longer than the server's own
// limit, so none holds a lock or a window without end.
void Session::setUpSession() {
    const auto simple = [this](const char* sql) {
        bool timedOut = false;
        return Result(run(QByteArray(sql), {}, {}, true, kConnectPatienceMs, timedOut));
    };
    simple(("SET DateStyle = ISO, MDY; SET client_encoding = 'UTF8'; SET statement_timeout = " +
            QByteArray::number(kStatementTimeoutMs))
               .constData());
    const Result r = simple("SELECT 1 FROM pg_collation WHERE collname = 'fr-x-icu'");
    namesCollation_ = r.rows() > 0 ? QByteArray(" COLLATE \"fr-x-icu\"") : QByteArray();
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        dropConnection();
        lost_ = true;
        throw ServerUnreachable(QStringLiteral("Connexion perdue avec le %1").arg(server_));
    }
}

void Session::dropConnection() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

pg_result* Session::run(const QByteArray& text, const std::vector<const char*>& values,
                        const std::vector<unsigned>& types, bool simple, int patienceMs,
                        bool& timedOut) {
    busy_ = true;
    const auto idle = qScopeGuard([this] { busy_ = false; });
    std::vector<Oid> oids(values.size(), 0);
    for (size_t i = 0; i < oids.size() && i < types.size(); ++i) oids[i] = types[i];
    const int sent =
        simple ? PQsendQuery(conn_, text.constData())
               : PQsendQueryParams(conn_, text.constData(), static_cast<int>(values.size()),
                                   oids.data(), values.data(), nullptr, nullptr, 0);
    if (!sent) return nullptr;
    const QDeadlineTimer deadline(patienceMs);
    PGresult* kept = nullptr;
    for (;;) {
        while (PQisBusy(conn_) && PQsocket(conn_) >= 0) {
            if (waitForSocket(PQsocket(conn_), false, deadline, server_) == Ready::TimedOut) {
                if (kept) PQclear(kept);
                // Given up: the server is asked to drop the statement (a
                // cancel may itself wait on the network, so it goes on a
                // thread of its own), and the connection goes with it.
                if (PGcancel* cancel = PQgetCancel(conn_))
                    std::thread([cancel] {
                        char error[256];
                        PQcancel(cancel, error, sizeof error);
                        PQfreeCancel(cancel);
                    }).detach();
                dropConnection();
                lost_ = true;
                timedOut = true;
                return nullptr;
            }
            if (!PQconsumeInput(conn_)) break;
        }
        PGresult* r = PQgetResult(conn_);
        if (!r) return kept;
        // The first failure is the one to tell.
        if (kept && PQresultStatus(kept) == PGRES_FATAL_ERROR) {
            PQclear(r);
        } else {
            if (kept) PQclear(kept);
            kept = r;
        }
    }
}

bool Session::inTransaction() const { return conn_ && PQtransactionStatus(conn_) != PQTRANS_IDLE; }

bool Session::transactionFailed() const {
    return conn_ && PQtransactionStatus(conn_) == PQTRANS_INERROR;
}

void Session::fail(const QString& original, pg_result* r, bool lost) {
    QString message;
    QString sqlstate;
    if (r && PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) {
        message = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY));
        sqlstate = QString::fromLatin1(PQresultErrorField(r, PG_DIAG_SQLSTATE));
    } else if (conn_) {
        message = firstLine(PQerrorMessage(conn_));
    }
    // Cancelled by the server's own limit: it did not take the statement in
    // time (a lock held elsewhere, a server overloaded).
    const bool tooLong = sqlstate == u"57014";
    if (r) PQclear(r);
    if (!lost && !tooLong)
        message = statementFailure(server_, conn_ ? QString::fromUtf8(PQuser(conn_)) : QString(),
                                   sqlstate, message, original);
    if (lost) {
        lost_ = true;
        throw ServerUnreachable(
            QStringLiteral("Connexion perdue avec le %1 : %2").arg(server_, message), original);
    }
    if (tooLong)
        throw ServerNoAnswer(QStringLiteral("Le %1 n'a pas pris l'instruction en %2 s : %3")
                                 .arg(server_)
                                 .arg(kStatementTimeoutMs / 1000)
                                 .arg(message),
                             original);
    throw EngineError(message, original);
}

Result Session::exec(const QByteArray& sql, const Params& params, const QString& original,
                     const std::vector<unsigned>& types) {
    // Asked from a handler run while a statement waits for the server: the
    // connection carries one statement at a time.
    if (busy_)
        throw EngineError(
            QStringLiteral("Le %1 n'a pas encore répondu à l'instruction précédente ; "
                           "réessayez dans un instant.")
                .arg(server_),
            original);
    const bool ending = sql.startsWith("COMMIT") || sql.startsWith("ROLLBACK");
    if (ending) transactionOpen_ = false;
    static const QByteArray dialectCollation = " COLLATE " + nameCollation().toUtf8();
    QByteArray text = sql;
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->constData() : nullptr);
    // Reading again is harmless; anything else runs again only when the
    // server surely kept nothing of it.
    const bool readsOnly = sql.trimmed().left(6).compare("SELECT", Qt::CaseInsensitive) == 0;
    for (int attempt = 0;; ++attempt) {
        if (lost_ || !conn_ || PQstatus(conn_) != CONNECTION_OK) {
            // Inside a transaction the work so far is gone with the
            // connection: say so rather than go on outside it in a new
            // session.
            if (transactionOpen_ || ending)
                throw ServerUnreachable(
                    QStringLiteral("Connexion perdue avec le %1 : la transaction a été annulée")
                        .arg(server_),
                    original);
            connect();
        }
        text = sql;
        text.replace(dialectCollation, namesCollation_);
        bool timedOut = false;
        const int patience = patienceMs_ > 0 ? patienceMs_ : kDefaultPatienceMs;
        PGresult* r = run(text, values, types, false, patience, timedOut);
        if (timedOut) {
            throw ServerNoAnswer(
                QStringLiteral("Le %1 n'a pas répondu en %2 s ; l'instruction a été abandonnée")
                    .arg(server_)
                    .arg((patience + 999) / 1000),
                original);
        }
        const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            if (sql.startsWith("BEGIN")) transactionOpen_ = true;
            return Result(r);
        }
        const bool lost = connectionLost(conn_, r);
        // No result at all: libpq could not even send it.
        const bool neverSent = !r;
        if (lost && attempt == 0 && !transactionOpen_ && !ending &&
            (readsOnly || neverSent || endedByServer(r))) {
            if (r) PQclear(r);
            lost_ = true;
            continue;
        }
        fail(original, r, lost);
    }
}

void Session::command(const char* sql) { exec(QByteArray(sql), {}, QString::fromUtf8(sql)); }

void Session::send(const QByteArray& sql, const QString& original) {
    if (!PQsendQuery(conn_, sql.constData()))
        fail(original, nullptr, connectionLost(conn_, nullptr));
}

Result Session::take(const QString& original) {
    PGresult* r = PQgetResult(conn_);
    // One statement, one result: what follows is only the end marker.
    while (PGresult* more = PQgetResult(conn_)) PQclear(more);
    const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(original, r, connectionLost(conn_, r));
    return Result(r);
}

void Session::readCatalog() {
    static const QByteArray sql = R"(
SELECT c.relname, a.attname, t.typname, a.atttypmod,
       a.attidentity <> '' OR COALESCE(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false),
       EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = c.oid AND i.indisprimary
               AND i.indnatts = 1 AND i.indkey[0] = a.attnum)
FROM pg_class c
JOIN pg_attribute a ON a.attrelid = c.oid
JOIN pg_type t ON t.oid = a.atttypid
LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum
WHERE c.relkind IN ('r', 'p', 'v') AND pg_table_is_visible(c.oid)
  AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, 'information_schema'::regnamespace)
  AND a.attnum > 0 AND NOT a.attisdropped
ORDER BY c.relname, a.attnum)";
    const Result r = exec(sql, {}, QStringLiteral("catalogue"));
    tables_.clear();
    for (int i = 0; i < r.rows(); ++i) {
        const QString table = r.text(i, 0);
        if (tables_.empty() || tables_.back().name != table) tables_.push_back({table, {}, {}, {}});
        Table& t = tables_.back();
        const QString name = r.text(i, 1);
        const bool generated = r.text(i, 4) == u"t";
        if (r.text(i, 5) == u"t") t.key = name;
        Column c;
        c.name = name;
        c.declType = r.text(i, 2);
        c.field = fieldOf(name, c.declType, r.text(i, 3).toInt(), generated);
        (isHiddenColumn(name) ? t.hidden : t.columns).push_back(c);
    }
    catalogRead_ = true;
}

const Table* Session::table(const QString& name) {
    if (!catalogRead_) readCatalog();
    for (const Table& t : tables_)
        if (t.name == name) return &t;
    for (const Table& t : tables_)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

bool Session::isTableName(const QString& name) { return table(name) != nullptr; }

const Column* Session::findColumn(const QString& name) {
    if (!catalogRead_) readCatalog();
    const Column* loose = nullptr;
    for (const Table& t : tables_) {
        for (const Column& c : t.columns) {
            if (c.name == name) return &c;
            if (!loose && c.name.compare(name, Qt::CaseInsensitive) == 0) loose = &c;
        }
    }
    return loose;
}

std::optional<QString> Session::columnName(const QString& name) {
    if (const Column* c = findColumn(name)) return c->name;
    return std::nullopt;
}

void Session::createLayoutIfEmpty() {
    // Two workstations starting together on a new database: one makes the
    // tables, the other then finds them.
    command("BEGIN");
    try {
        command("SELECT pg_advisory_xact_lock(7403561)");
        const Result r = exec(
            "SELECT to_regclass('clients') IS NULL AND to_regclass('travaux') IS NULL AND "
            "to_regclass('activites') IS NULL",
            {}, QStringLiteral("tables"));
        if (r.rows() == 1 && r.text(0, 0) == u"t") {
            command(
                "CREATE TABLE clients (\"NOM\" varchar(255), "
                "tavix_cle bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY)");
            command(
                "CREATE TABLE travaux (\"ID\" integer GENERATED BY DEFAULT AS IDENTITY PRIMARY "
                "KEY, \"TRAVAUX\" varchar(255), \"ORDRE\" integer)");
            command(
                "CREATE TABLE activites (\"ID\" integer GENERATED BY DEFAULT AS IDENTITY PRIMARY "
                "KEY, \"SURVEILLANCES\" varchar(255), \"CLIENTS\" varchar(255), \"DEBUT\" "
                "timestamp, \"FIN\" timestamp, \"DUREE\" integer, \"COMMENTAIRE\" text, "
                "\"USER\" varchar(255), tavix_jeton uuid UNIQUE)");
            command("CREATE INDEX activites_debut_fin ON activites (\"DEBUT\", \"FIN\")");
            addAuthors(*this);
        } else {
            // Tables made by hand or by an older program: the keys the
            // engine relies on are added where the role may; else it goes on
            // without (editors then refuse a table without key).
            const char* keys[] = {
                "DO $$ BEGIN IF to_regclass('activites') IS NOT NULL AND NOT EXISTS (SELECT 1 FROM "
                "pg_attribute WHERE attrelid = 'activites'::regclass AND attname = 'tavix_jeton') "
                "THEN ALTER TABLE activites ADD COLUMN tavix_jeton uuid UNIQUE; END IF; END $$",
                "DO $$ BEGIN IF to_regclass('clients') IS NOT NULL AND NOT EXISTS (SELECT 1 "
                "FROM pg_index WHERE indrelid = 'clients'::regclass AND indisprimary) THEN "
                "ALTER TABLE clients ADD COLUMN tavix_cle bigint GENERATED ALWAYS AS IDENTITY "
                "PRIMARY KEY; END IF; END $$"};
            const auto where = [this](const std::function<void()>& step) {
                command("SAVEPOINT cle");
                try {
                    step();
                    command("RELEASE SAVEPOINT cle");
                } catch (const ServerUnreachable&) {
                    throw;
                } catch (const EngineError&) {
                    command("ROLLBACK TO SAVEPOINT cle");
                }
            };
            for (const char* sql : keys) where([&] { command(sql); });
            // A missing activites or a role that does not own it: left without.
            where([this] { addAuthors(*this); });
        }
        command("COMMIT");
    } catch (...) {
        if (inTransaction()) PQclear(PQexec(conn_, "ROLLBACK"));
        throw;
    }
    catalogRead_ = false;
    checkAccess(*this);
}

}  // namespace tavix::db::pg

#include "data/Billing.h"

#include <QRegularExpression>
#include <algorithm>
#include <numeric>

#include "data/engine/Connection.h"
#include "data/engine/EngineError.h"
#include "data/engine/Query.h"
#include "data/engine/Quoting.h"
#include "data/engine/Transaction.h"
#include "platform/Error.h"
#include "settings/outils.h"

namespace tavix {

namespace {
__extension__ typedef __int128 Wide;

const QChar kNbsp(0x00A0);

QString isoDay(const QDate& d) { return d.toString(Qt::ISODate); }
QDate dayOf(const QString& text) { return QDate::fromString(text.trimmed(), Qt::ISODate); }
}  // namespace

QString moneyFigure(qint64 cents) {
    const qint64 m = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2,%3")
        .arg(cents < 0 ? QStringLiteral("-") : QString())
        .arg(m / 100)
        .arg(m % 100, 2, 10, QLatin1Char('0'));
}

QString moneyText(qint64 cents) { return moneyFigure(cents) + kNbsp + u'€'; }

std::optional<qint64> parseMoney(const QString& text, QString* why) {
    const auto refuse = [&](const QString& reason) -> std::optional<qint64> {
        if (why) *why = reason;
        return std::nullopt;
    };
    QString t = text.trimmed();
    if (t.endsWith(u'€')) t.chop(1);
    t = t.trimmed();
    t.remove(kNbsp);
    t.remove(QChar(0x202F));
    if (t.isEmpty()) return refuse(QStringLiteral("aucun montant saisi"));
    if (t.startsWith(u'-')) return refuse(QStringLiteral("un tarif ne peut pas être négatif"));
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,9})(?:[,.](\\d*))?$"));
    const auto m = shape.match(t);
    if (!m.hasMatch())
        return refuse(QStringLiteral("« %1 » n'est pas un montant (exemple : 65,50)").arg(text));
    const QString decimals = m.captured(2);
    if (decimals.size() > 2)
        return refuse(QStringLiteral("« %1 » a plus de deux décimales").arg(text));
    qint64 cents = m.captured(1).toLongLong() * 100;
    if (!decimals.isEmpty()) cents += decimals.leftJustified(2, u'0').toLongLong();
    return cents;
}

qint64 centsOf(const Value& v, qint64 daySeconds, qint64 num, qint64 den) {
    if (daySeconds <= 0) daySeconds = 7 * 3600;
    const qint64 g = std::gcd(qint64(3600), daySeconds);
    const Wide l = Wide(3600) / g * daySeconds;
    const Wide x = Wide(v.hourly) * (l / 3600) + Wide(v.daily) * (l / daySeconds);
    const Wide d = l * den;
    const Wide n = x * num * 2 + d;
    // Floor division, so that half a cent goes up for negative values too.
    Wide q = n / (d * 2);
    if (n % (d * 2) != 0 && (n < 0) != (d < 0)) --q;
    return qint64(q);
}

QString rateText(const Rate& r) {
    return moneyText(r.cents) + (r.daily ? QStringLiteral(" / jour") : QStringLiteral(" / h"));
}

Rates::Rates(std::vector<Rate> rates, qint64 daySeconds)
    : all_(std::move(rates)), daySeconds_(daySeconds > 0 ? daySeconds : 7 * 3600) {
    std::sort(all_.begin(), all_.end(), [](const Rate& a, const Rate& b) {
        return std::tie(a.client, a.activity, a.from) < std::tie(b.client, b.activity, b.from);
    });
    for (const Rate& r : all_) {
        if (r.activity.isEmpty())
            byClient_[r.client].push_back(&r);
        else
            byPair_[{r.client, r.activity}].push_back(&r);
    }
}

const Rates::Candidates* Rates::candidates(const QString& client, const QString& activity) const {
    if (all_.empty()) return nullptr;
    const std::pair<QString, QString> key{client, activity};
    std::shared_ptr<const Candidates>& known = known_[key];
    if (!known) {
        auto c = std::make_shared<Candidates>();
        c->specific = byPair_.value(key);
        c->general = byClient_.value(client);
        known = std::move(c);
    }
    return known.get();
}

const Rate* Rates::at(const Candidates* c, const QDate& day) {
    if (!c) return nullptr;
    for (const auto* list : {&c->specific, &c->general}) {
        const auto after =
            std::upper_bound(list->begin(), list->end(), day,
                             [](const QDate& d, const Rate* r) { return d < r->from; });
        if (after != list->begin()) return *(after - 1);
    }
    return nullptr;
}

Value Rates::value(const Rate& r, qint64 seconds) const {
    Value v;
    (r.daily ? v.daily : v.hourly) = seconds * r.cents;
    return v;
}

qint64 daySecondsSetting() {
    bool ok = false;
    const int minutes = ReadSetting(kDayMinutesSetting).toInt(&ok);
    return ok && minutes > 0 && minutes <= 24 * 60 ? qint64(minutes) * 60 : 7 * 3600;
}

SenderDetails SenderDetails::load() {
    SenderDetails s;
    s.name = ReadSetting(QStringLiteral("émetteur nom"));
    s.address = ReadSetting(QStringLiteral("émetteur adresse"));
    s.siret = ReadSetting(QStringLiteral("émetteur siret"));
    s.vatNumber = ReadSetting(QStringLiteral("émetteur tva intracommunautaire"));
    s.mentions = ReadSetting(QStringLiteral("mentions"));
    bool ok = false;
    const int vat = ReadSetting(QStringLiteral("taux tva")).toInt(&ok);
    if (ok && vat >= 0 && vat <= 10000) s.vatBasisPoints = vat;
    return s;
}

void SenderDetails::save() const {
    WriteSetting(QStringLiteral("émetteur nom"), name);
    WriteSetting(QStringLiteral("émetteur adresse"), address);
    WriteSetting(QStringLiteral("émetteur siret"), siret);
    WriteSetting(QStringLiteral("émetteur tva intracommunautaire"), vatNumber);
    WriteSetting(QStringLiteral("mentions"), mentions);
    WriteSetting(QStringLiteral("taux tva"),
                 vatBasisPoints ? QString::number(*vatBasisPoints) : QString());
}

namespace billing {

namespace {

void run(db::Connection& c, const QString& statement) {
    db::Query q(c);
    q.add(statement);
    q.execute();
}

const QString kCounter = QStringLiteral("\"facture\"");

}  // namespace

void ensureTables(db::Connection& c) {
    // A role without the right to create (a team's server) finds the
    // tables its administrator's script made: a refusal is no fault then.
    const auto make = [&](const QString& table, const QString& statement) {
        try {
            run(c, statement);
        } catch (const db::ServerUnreachable&) {
            throw;
        } catch (const Error&) {
            db::Query q(c);
            q.add(QStringLiteral("SELECT COUNT(*) AS N FROM %1 WHERE 1 = 0").arg(table));
            q.open();  // throws when the table is truly missing
            q.close();
        }
    };
    // Names of their own, unquoted: no column of the log's tables is met
    // again, and the server folds them alike wherever they are written.
    make(QStringLiteral("tarifs"),
         QStringLiteral(
             "CREATE TABLE IF NOT EXISTS tarifs (CLIENT TEXT(255) NOT NULL, SURVEILLANCE "
             "TEXT(255) NOT NULL, DEPUIS TEXT(10) NOT NULL, MONTANT BIGINT NOT NULL, PAR_JOUR "
             "INTEGER NOT NULL, PRIMARY KEY (CLIENT, SURVEILLANCE, DEPUIS))"));
    make(QStringLiteral("coordonnees_clients"),
         QStringLiteral("CREATE TABLE IF NOT EXISTS coordonnees_clients (CLIENT TEXT(255) NOT "
                        "NULL PRIMARY KEY, ADRESSE TEXT, REF_CLIENT TEXT(255))"));
    make(QStringLiteral("numerotation"),
         QStringLiteral("CREATE TABLE IF NOT EXISTS numerotation (COMPTEUR TEXT(32) NOT NULL "
                        "PRIMARY KEY, DERNIER BIGINT NOT NULL)"));
    make(QStringLiteral("registre_factures"),
         QStringLiteral(
             "CREATE TABLE IF NOT EXISTS registre_factures (NUMERO BIGINT NOT NULL PRIMARY KEY, "
             "EMISE TEXT(10), CLIENT TEXT(255), PERIODE_DEBUT TEXT(10), PERIODE_FIN TEXT(10), "
             "TOTAL BIGINT, FICHIER TEXT)"));
    db::Query q(c);
    q.add(QStringLiteral("SELECT COUNT(*) AS N FROM numerotation WHERE COMPTEUR = ") + kCounter);
    q.open();
    const bool missing = q.asString(QStringLiteral("N")).toLongLong() == 0;
    q.close();
    if (!missing) return;
    try {
        run(c, QStringLiteral("INSERT INTO numerotation (COMPTEUR, DERNIER) VALUES (") + kCounter +
                   QStringLiteral(", 0)"));
    } catch (const db::ServerUnreachable&) {
        throw;
    } catch (const Error&) {
        // Another copy made it first: its row is the one.
    }
}

namespace {
QStringList column(db::Connection& c, const QString& statement, const QString& name) {
    db::Query q(c);
    q.add(statement);
    q.open();
    QStringList out;
    for (; !q.eof(); q.next()) out << q.asString(name);
    q.close();
    out.removeDuplicates();
    return out;
}
}  // namespace

QStringList clientNames(db::Connection& c) {
    return column(c, QStringLiteral("SELECT NOM FROM clients ORDER BY NOM"), QStringLiteral("NOM"));
}

QStringList activityNames(db::Connection& c) {
    return column(c, QStringLiteral("SELECT TRAVAUX FROM travaux ORDER BY ORDRE"),
                  QStringLiteral("TRAVAUX"));
}

Rates readRates(db::Connection& c) {
    db::Query q(c);
    q.add(QStringLiteral(
        "SELECT CLIENT, SURVEILLANCE, DEPUIS, MONTANT, PAR_JOUR FROM tarifs ORDER BY CLIENT, "
        "SURVEILLANCE, DEPUIS"));
    q.open();
    std::vector<Rate> rates;
    for (; !q.eof(); q.next()) {
        Rate r;
        r.client = q.asString(QStringLiteral("CLIENT"));
        r.activity = q.asString(QStringLiteral("SURVEILLANCE"));
        r.from = dayOf(q.asString(QStringLiteral("DEPUIS")));
        r.cents = q.asString(QStringLiteral("MONTANT")).toLongLong();
        r.daily = q.asString(QStringLiteral("PAR_JOUR")).toLongLong() != 0;
        if (r.from.isValid()) rates.push_back(r);
    }
    q.close();
    return Rates(std::move(rates), daySecondsSetting());
}

void saveRate(db::Connection& c, const Rate& r) {
    if (r.cents < 0 || !r.from.isValid() || r.client.isEmpty())
        throw Error(QStringLiteral("Tarif incomplet ou négatif pour « %1 »").arg(r.client));
    db::Transaction t(c);
    deleteRate(c, r);
    run(c, QStringLiteral("INSERT INTO tarifs (CLIENT, SURVEILLANCE, DEPUIS, MONTANT, PAR_JOUR) "
                          "VALUES (%1, %2, %3, %4, %5)")
               .arg(db::quoted(r.client), db::quoted(r.activity), db::quoted(isoDay(r.from)))
               .arg(r.cents)
               .arg(r.daily ? 1 : 0));
    t.commit();
}

void deleteRate(db::Connection& c, const Rate& r) {
    run(c,
        QStringLiteral("DELETE FROM tarifs WHERE CLIENT = %1 AND SURVEILLANCE = %2 AND DEPUIS = %3")
            .arg(db::quoted(r.client), db::quoted(r.activity), db::quoted(isoDay(r.from))));
}

std::optional<ClientDetails> readClientDetails(db::Connection& c, const QString& client) {
    db::Query q(c);
    q.add(QStringLiteral("SELECT ADRESSE, REF_CLIENT FROM coordonnees_clients WHERE CLIENT = ") +
          db::quoted(client));
    q.open();
    std::optional<ClientDetails> out;
    if (!q.eof())
        out = ClientDetails{client, q.asString(QStringLiteral("ADRESSE")),
                            q.asString(QStringLiteral("REF_CLIENT"))};
    q.close();
    return out;
}

void saveClientDetails(db::Connection& c, const ClientDetails& d) {
    db::Transaction t(c);
    run(c,
        QStringLiteral("DELETE FROM coordonnees_clients WHERE CLIENT = ") + db::quoted(d.client));
    run(c, QStringLiteral("INSERT INTO coordonnees_clients (CLIENT, ADRESSE, REF_CLIENT) VALUES "
                          "(%1, %2, %3)")
               .arg(db::quoted(d.client), db::quoted(d.address), db::quoted(d.reference)));
    t.commit();
}

qint64 issueInvoice(db::Connection& c, const Invoice& invoice,
                    const std::function<void(qint64)>& save) {
    db::Transaction t(c);
    // The update takes the counter's row first: another copy numbering at
    // the same moment waits here until this transaction ends, then counts
    // from the number it kept.
    run(c, QStringLiteral("UPDATE numerotation SET DERNIER = DERNIER + 1 WHERE COMPTEUR = ") +
               kCounter);
    db::Query q(c);
    q.add(QStringLiteral("SELECT DERNIER FROM numerotation WHERE COMPTEUR = ") + kCounter);
    q.open();
    if (q.eof()) throw Error(QStringLiteral("La numérotation des factures est absente de la base"));
    const qint64 number = q.asString(QStringLiteral("DERNIER")).toLongLong();
    q.close();
    save(number);
    run(c, QStringLiteral("INSERT INTO registre_factures (NUMERO, EMISE, CLIENT, PERIODE_DEBUT, "
                          "PERIODE_FIN, TOTAL, FICHIER) VALUES (%1, %2, %3, %4, %5, %6, %7)")
               .arg(number)
               .arg(db::quoted(isoDay(invoice.issued)), db::quoted(invoice.client),
                    db::quoted(isoDay(invoice.from)), db::quoted(isoDay(invoice.to)))
               .arg(invoice.totalCents)
               .arg(db::quoted(invoice.file)));
    t.commit();
    return number;
}

std::vector<Invoice> invoices(db::Connection& c) {
    db::Query q(c);
    q.add(
        QStringLiteral("SELECT NUMERO, EMISE, CLIENT, PERIODE_DEBUT, PERIODE_FIN, TOTAL, "
                       "FICHIER FROM registre_factures ORDER BY NUMERO"));
    q.open();
    std::vector<Invoice> out;
    for (; !q.eof(); q.next())
        out.push_back({q.asString(QStringLiteral("NUMERO")).toLongLong(),
                       dayOf(q.asString(QStringLiteral("EMISE"))),
                       q.asString(QStringLiteral("CLIENT")),
                       dayOf(q.asString(QStringLiteral("PERIODE_DEBUT"))),
                       dayOf(q.asString(QStringLiteral("PERIODE_FIN"))),
                       q.asString(QStringLiteral("TOTAL")).toLongLong(),
                       q.asString(QStringLiteral("FICHIER"))});
    q.close();
    return out;
}

}  // namespace billing

}  // namespace tavix

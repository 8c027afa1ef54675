#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tavix {

namespace db {
class Connection;
}

// Money is held in cents, in integers: a sum of floating-point euros drifts.

// "1234,56 €": decimal comma, no thousands mark (as the program's other
// figures), a non-breaking space before the euro sign.
QString moneyText(qint64 cents);
// "1234,56": the figure alone, for a spreadsheet's column.
QString moneyFigure(qint64 cents);
// Reads an amount typed by the user: "65", "65,5", "65,50", "65.50", with or
// without a trailing "€". Empty and an explanation in French when the text
// is no amount, is negative or has more than two decimals.
std::optional<qint64> parseMoney(const QString& text, QString* why = nullptr);

// What billed seconds at a rate come to, before rounding to the cent: the
// numerator over a per-unit denominator (3600 for an hour, the day's length
// in seconds for a day), kept exact so that a line is rounded only once.
struct Value {
    qint64 hourly = 0;  // Σ seconds × cents per hour
    qint64 daily = 0;   // Σ seconds × cents per day
    Value& operator+=(const Value& v) {
        hourly += v.hourly;
        daily += v.daily;
        return *this;
    }
    bool operator==(const Value&) const = default;
};
// In cents, half a cent going up; scaled by num / den first (a line's
// rounded duration over its real one), den > 0.
qint64 centsOf(const Value& v, qint64 daySeconds, qint64 num = 1, qint64 den = 1);

// One rate: for a client, or for a client and one of its activities, from a
// day on until the next rate of the same scope.
struct Rate {
    QString client;
    QString activity;  // empty: every activity of the client
    QDate from;
    qint64 cents = 0;
    bool daily = false;  // per day of daySeconds rather than per hour
    bool operator==(const Rate&) const = default;
};

// "65,00 € / h", "520,00 € / jour"
QString rateText(const Rate& r);

// The rates of a database, looked up by client, activity and day: the rate
// for the client and the activity wins over the client's own; of each, the
// latest that has started on that day.
class Rates {
public:
    Rates() = default;
    explicit Rates(std::vector<Rate> rates, qint64 daySeconds = 7 * 3600);

    bool empty() const { return all_.empty(); }
    const std::vector<Rate>& all() const { return all_; }
    qint64 daySeconds() const { return daySeconds_; }

    // The rates that may apply to a client and activity, by scope; null
    // when there are none. Lookups of one pair can keep it.
    struct Candidates {
        std::vector<const Rate*> specific, general;  // each by day, ascending
    };
    const Candidates* candidates(const QString& client, const QString& activity) const;
    static const Rate* at(const Candidates* c, const QDate& day);
    const Rate* find(const QString& client, const QString& activity, const QDate& day) const {
        return at(candidates(client, activity), day);
    }

    // What seconds come to at a rate.
    Value value(const Rate& r, qint64 seconds) const;

private:
    std::vector<Rate> all_;
    qint64 daySeconds_ = 7 * 3600;
    QHash<QString, std::vector<const Rate*>> byClient_;
    QHash<std::pair<QString, QString>, std::vector<const Rate*>> byPair_;
    // Held apart, so that a pair's candidates stay where they are while
    // others are added.
    mutable QHash<std::pair<QString, QString>, std::shared_ptr<const Candidates>> known_;
};

// Name of the setting holding the length of a billed day, in minutes.
inline const QString kDayMinutesSetting = QStringLiteral("minutes par jour");
qint64 daySecondsSetting();

// The user's own details and the VAT, kept in the settings.
struct SenderDetails {
    QString name, address, siret, vatNumber, mentions;
    // VAT rate in hundredths of a percent (2000: 20 %); none when the
    // micro-entrepreneur's exemption applies.
    std::optional<int> vatBasisPoints;
    static SenderDetails load();
    void save() const;
};
inline const QString kNoVatMention = QStringLiteral("TVA non applicable, art. 293 B du CGI");

// A client's details, in a table of their own beside clients.
struct ClientDetails {
    QString client, address, reference;
};

// A numbered document, as the register lists it.
struct Invoice {
    qint64 number = 0;
    QDate issued;
    QString client;
    QDate from, to;
    qint64 totalCents = 0;  // with VAT
    QString file;
};

namespace billing {

// The tables of rates, clients' details, numbering and register, made when
// missing. Throws EngineError when the base refuses (read-only).
void ensureTables(db::Connection& c);

// The names the rates and details are given for: clients by name,
// activities in the buttons' order.
QStringList clientNames(db::Connection& c);
QStringList activityNames(db::Connection& c);

Rates readRates(db::Connection& c);
// Adds the rate, or replaces the one of the same client, activity and day.
void saveRate(db::Connection& c, const Rate& r);
void deleteRate(db::Connection& c, const Rate& r);

std::optional<ClientDetails> readClientDetails(db::Connection& c, const QString& client);
void saveClientDetails(db::Connection& c, const ClientDetails& d);

// Numbers the document: in one transaction, takes the next number of the
// sequence, hands it to save (which writes the document and throws when it
// cannot), then records it in the register. A failure anywhere leaves the
// sequence and the register as they were, so a number is never skipped,
// and never given twice, whatever other copies of the program do at the
// same moment.
qint64 issueInvoice(db::Connection& c, const Invoice& invoice,
                    const std::function<void(qint64 number)>& save);
// The register, by number.
std::vector<Invoice> invoices(db::Connection& c);

}  // namespace billing

}  // namespace tavix

#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "consult/Entries.h"
#include "consult/Summary.h"
#include "data/Billing.h"

class QPagedPaintDevice;

namespace tavix {

// What one line of a statement stands for.
enum class StatementDetail : int { Entry, Day, Activity };
QString statementDetailName(StatementDetail d);  // "Une ligne par entrée"...

struct StatementLine {
    QString date;   // the entry's or the day's; empty per activity
    QString label;  // the activity (and the entry's comment)
    qint64 entries = 0, seconds = 0, rounded = 0;
    const Rate* rate = nullptr;  // null: no rate for these entries
    qint64 amount = 0;           // cents, excluding VAT
};

// "Relevé d'activité": one client's entries of a period, priced line by
// line. Each line has one rate (a day or an activity whose rate changes
// is split at the change), its amount is rounded to the cent once, and the
// total is the sum of the lines. Entries are given in order of start.
class Statement {
public:
    Statement(QString client, QDate from, QDate to, StatementDetail detail, Rounding rounding,
              std::shared_ptr<const Rates> rates, SenderDetails sender,
              std::optional<ClientDetails> clientDetails);

    void add(const Entry& e);
    // The lines, in order; built once the entries are in.
    const std::vector<StatementLine>& lines();

    qint64 totalExcludingVat();
    qint64 vat();  // 0 without VAT
    qint64 totalIncludingVat() { return totalExcludingVat() + vat(); }
    qint64 unrated() const { return unrated_; }
    qint64 entries() const { return entries_; }

    const QString& client() const { return client_; }
    QDate from() const { return from_; }
    QDate to() const { return to_; }
    const SenderDetails& sender() const { return sender_; }
    const std::optional<ClientDetails>& clientDetails() const { return clientDetails_; }
    const Rounding& rounding() const { return rounding_; }
    StatementDetail detail() const { return detail_; }

    // Paints the statement on the device's pages; numbered as an invoice
    // when number > 0. Raises Error when the device refuses.
    void paint(QPagedPaintDevice& device, qint64 number, const QDate& issued);
    // The same as a PDF file's bytes.
    QByteArray pdf(qint64 number, const QDate& issued);

private:
    void build();

    QString client_;
    QDate from_, to_;
    StatementDetail detail_;
    Rounding rounding_;
    std::shared_ptr<const Rates> rates_;
    SenderDetails sender_;
    std::optional<ClientDetails> clientDetails_;
    const Rates::Candidates* lastCandidates_ = nullptr;
    QString lastActivity_;
    std::map<std::pair<QString, const Rate*>, StatementLine> grouped_;
    std::vector<StatementLine> lines_;
    std::vector<StatementLine> byEntry_;
    bool built_ = false;
    qint64 unrated_ = 0, entries_ = 0;
};

// "Relevé 2026-12 Dupont.pdf", "Facture 12 Dupont.pdf"
QString statementFileName(const QString& client, QDate from, qint64 number);

}  // namespace tavix

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "consult/Entries.h"
#include "data/Billing.h"

namespace tavix {

enum class Grouping : int;

// Billing rounding to a step of whole minutes, either up or to the nearest
// step (half a step goes up); applied to each entry's duration, or to the
// total of each line of the summary (per client, per day...).
struct Rounding {
    int minutes = 0;  // 0: exact figures
    bool nearest = false;
    bool perLine = false;

    bool active() const { return minutes > 0; }
    qint64 apply(qint64 seconds) const;

    // The settings store's form: "" (none), "15 haut", "15 proche", and
    // " ligne" after either when the lines' totals are rounded.
    QString toSetting() const;
    static Rounding fromSetting(const QString& text);
    QString label() const;  // "À 15 minutes, par excès"... (the step alone)
    // The rule in words, as shown beside the totals it changes: "arrondi au
    // quart d'heure supérieur, entrée par entrée"; per line, the grouping
    // whose lines are rounded is named.
    QString rule(Grouping g) const;
    // Every choice offered, "none" first.
    static std::vector<Rounding> choices();
    bool operator==(const Rounding&) const = default;
};

// Name of the setting holding the rounding.
inline const QString kRoundingSetting = QStringLiteral("arrondi");

// Duration texts: 07:45:00 (hours in full), 7,75 (French decimal comma,
// two decimals, no thousands mark), 25,0 (share in percent, one decimal).
QString hmsText(qint64 seconds);
QString decimalHoursText(qint64 seconds);
QString shareText(qint64 part, qint64 total);

// "3 entrées sans tarif", "1 entrée sans tarif"
QString unratedText(qint64 entries);
// "1234,56 €", followed by " (3 entrées sans tarif)" when some have none;
// "sans tarif" when none of them has one.
QString amountText(qint64 cents, qint64 entries, qint64 unrated);

// "12 entrées — 07:45:00 — 7,75 h"
QString totalsText(qint64 entries, qint64 seconds);

enum class Grouping : int { Client, Activity, ClientActivity, Day, Week, Month };
inline constexpr std::array kGroupings{Grouping::Client,         Grouping::Activity,
                                       Grouping::ClientActivity, Grouping::Day,
                                       Grouping::Week,           Grouping::Month};
QString groupingName(Grouping g);   // "Par client"...
QStringList keyTitles(Grouping g);  // "Client", "Surveillance"...

struct SummaryLine {
    QStringList keys;  // shown, one per key title
    QString sortKey;   // orders the lines (ISO dates for periods)
    qint64 entries = 0;
    qint64 seconds = 0;
    qint64 rounded = 0;
    // With rates: what the line's rated entries come to, and how many have
    // none; `amount` in cents, from the rounded durations, once per line.
    Value value;
    qint64 unrated = 0;
    qint64 amount = 0;
};

// Totals of a selection of entries, by every grouping at once, built one
// entry at a time. Days, weeks and months are those of each entry's start.
class Summary {
public:
    explicit Summary(Rounding rounding = {}, std::shared_ptr<const Rates> rates = {})
        : rounding_(rounding), rates_(std::move(rates)) {}

    void add(const Entry& e);

    const Rounding& rounding() const { return rounding_; }
    const std::shared_ptr<const Rates>& rates() const { return rates_; }
    // Some rate is set: amounts are shown beside the durations.
    bool priced() const { return rates_ && !rates_->empty(); }
    qint64 unrated() const { return unrated_; }  // entries without a rate
    // The lines' amounts of g, each rounded to the cent, added up.
    qint64 amount(Grouping g) const;
    // A line's amount in cents, from its value and rounded duration.
    qint64 amountOf(const SummaryLine& l) const;
    qint64 entries() const { return entries_; }
    qint64 seconds() const { return seconds_; }
    qint64 rounded() const { return rounded_; }  // each entry rounded, added up
    // The billed total: per entry as rounded(); per line, the lines of g
    // each rounded, added up.
    qint64 rounded(Grouping g) const;
    DateTime firstStart() const { return first_; }  // zero when empty
    DateTime lastEnd() const { return last_; }

    // In the order of their sort keys; `rounded` as the rounding bills it.
    std::vector<SummaryLine> lines(Grouping g) const;

private:
    SummaryLine& line(Grouping g, const QString& sortKey, const QStringList& keys);
    SummaryLine& nameLine(Grouping g, const QString& name);

    // The lines an entry last went to, so that most entries find theirs
    // without making a key. Points into groups_: a copy or a move starts
    // it afresh.
    struct Recent {
        Recent() = default;
        Recent(const Recent&) {}
        Recent& operator=(const Recent&) { return *this = Recent(); }
        Recent& operator=(Recent&&) noexcept;
        QDate day;
        SummaryLine *dayLine = nullptr, *weekLine = nullptr, *monthLine = nullptr;
        QHash<std::pair<QString, QString>, SummaryLine*> pairs;
        // Entries read from the base share one string per name: a name
        // whose text is the very one seen before finds its lines without
        // comparing or hashing characters. Each slot keeps its names alive,
        // so their texts cannot be reused by others.
        struct Slot {
            QString client, activity;
            SummaryLine *clientLine = nullptr, *activityLine = nullptr, *pairLine = nullptr;
            const Rates::Candidates* rates = nullptr;
        };
        std::array<Slot, 64> seen;
    };

    Rounding rounding_;
    std::shared_ptr<const Rates> rates_;
    std::array<std::map<QString, SummaryLine>, kGroupings.size()> groups_;
    Recent recent_;
    qint64 entries_ = 0, seconds_ = 0, rounded_ = 0, unrated_ = 0;
    DateTime first_, last_;
};

}  // namespace tavix

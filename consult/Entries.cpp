#include "consult/Entries.h"

#include <QStringList>

#include "data/engine/BoundSelect.h"
#include "data/engine/StoredForm.h"
#include "platform/Regional.h"

namespace tavix {

namespace {
const QString kAll = QStringLiteral("Tous");

// The stored form 'yyyy-MM-dd[ HH:mm:ss]' read in place, with the value
// DateTime(QDate, QTime) gives (days from the civil date); false for any
// other form, which the engine then reads its own way.
bool storedValue(QByteArrayView text, DateTime& value) {
    db::StoredParts t;
    if (text.isNull() || !db::splitStored(text.data(), text.size(), t) || t.year < 1000 ||
        !QDate::isValid(t.year, t.month, t.day) || !QTime::isValid(t.hour, t.minute, t.second))
        return false;
    const int yy = t.month <= 2 ? t.year - 1 : t.year;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 daysFrom1970 = qint64(era) * 146097 + doe - 719468;
    constexpr qint64 k1899To1970 = 25569;  // 30/12/1899 to 01/01/1970
    value = DateTime::fromMSecs((daysFrom1970 + k1899To1970) * DateTime::kMsPerDay +
                                (t.hour * 3600 + t.minute * 60 + t.second) * qint64(1000));
    return true;
}
}  // namespace

QString entriesStatement(const EntryFilter& filter) {
    // rowid: every layout of the table has it, older ones without ID too.
    const QString select = QStringLiteral(
        "SELECT rowid, \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
        "FROM activites");
    if (filter.all) return select + QStringLiteral(" ORDER BY DEBUT, rowid");
    // Only the conditions the filter needs; the values are bound. The
    // selection is a start on or after ?1 and an end on or before ?2. An
    // entry ending by ?2 started by ?2 too, unless it ends before it
    // starts: the first part searches the index on DEBUT between the two
    // dates, the second finds those rare entries through the index made
    // for them (its condition written so that it cannot take the one on
    // DEBUT, which would run to the end of the log).
    QString names;
    int next = 3;
    if (filter.client != kAll) names += QStringLiteral("CLIENTS = ?%1 AND ").arg(next++);
    if (filter.activity != kAll) names += QStringLiteral("SURVEILLANCES = ?%1 AND ").arg(next++);
    return select + QStringLiteral(" WHERE ") + names +
           QStringLiteral("DEBUT >= ?1 AND DEBUT <= ?2 AND FIN <= ?2 UNION ALL ") + select +
           QStringLiteral(" WHERE ") + names +
           QStringLiteral(
               "FIN < DEBUT AND FIN <= ?2 AND NOT (DEBUT <= ?2) AND NOT (DEBUT < ?1) "
               "ORDER BY 5, 1");
}

QVariantList entriesValues(const EntryFilter& filter) {
    if (filter.all) return {};
    QVariantList values{QVariant::fromValue(DateTime(filter.from, QTime(0, 0))),
                        QVariant::fromValue(DateTime(filter.to.addDays(1), QTime(0, 0)))};
    if (filter.client != kAll) values << filter.client;
    if (filter.activity != kAll) values << filter.activity;
    return values;
}

QString EntryFilter::describe() const {
    const QString c = all || client == kAll ? QStringLiteral("tous") : client;
    const QString a = all || activity == kAll ? QStringLiteral("toutes") : activity;
    return QStringLiteral("Client : %1 — Surveillance : %2").arg(c, a);
}

QString EntryFilter::period() const {
    if (all) return QStringLiteral("toutes les dates");
    return QStringLiteral("du %1 au %2").arg(regional::dateToText(from), regional::dateToText(to));
}

EntryCursor::EntryCursor(db::Connection& connection, const EntryFilter& filter) {
    cursor_ = std::make_unique<db::BoundCursor>(connection, entriesStatement(filter),
                                                entriesValues(filter));
}

EntryCursor::~EntryCursor() = default;

QString SharedNames::get(QByteArrayView utf8) {
    if (utf8.isNull()) return {};
    const std::string_view key(utf8.data(), size_t(utf8.size()));
    if (const auto it = known_.find(key); it != known_.end()) return it->second;
    // A log of free texts would only fill it: it starts again instead.
    if (known_.size() >= 4096) known_.clear();
    QString name = QString::fromUtf8(utf8.data(), utf8.size());
    known_.emplace(std::string(key), name);
    return name;
}

bool EntryCursor::read(qint64 budgetMs, const std::function<void(const Entry&)>& each) {
    return cursor_->read(budgetMs, [&](const db::BoundRow& row) {
        Entry& e = entry_;
        e.id = row.integer(0);
        e.user = names_.get(row.utf8(1));
        e.activity = names_.get(row.utf8(2));
        e.client = names_.get(row.utf8(3));
        if (!storedValue(row.utf8(4), e.start)) e.start = row.dateTime(4);
        if (!storedValue(row.utf8(5), e.end)) e.end = row.dateTime(5);
        e.duration = row.integer(6);
        // Most entries have no comment.
        const QByteArrayView comment = row.utf8(7);
        e.comment = comment.isNull() ? QString() : QString::fromUtf8(comment);
        each(e);
    });
}

void forEachEntry(db::Connection& connection, const EntryFilter& filter,
                  const std::function<void(const Entry&)>& each) {
    EntryCursor(connection, filter).read(-1, each);
}

}  // namespace tavix

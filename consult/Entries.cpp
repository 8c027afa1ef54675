#include "consult/Entries.h"

#include <QStringList>

#include "data/engine/BoundSelect.h"
#include "platform/Regional.h"

namespace tavix {

namespace {
const QString kAll = QStringLiteral("Tous");
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
    // Only the conditions the filter needs, so that SQLite searches the
    // index on DEBUT for a period rather than scanning it all; the values
    // are still bound. rowid: every layout of the table has it, older ones
    // without ID too.
    QStringList conditions;
    QVariantList values;
    if (!filter.all) {
        if (filter.client != kAll) {
            conditions << QStringLiteral("CLIENTS = ?");
            values << filter.client;
        }
        if (filter.activity != kAll) {
            conditions << QStringLiteral("SURVEILLANCES = ?");
            values << filter.activity;
        }
        conditions << QStringLiteral("DEBUT >= ? AND FIN <= ?");
        values << QVariant::fromValue(DateTime(filter.from, QTime(0, 0)))
               << QVariant::fromValue(DateTime(filter.to.addDays(1), QTime(0, 0)));
    }
    QString sql = QStringLiteral(
        "SELECT rowid, \"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE "
        "FROM activites");
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY DEBUT, rowid");
    cursor_ = std::make_unique<db::BoundCursor>(connection, sql, values);
}

EntryCursor::~EntryCursor() = default;

QString EntryCursor::Names::get(QByteArrayView utf8) {
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
        e.start = row.dateTime(4);
        e.end = row.dateTime(5);
        e.duration = row.integer(6);
        e.comment = row.text(7);
        each(e);
    });
}

void forEachEntry(db::Connection& connection, const EntryFilter& filter,
                  const std::function<void(const Entry&)>& each) {
    EntryCursor(connection, filter).read(-1, each);
}

}  // namespace tavix

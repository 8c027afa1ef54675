#include "data/engine/TableDataset.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "data/engine/Collation.h"
#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/FilterExpression.h"
#include "data/engine/Values.h"
#include "platform/Error.h"

namespace tavix::db {

namespace {

using Values = QVector<QVariant>;

// Marks the row of an insert not yet posted.
constexpr qint64 kUnposted = std::numeric_limits<qint64>::min();

// Rows read lately; a view asks for the same rows again and again.
constexpr size_t kCacheSlots = 1024;

struct CacheSlot {
    qint64 rowid = kUnposted;
    Values values;
};

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    if (a.metaType() != b.metaType()) return false;
    if (a.metaType() == QMetaType::fromType<DateTime>())
        return a.value<DateTime>() == b.value<DateTime>();
    return a == b;
}

}  // namespace

class TableDataset::Impl final : public detail::ConnectionClient {
public:
    Impl(TableDataset* owner, Connection& c, const QString& tableName, const QStringList& exposed)
        : q(owner), connection(&c), table(tableName), exposedRequest(exposed) {
        detail::implOf(c).attach(this);
    }
    ~Impl() {
        if (connection) detail::implOf(*connection).detach(this);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void connectionClosing() override { q->close(); }
    void connectionDestroyed() override { connection = nullptr; }

    void checkActive() const {
        if (state == State::Inactive)
            throw EngineError(
                QStringLiteral("%1 : opération impossible sur un ensemble de données fermé")
                    .arg(table));
    }

    int fieldIndex(const QString& name) const {
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
        return -1;
    }

    int requireField(const QString& name) const {
        checkActive();
        const int i = fieldIndex(name);
        if (i < 0)
            throw EngineError(QStringLiteral("%1 : champ '%2' introuvable").arg(table, name));
        return i;
    }

    std::optional<FieldDef> tableColumn(const QString& name) const {
        for (const auto& c : columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return c;
        return std::nullopt;
    }

    void loadColumns() {
        if (!connection) throw notOpen(table);
        auto opened = detail::backendOf(*connection, table).openTable(table);
        QList<FieldDef> all = opened->columns();
        QList<FieldDef> chosen;
        if (exposedRequest.isEmpty()) {
            chosen = all;
        } else {
            for (const QString& name : exposedRequest) {
                bool found = false;
                for (const auto& c : all) {
                    if (c.name.compare(name, Qt::CaseInsensitive) == 0) {
                        chosen.append(c);
                        found = true;
                        break;
                    }
                }
                if (!found)
                    throw EngineError(
                        QStringLiteral("%1 : champ '%2' introuvable").arg(table, name));
            }
        }
        opened->setFields(chosen);
        store = std::move(opened);
        columns = std::move(all);
        fields = std::move(chosen);
    }

    // "COLUMN ASC|DESC[, ...]" as an ORDER BY list.
    QString orderBy(const QString& text) const {
        if (text.trimmed().isEmpty()) return {};
        QStringList parts;
        for (const QString& part : text.split(u',')) {
            QStringList words = part.simplified().split(u' ', Qt::SkipEmptyParts);
            QString direction = QStringLiteral("ASC");
            if (words.size() >= 2 &&
                (words.last().compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0 ||
                 words.last().compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0))
                direction = words.takeLast().toUpper();
            QString name = words.join(u' ');
            if (name.startsWith(u'[') && name.endsWith(u']')) name = name.mid(1, name.size() - 2);
            const auto column = tableColumn(name);
            if (name.isEmpty() || !column)
                throw EngineError(QStringLiteral("%1 : tri incorrect « %2 »").arg(table, text));
            // Text columns hold names: they sort as a dictionary does.
            const bool names = column->type == FieldType::Text || column->type == FieldType::Other;
            parts.append((names ? collated(detail::quoteName(column->name))
                                : detail::quoteName(column->name)) +
                         u' ' + direction);
        }
        return parts.join(QStringLiteral(", "));
    }

    // The ids of the rows the filter keeps, in the sort's order; the values
    // stay in the table until a view asks for them.
    std::vector<qint64> readIds(const QString& filterText, bool filterOn, const QString& sortText) {
        detail::FilterSql where;
        if (filterOn && !filterText.trimmed().isEmpty())
            where = detail::compileFilter(
                filterText, [this](const QString& name) { return tableColumn(name); });
        return store->keys(where, orderBy(sortText));
    }

    // Where a trip to the table costs more than a row, a view asking for
    // one row soon asks for its neighbours: they come in the same trip.
    void prefetch(int row) const {
        const int page = store->rowsPerTrip();
        if (page < 2) return;
        std::vector<qint64> keys;
        for (int r = row; r < count() && static_cast<int>(keys.size()) < page; ++r) {
            const qint64 id = ids[r];
            if (id == kUnposted || slotFor(id).rowid == id) continue;
            keys.push_back(id);
        }
        if (keys.size() < 2) return;
        for (auto& [id, values] : store->fetchMany(keys)) remember(id, std::move(values));
    }

    // One row's values as the table holds them; nullopt when it is gone.
    std::optional<Values> fetch(qint64 rowid) const { return store->fetch(rowid); }

    CacheSlot& slotFor(qint64 rowid) const {
        return cache[static_cast<quint64>(rowid) * 0x9E3779B97F4A7C15ull >> 54 & (kCacheSlots - 1)];
    }

    void remember(qint64 rowid, Values values) const {
        CacheSlot& slot = slotFor(rowid);
        slot.rowid = rowid;
        slot.values = std::move(values);
    }

    void forget(qint64 rowid) const {
        CacheSlot& slot = slotFor(rowid);
        if (slot.rowid == rowid) slot = {};
    }

    void forgetAll() const {
        cache.assign(kCacheSlots, CacheSlot{});
        if (store) store->release();
    }

    // Values of a row of the dataset: the edited ones for the row being
    // edited; a row removed by someone else reads as empty.
    const Values& rowValues(int row) const {
        if (row == current && (state == State::Edit || state == State::Insert)) return editing;
        const qint64 rowid = ids[row];
        CacheSlot& slot = slotFor(rowid);
        if (slot.rowid != rowid) prefetch(row);
        if (slot.rowid != rowid) {
            auto values = fetch(rowid);
            slot.rowid = rowid;
            slot.values = values ? std::move(*values) : Values(fields.size());
        }
        return slot.values;
    }

    Values reread(qint64 rowid) {
        auto values = fetch(rowid);
        if (!values)
            throw EngineError(QStringLiteral("%1 : enregistrement introuvable").arg(table));
        return std::move(*values);
    }

    // Reads the rows again, staying on the same record where it remains.
    void reload(const QString& filterText, bool filterOn, const QString& sortText) {
        auto fresh = readIds(filterText, filterOn, sortText);
        const qint64 keep = current >= 0 ? ids[current] : kUnposted;
        ids = std::move(fresh);
        forgetAll();
        int found = -1;
        if (keep != kUnposted) {
            const auto it = std::find(ids.begin(), ids.end(), keep);
            if (it != ids.end()) found = static_cast<int>(it - ids.begin());
        }
        if (found < 0) found = ids.empty() ? -1 : std::min(std::max(current, 0), count() - 1);
        current = found;
        bof = current <= 0;
        eof = ids.empty();
        emit q->rowsReset();
        emit q->currentChanged(current);
    }

    void setState(State s) {
        if (state == s) return;
        state = s;
        emit q->stateChanged(s);
    }

    void checkBrowseMode() {
        if (state == State::Edit || state == State::Insert) {
            if (modified)
                q->post();
            else
                q->cancel();
        }
    }

    void moveTo(int row, bool atBof, bool atEof) {
        const bool moved = row != current;
        current = row;
        bof = atBof;
        eof = atEof;
        if (moved) emit q->currentChanged(current);
    }

    int count() const { return static_cast<int>(ids.size()); }

    TableDataset* q;
    Connection* connection;
    QString table;
    QStringList exposedRequest;
    std::unique_ptr<detail::TableStore> store;  // while open
    QList<FieldDef> columns;
    QList<FieldDef> fields;
    QString filter;
    bool filtered = false;
    QString sort;
    std::vector<qint64> ids;  // rowid of each row; kUnposted for a new row
    mutable std::vector<CacheSlot> cache = std::vector<CacheSlot>(kCacheSlots);
    int current = -1;
    bool bof = true;
    bool eof = true;
    State state = State::Inactive;
    Values saved;    // the row as it was before Edit
    Values editing;  // the current row's values during Edit/Insert
    bool modified = false;
    std::function<void()> beforePost;
};

TableDataset::TableDataset(Connection& connection, const QString& tableName,
                           const QStringList& exposedFields, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(this, connection, tableName, exposedFields)) {}

// No signals while going away: views may already be gone.
TableDataset::~TableDataset() = default;

QString TableDataset::tableName() const { return impl_->table; }

void TableDataset::open() {
    if (impl_->state != State::Inactive) return;
    impl_->loadColumns();
    try {
        impl_->ids = impl_->readIds(impl_->filter, impl_->filtered, impl_->sort);
    } catch (...) {
        impl_->fields.clear();
        impl_->columns.clear();
        impl_->store.reset();
        throw;
    }
    impl_->forgetAll();
    impl_->current = impl_->ids.empty() ? -1 : 0;
    impl_->bof = true;
    impl_->eof = impl_->ids.empty();
    impl_->modified = false;
    impl_->state = State::Browse;
    emit activeChanged(true);
    emit stateChanged(State::Browse);
    emit rowsReset();
    emit currentChanged(impl_->current);
}

void TableDataset::close() {
    if (impl_->state == State::Inactive) return;
    // A pending edit is dropped, as on any close; the sort lasts only while open.
    impl_->ids = {};
    impl_->forgetAll();
    impl_->fields.clear();
    impl_->columns.clear();
    impl_->store.reset();
    impl_->saved = {};
    impl_->editing = {};
    impl_->modified = false;
    impl_->sort.clear();
    impl_->current = -1;
    impl_->bof = impl_->eof = true;
    impl_->state = State::Inactive;
    emit stateChanged(State::Inactive);
    emit rowsReset();
    emit currentChanged(-1);
    emit activeChanged(false);
}

bool TableDataset::active() const { return impl_->state != State::Inactive; }

TableDataset::State TableDataset::state() const { return impl_->state; }

QList<FieldDef> TableDataset::fields() const { return impl_->fields; }

int TableDataset::fieldIndex(const QString& field) const { return impl_->fieldIndex(field); }

void TableDataset::setFilter(const QString& filter) {
    if (filter == impl_->filter) return;
    if (active() && impl_->filtered) {
        impl_->checkBrowseMode();
        impl_->reload(filter, true, impl_->sort);
    }
    impl_->filter = filter;
}

QString TableDataset::filter() const { return impl_->filter; }

void TableDataset::setFiltered(bool on) {
    if (on == impl_->filtered) return;
    if (active()) {
        impl_->checkBrowseMode();
        impl_->reload(impl_->filter, on, impl_->sort);
    }
    impl_->filtered = on;
}

bool TableDataset::filtered() const { return impl_->filtered; }

void TableDataset::setSort(const QString& sort) {
    impl_->checkActive();
    impl_->orderBy(sort);  // refuses a bad sort before anything moves
    impl_->checkBrowseMode();
    impl_->reload(impl_->filter, impl_->filtered, sort);
    impl_->sort = sort;
}

QString TableDataset::sort() const { return impl_->sort; }

void TableDataset::refresh() {
    impl_->checkActive();
    impl_->checkBrowseMode();
    impl_->reload(impl_->filter, impl_->filtered, impl_->sort);
}

int TableDataset::recordCount() const { return impl_->count(); }

int TableDataset::recNo() const { return impl_->current; }

void TableDataset::setRecNo(int row) {
    impl_->checkActive();
    if (row < 0 || row >= impl_->count())
        throw EngineError(
            QStringLiteral("%1 : enregistrement %2 hors limites").arg(impl_->table).arg(row));
    if (row == impl_->current) return;
    impl_->checkBrowseMode();
    impl_->moveTo(row, false, false);
}

bool TableDataset::eof() const { return impl_->eof; }

bool TableDataset::bof() const { return impl_->bof; }

void TableDataset::first() {
    impl_->checkActive();
    impl_->checkBrowseMode();
    impl_->moveTo(impl_->ids.empty() ? -1 : 0, true, impl_->ids.empty());
}

void TableDataset::last() {
    impl_->checkActive();
    impl_->checkBrowseMode();
    impl_->moveTo(impl_->count() - 1, impl_->ids.empty(), true);
}

void TableDataset::next() {
    impl_->checkActive();
    impl_->checkBrowseMode();
    if (impl_->current + 1 < impl_->count())
        impl_->moveTo(impl_->current + 1, false, false);
    else
        impl_->eof = true;
}

void TableDataset::prior() {
    impl_->checkActive();
    impl_->checkBrowseMode();
    if (impl_->current > 0)
        impl_->moveTo(impl_->current - 1, false, false);
    else
        impl_->bof = true;
}

QVariant TableDataset::value(const QString& field) const {
    const int i = impl_->requireField(field);
    if (impl_->current < 0) return {};
    return impl_->rowValues(impl_->current)[i];
}

QString TableDataset::asString(const QString& field) const {
    return detail::cellText(value(field));
}

int TableDataset::asInteger(const QString& field) const {
    return detail::cellInteger(value(field));
}

DateTime TableDataset::asDateTime(const QString& field) const {
    return detail::cellDateTime(value(field));
}

void TableDataset::edit() {
    impl_->checkActive();
    if (impl_->state == State::Edit || impl_->state == State::Insert) return;
    if (impl_->ids.empty()) {
        insert();
        return;
    }
    impl_->saved = impl_->rowValues(impl_->current);
    impl_->editing = impl_->saved;
    impl_->modified = false;
    impl_->setState(State::Edit);
}

void TableDataset::insert() { insertRowAt(std::max(impl_->current, 0)); }

void TableDataset::append() { insertRowAt(impl_->count()); }

void TableDataset::insertRowAt(int pos) {
    impl_->checkActive();
    impl_->checkBrowseMode();
    impl_->ids.insert(impl_->ids.begin() + pos, kUnposted);
    impl_->editing = Values(impl_->fields.size());
    impl_->modified = false;
    impl_->current = pos;
    impl_->bof = impl_->eof = false;
    emit rowInserted(pos);
    impl_->setState(State::Insert);
    emit currentChanged(pos);
}

void TableDataset::setFieldText(const QString& field, const QString& text) {
    const int i = impl_->requireField(field);
    const FieldDef& def = impl_->fields[i];
    if (def.readOnly)
        throw EngineError(QStringLiteral("Le champ '%1' ne peut pas être modifié").arg(def.name));
    QVariant v;
    if (!text.isEmpty()) {
        bool ok = true;
        switch (def.type) {
            case FieldType::Integer:
            case FieldType::AutoIncrement:
                v = qlonglong(text.trimmed().toInt(&ok, 10));
                if (!ok)
                    throw ConvertError(
                        QStringLiteral(
                            "'%1' n'est pas une valeur entière correcte pour le champ '%2'")
                            .arg(text, def.name));
                break;
            case FieldType::DateTime: {
                const auto d = detail::parseDateTimeText(text);
                if (!d)
                    throw ConvertError(
                        QStringLiteral(
                            "'%1' n'est pas une date et heure correcte pour le champ '%2'")
                            .arg(text, def.name));
                v = QVariant::fromValue(d->truncatedToSeconds());
                break;
            }
            case FieldType::Float: {
                QString t = text.trimmed();
                t.replace(u',', u'.');
                v = t.toDouble(&ok);
                if (!ok)
                    throw ConvertError(
                        QStringLiteral(
                            "'%1' n'est pas une valeur numérique correcte pour le champ '%2'")
                            .arg(text, def.name));
                break;
            }
            case FieldType::Text:
            case FieldType::Other:
                v = text;
                break;
        }
    }
    if (impl_->state == State::Browse) edit();
    impl_->editing[i] = v;
    impl_->modified = true;
    emit rowChanged(impl_->current);
}

void TableDataset::setBeforePost(std::function<void()> hook) {
    impl_->beforePost = std::move(hook);
}

void TableDataset::post() {
    impl_->checkActive();
    auto& d = *impl_;
    if (d.state == State::Browse) return;
    if (d.beforePost) d.beforePost();
    qint64& rowid = d.ids[d.current];
    const Values& row = d.editing;
    if (d.state == State::Edit) {
        if (d.modified) {
            std::vector<int> changed;
            for (int i = 0; i < d.fields.size(); ++i)
                if (!d.fields[i].readOnly && !sameValue(row[i], d.saved[i])) changed.push_back(i);
            d.store->update(rowid, changed, row, d.saved);
        }
    } else {
        std::vector<int> given;
        for (int i = 0; i < d.fields.size(); ++i)
            if (!d.fields[i].readOnly && !row[i].isNull()) given.push_back(i);
        rowid = d.store->insert(given, row);
    }
    // What the table now holds (the key of a new row, stored forms).
    d.remember(rowid, d.reread(rowid));
    d.saved = {};
    d.editing = {};
    d.modified = false;
    d.setState(State::Browse);
    emit rowChanged(d.current);
    emit posted(d.current);
}

void TableDataset::cancel() {
    auto& d = *impl_;
    if (d.state == State::Edit) {
        d.saved = {};
        d.editing = {};
        d.modified = false;
        d.setState(State::Browse);
        emit rowChanged(d.current);
    } else if (d.state == State::Insert) {
        const int pos = d.current;
        d.ids.erase(d.ids.begin() + pos);
        d.editing = {};
        d.modified = false;
        d.current = d.ids.empty() ? -1 : std::min(pos, d.count() - 1);
        d.bof = d.current <= 0;
        d.eof = d.ids.empty();
        emit rowRemoved(pos);
        d.setState(State::Browse);
        emit currentChanged(d.current);
    }
}

void TableDataset::deleteRecord() {
    impl_->checkActive();
    auto& d = *impl_;
    if (d.state == State::Insert) {
        cancel();
        return;
    }
    if (d.ids.empty())
        throw EngineError(QStringLiteral("%1 : aucun enregistrement à supprimer").arg(d.table));
    if (d.state == State::Edit) cancel();
    d.store->remove(d.ids[d.current]);
    const int pos = d.current;
    d.forget(d.ids[pos]);
    d.ids.erase(d.ids.begin() + pos);
    d.current = d.ids.empty() ? -1 : std::min(pos, d.count() - 1);
    d.eof = d.ids.empty();
    d.bof = d.current <= 0;
    emit rowRemoved(pos);
    emit currentChanged(d.current);
}

bool TableDataset::modified() const {
    return (impl_->state == State::Edit || impl_->state == State::Insert) && impl_->modified;
}

QVariant TableDataset::valueAt(int row, int column) const {
    if (row < 0 || row >= impl_->count() || column < 0 || column >= impl_->fields.size()) return {};
    try {
        return impl_->rowValues(row)[column];
    } catch (const Error&) {
        return {};  // views ask from paint events; the next action reports the fault
    }
}

QString TableDataset::rowNote(int row) const {
    if (!impl_->store || row < 0 || row >= impl_->count() || impl_->ids[row] == kUnposted)
        return {};
    try {
        return impl_->store->rowNote(impl_->ids[row]);
    } catch (const Error&) {
        return {};  // a hint, never worth an error of its own
    }
}

QString TableDataset::textAt(int row, int column) const {
    return detail::cellText(valueAt(row, column));
}

}  // namespace tavix::db

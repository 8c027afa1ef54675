#include "data/engine/Query.h"

#include <QHash>

#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"

namespace tavix::db {

class Query::Impl final : public detail::ConnectionClient {
public:
    explicit Impl(Connection& c) : connection(&c) { detail::implOf(c).attach(this); }
    ~Impl() {
        close();
        if (connection) detail::implOf(*connection).detach(this);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void connectionClosing() override { close(); }
    void connectionDestroyed() override {
        close();
        connection = nullptr;
    }

    detail::Backend& backend(const QString& statement) const {
        if (!connection) throw notOpen(statement);
        return detail::backendOf(*connection, statement);
    }

    void close() {
        cursor.reset();
        active = false;
        eof = bof = true;
        fields.clear();
        lookup.clear();
    }

    void step() {
        if (!cursor->next()) eof = true;
    }

    // The current row's column of that name; throws when there is none.
    int column(const QString& name) const {
        checkRow();
        if (const auto it = lookup.constFind(name); it != lookup.constEnd()) return *it;
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                lookup.insert(name, i);
                return i;
            }
        }
        throw EngineError(QStringLiteral("Champ '%1' introuvable").arg(name), text());
    }

    void checkRow() const {
        if (!active) throw EngineError(QStringLiteral("La requête est fermée"), text());
        if (eof) throw EngineError(QStringLiteral("Aucun enregistrement courant"), text());
    }

    QString text() const { return lines.join(u'\n'); }

    Connection* connection;
    QStringList lines;
    std::unique_ptr<detail::Cursor> cursor;
    bool active = false;
    bool eof = true;
    bool bof = true;
    QList<FieldDef> fields;
    mutable QHash<QString, int> lookup;
};

Query::Query(Connection& connection) : impl_(std::make_unique<Impl>(connection)) {}

Query::~Query() = default;

void Query::clear() {
    impl_->close();
    impl_->lines.clear();
}

void Query::add(const QString& line) {
    impl_->close();
    impl_->lines.append(line);
}

QString Query::text() const { return impl_->text(); }

void Query::execute() {
    impl_->close();
    const QString sql = impl_->text();
    impl_->backend(sql).execute(sql);
}

void Query::open() {
    impl_->close();
    const QString sql = impl_->text();
    impl_->cursor = impl_->backend(sql).open(sql);
    impl_->fields = impl_->cursor->fields();
    impl_->active = true;
    impl_->bof = true;
    impl_->eof = false;
    try {
        impl_->step();
    } catch (...) {
        impl_->close();
        throw;
    }
}

void Query::close() { impl_->close(); }

bool Query::active() const { return impl_->active; }

bool Query::eof() const { return impl_->eof; }

bool Query::bof() const { return impl_->bof; }

void Query::next() {
    if (!impl_->active) throw EngineError(QStringLiteral("La requête est fermée"), text());
    if (impl_->eof) return;
    impl_->bof = false;
    try {
        impl_->step();
    } catch (...) {
        impl_->close();
        throw;
    }
}

QString Query::asString(const QString& field) const {
    return impl_->cursor->text(impl_->column(field));
}

int Query::asInteger(const QString& field) const {
    return impl_->cursor->asInteger(impl_->column(field));
}

DateTime Query::asDateTime(const QString& field) const {
    return impl_->cursor->asDateTime(impl_->column(field));
}

bool Query::isNull(const QString& field) const {
    return impl_->cursor->isNull(impl_->column(field));
}

QList<FieldDef> Query::fields() const { return impl_->fields; }

Query::Cell Query::cell(int column) const {
    impl_->checkRow();
    if (column < 0 || column >= static_cast<int>(impl_->fields.size()))
        throw EngineError(QStringLiteral("Colonne %1 introuvable").arg(column), text());
    return impl_->cursor->cell(column);
}

int Query::fieldIndex(const QString& name) const {
    for (int i = 0; i < static_cast<int>(impl_->fields.size()); ++i)
        if (impl_->fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    throw EngineError(QStringLiteral("Champ '%1' introuvable").arg(name), text());
}

}  // namespace tavix::db

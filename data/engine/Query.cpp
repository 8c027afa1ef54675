#include "data/engine/Query.h"

#include <QHash>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/Statement.h"
#include "data/engine/Values.h"
#include "data/engine/pg/PgDialect.h"
#include "platform/Error.h"

namespace tavix::db {

using detail::Statement;

class Query::Impl final : public detail::ConnectionClient {
public:
    explicit Impl(Connection& c) : connection(&c) { c.impl().attach(this); }
    ~Impl() {
        close();
        if (connection) connection->impl().detach(this);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void connectionClosing() override { close(); }
    void connectionDestroyed() override {
        close();
        connection = nullptr;
    }

    sqlite3* db(const QString& statement) const {
        sqlite3* h = connection ? connection->handle() : nullptr;
        if (!h) throw notOpen(statement);
        return h;
    }

    void close() {
        stmt.finalize();
        pgRows = pg::Result();
        pgRow = 0;
        active = false;
        eof = bof = true;
        fields.clear();
        lookup.clear();
    }

    pg::Session* server() const { return connection ? connection->impl().pg.get() : nullptr; }

    void step() {
        if (pgRows) {
            if (++pgRow >= pgRows.rows()) eof = true;
            return;
        }
        if (!stmt.step()) {
            eof = true;
            // Done: let go of the read lock now rather than at close.
            stmt.reset();
        }
    }

    int column(const QString& name) const {
        if (!active) throw EngineError(QStringLiteral("La requête est fermée"), text());
        if (eof) throw EngineError(QStringLiteral("Aucun enregistrement courant"), text());
        if (const auto it = lookup.constFind(name); it != lookup.constEnd()) return *it;
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                lookup.insert(name, i);
                return i;
            }
        }
        throw EngineError(QStringLiteral("Champ '%1' introuvable").arg(name), text());
    }

    QString text() const { return lines.join(u'\n'); }

    Connection* connection;
    QStringList lines;
    Statement stmt;
    pg::Result pgRows;  // on a server: the whole result, read at once
    int pgRow = 0;
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
    if (pg::Session* server = impl_->server()) {
        const pg::Translated t = pg::translate(*server, sql);
        server->exec(t.sql, t.params, sql);
        if (pg::changesLayout(sql)) server->invalidate();
        return;
    }
    if (impl_->connection) impl_->connection->reopenIfReadOnly();
    sqlite3* db = impl_->db(sql);
    Statement(db, detail::translate(db, sql), sql).runToEnd();
}

void Query::open() {
    impl_->close();
    const QString sql = impl_->text();
    if (pg::Session* server = impl_->server()) {
        if (!pg::returnsRows(sql))
            throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
        const pg::Translated t = pg::translate(*server, sql);
        pg::Result rows = server->exec(t.sql, t.params, sql);
        if (rows.columns() == 0)
            throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
        impl_->fields = rows.fields();
        impl_->pgRows = std::move(rows);
        impl_->pgRow = 0;
        impl_->active = true;
        impl_->bof = true;
        impl_->eof = impl_->pgRows.rows() == 0;
        return;
    }
    sqlite3* db = impl_->db(sql);
    Statement stmt(db, detail::translate(db, sql), sql);
    const int count = sqlite3_column_count(stmt.get());
    if (count == 0)
        throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
    QList<FieldDef> fields;
    for (int i = 0; i < count; ++i) {
        const char* decl = sqlite3_column_decltype(stmt.get(), i);
        fields.append(detail::fieldFor(QString::fromUtf8(sqlite3_column_name(stmt.get(), i)),
                                       decl ? QString::fromUtf8(decl) : QStringLiteral("?")));
    }
    impl_->stmt = std::move(stmt);
    impl_->fields = std::move(fields);
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
    const int i = impl_->column(field);
    if (const pg::Result& r = impl_->pgRows) {
        if (r.isNull(impl_->pgRow, i)) return {};
        if (impl_->fields[i].type == FieldType::DateTime)
            return detail::storedDateTimeText(r.raw(impl_->pgRow, i), r.length(impl_->pgRow, i));
        return r.text(impl_->pgRow, i);
    }
    sqlite3_stmt* s = impl_->stmt.get();
    switch (sqlite3_column_type(s, i)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_TEXT:
            if (impl_->fields[i].type == FieldType::DateTime) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
                const int n = sqlite3_column_bytes(s, i);
                return detail::storedDateTimeText(p, n);
            }
            return impl_->stmt.text(i);
        default:
            return detail::cellText(detail::readCell(s, i, impl_->fields[i].type));
    }
}

int Query::asInteger(const QString& field) const {
    const int i = impl_->column(field);
    if (const pg::Result& r = impl_->pgRows)
        return detail::cellInteger(r.cell(impl_->pgRow, i, impl_->fields[i].type));
    sqlite3_stmt* s = impl_->stmt.get();
    if (sqlite3_column_type(s, i) == SQLITE_INTEGER) {
        const qint64 v = sqlite3_column_int64(s, i);
        if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
            return static_cast<int>(v);
    }
    return detail::cellInteger(detail::readCell(s, i, impl_->fields[i].type));
}

DateTime Query::asDateTime(const QString& field) const {
    const int i = impl_->column(field);
    if (const pg::Result& r = impl_->pgRows)
        return detail::cellDateTime(r.cell(impl_->pgRow, i, FieldType::DateTime));
    return detail::cellDateTime(detail::readCell(impl_->stmt.get(), i, FieldType::DateTime));
}

bool Query::isNull(const QString& field) const {
    const int i = impl_->column(field);
    if (const pg::Result& r = impl_->pgRows) return r.isNull(impl_->pgRow, i);
    return sqlite3_column_type(impl_->stmt.get(), i) == SQLITE_NULL;
}

QList<FieldDef> Query::fields() const { return impl_->fields; }

Query::Cell Query::cell(int column) const {
    if (!impl_->active || impl_->eof) impl_->column(QString());  // throws the usual error
    if (column < 0 || column >= static_cast<int>(impl_->fields.size()))
        throw EngineError(QStringLiteral("Colonne %1 introuvable").arg(column), text());
    Cell c;
    if (const pg::Result& r = impl_->pgRows) {
        const int row = impl_->pgRow;
        if (r.isNull(row, column)) return c;
        const char* p = r.raw(row, column);
        const int n = r.length(row, column);
        switch (impl_->fields[column].type) {
            case FieldType::Integer:
            case FieldType::AutoIncrement:
                if (const auto [end, ec] = std::from_chars(p, p + n, c.integer);
                    ec == std::errc() && end == p + n) {
                    c.kind = Cell::Integer;
                    return c;
                }
                break;
            case FieldType::Float:
                c.kind = Cell::Float;
                return c;
            default:
                break;
        }
        c.kind = Cell::Text;
        c.text = QByteArrayView(p, n);
        return c;
    }
    sqlite3_stmt* s = impl_->stmt.get();
    switch (sqlite3_column_type(s, column)) {
        case SQLITE_INTEGER:
            c.kind = Cell::Integer;
            c.integer = sqlite3_column_int64(s, column);
            break;
        case SQLITE_FLOAT:
            c.kind = Cell::Float;
            break;
        case SQLITE_TEXT:
            c.kind = Cell::Text;
            c.text = QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                    sqlite3_column_bytes(s, column));
            break;
        case SQLITE_BLOB:
            c.kind = Cell::Blob;
            break;
        default:
            break;
    }
    return c;
}

int Query::fieldIndex(const QString& name) const {
    for (int i = 0; i < static_cast<int>(impl_->fields.size()); ++i)
        if (impl_->fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    throw EngineError(QStringLiteral("Champ '%1' introuvable").arg(name), text());
}

}  // namespace tavix::db

#include "data/engine/pg/PgBackend.h"

#include <QTimeZone>
#include <algorithm>
#include <charconv>

#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"
#include "data/engine/pg/PgBackup.h"
#include "data/engine/pg/PgDialect.h"

namespace tavix::db::pg {

namespace {

Query::Cell cellOf(const Result& r, int row, int column, FieldType type) {
    Query::Cell c;
    if (r.isNull(row, column)) return c;
    const char* p = r.raw(row, column);
    const int n = r.length(row, column);
    switch (type) {
        case FieldType::Integer:
        case FieldType::AutoIncrement:
            if (const auto [end, ec] = std::from_chars(p, p + n, c.integer);
                ec == std::errc() && end == p + n) {
                c.kind = Query::Cell::Integer;
                return c;
            }
            break;
        case FieldType::Float:
            c.kind = Query::Cell::Float;
            return c;
        default:
            break;
    }
    c.kind = Query::Cell::Text;
    c.text = QByteArrayView(p, n);
    return c;
}

// The rows of one result, one at a time.
class RowsCursor : public detail::Cursor {
public:
    bool isNull(int column) const override { return r_.isNull(row_, column); }
    Query::Cell cell(int column) const override {
        return cellOf(r_, row_, column, fields_[column].type);
    }
    QByteArrayView utf8(int column) const override {
        return r_.isNull(row_, column)
                   ? QByteArrayView()
                   : QByteArrayView(r_.raw(row_, column), r_.length(row_, column));
    }
    qint64 integer(int column) const override {
        if (r_.isNull(row_, column)) return 0;
        qint64 v = 0;
        const char* p = r_.raw(row_, column);
        std::from_chars(p, p + r_.length(row_, column), v);
        return v;
    }
    QVariant value(int column, FieldType type) const override {
        return r_.cell(row_, column, type);
    }

protected:
    Result r_;
    int row_ = -1;
};

// The rows of one result read whole.
class ResultCursor final : public RowsCursor {
public:
    explicit ResultCursor(Result r) {
        r_ = std::move(r);
        fields_ = r_.fields();
    }
    bool next() override {
        if (!r_) return false;
        if (++row_ < r_.rows()) return true;
        r_ = Result();
        return false;
    }
};

}  // namespace

// The connection of the last long read, kept for the next one. Shared with
// the cursors: one may outlive the back end.
class SpareSession {
public:
    std::unique_ptr<Session> take() { return std::move(session_); }
    void give(std::unique_ptr<Session> session) { session_ = std::move(session); }

private:
    std::unique_ptr<Session> session_;
};

namespace {

// A long read in slices: a cursor of the server's own, fetched a slice at a
// time on a connection of its own, so the first rows come at once, memory
// holds two slices, and the main session stays free for other statements.
// The next slice is asked for as soon as one arrives: the server makes it
// while this side reads the one in hand. Declared as a cursor, the server
// plans for the first rows rather than for the whole.
class StreamCursor final : public RowsCursor {
public:
    StreamCursor(std::shared_ptr<SpareSession> spare, const QString& conninfo,
                 const RawTranslated& t, const Params& params, const QString& original)
        : spare_(std::move(spare)), original_(original) {
        // Read-only: the cursor reads one snapshot, and nothing is left half done.
        session_ = spare_->take();
        try {
            if (session_) session_->command("BEGIN READ ONLY");
        } catch (const Error&) {
            // The kept connection died with a server restart: a new one.
            session_.reset();
        }
        if (!session_) {
            session_ = std::make_unique<Session>(conninfo);
            session_->command("BEGIN READ ONLY");
        }
        // Compiling the plan would hold the first lines back; and a plan for
        // the first rows, as lines are shown as they come.
        session_->command("SET LOCAL jit = off");
        session_->command("SET LOCAL cursor_tuple_fraction = 0.001");
        session_->exec("DECLARE tavix_lecture NO SCROLL CURSOR FOR " + t.sql, params, original,
                       t.types);
        ask();
        receive();
        fields_ = r_.fields();
    }
    ~StreamCursor() override { close(); }
    bool next() override {
        if (!r_) return false;
        if (++row_ < r_.rows()) return true;
        if (asked_) {
            receive();
            if (++row_ < r_.rows()) return true;
        }
        r_ = Result();
        close();
        return false;
    }

private:
    // Small at first, for the first lines; then larger, for fewer trips.
    static constexpr int kFirstSlice = 64;
    static constexpr int kLargestSlice = 2048;

    // The server lets go of the cursor and its snapshot at once, stopped
    // early or not, before the connection ends.
    void close() noexcept {
        if (!session_) return;
        try {
            if (asked_) session_->take(original_);
            session_->command("ROLLBACK");
            // Kept for the next long read: no new connection to wait for.
            spare_->give(std::move(session_));
        } catch (const Error&) {
            // The connection went away: nothing is held.
        }
        session_.reset();
    }

    void ask() {
        session_->send("FETCH FORWARD " + QByteArray::number(slice_) + " FROM tavix_lecture",
                       original_);
        asked_ = slice_;
    }

    // The slice asked for; a full one means more may follow: asked for at once.
    void receive() {
        r_ = Result();
        row_ = -1;
        const int wanted = std::exchange(asked_, 0);
        r_ = session_->take(original_);
        if (r_.rows() == wanted) {
            slice_ = std::min(slice_ * 2, kLargestSlice);
            ask();
        }
    }

    std::shared_ptr<SpareSession> spare_;
    std::unique_ptr<Session> session_;
    QString original_;
    int slice_ = kFirstSlice;
    int asked_ = 0;  // rows of the slice on its way; 0: none asked
};

}  // namespace

Session* sessionOf(const Connection& connection) {
    auto* server = dynamic_cast<PgBackend*>(detail::implOf(connection).backend.get());
    return server ? &server->session() : nullptr;
}

PgBackend::PgBackend(const QString& conninfo)
    : conninfo_(conninfo),
      session_(std::make_unique<Session>(conninfo)),
      spare_(std::make_shared<SpareSession>()) {
    session_->createLayoutIfEmpty();
}

PgBackend::~PgBackend() = default;

void PgBackend::execute(const QString& sql) {
    const Translated t = translate(*session_, sql);
    session_->exec(t.sql, t.params, sql);
    if (changesLayout(sql)) session_->invalidate();
}

std::unique_ptr<detail::Cursor> PgBackend::open(const QString& sql) {
    if (!returnsRows(sql))
        throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
    const Translated t = translate(*session_, sql);
    Result rows = session_->exec(t.sql, t.params, sql);
    if (rows.columns() == 0)
        throw EngineError(QStringLiteral("L'instruction ne renvoie pas de lignes"), sql);
    return std::make_unique<ResultCursor>(std::move(rows));
}

std::unique_ptr<detail::Cursor> PgBackend::openBound(const QString& sql, const QVariantList& values,
                                                     bool streaming) {
    Params params;
    for (const QVariant& v : values) params.push_back(paramOf(v));
    const RawTranslated t = translateRaw(*session_, sql);
    // Another connection would not see this transaction's own changes.
    if (streaming && !session_->inTransaction())
        return std::make_unique<StreamCursor>(spare_, conninfo_, t, params, sql);
    return std::make_unique<ResultCursor>(session_->exec(t.sql, params, sql, t.types));
}

QList<FieldDef> PgBackend::tableFields(const QString& table) {
    QList<FieldDef> fields;
    if (const Table* t = session_->table(table))
        for (const auto& c : t->columns) fields.append(c.field);
    if (fields.isEmpty()) throw EngineError(QStringLiteral("Table '%1' introuvable").arg(table));
    return fields;
}

void PgBackend::begin() { session_->command("BEGIN"); }

void PgBackend::commit() {
    if (session_->transactionFailed()) {
        session_->command("ROLLBACK");
        session_->invalidate();
        throw EngineError(QStringLiteral("La transaction a été annulée"));
    }
    try {
        session_->command("COMMIT");
    } catch (...) {
        session_->invalidate();
        throw;
    }
}

void PgBackend::rollback() noexcept {
    try {
        if (session_->inTransaction()) session_->command("ROLLBACK");
    } catch (const Error&) {
        // The connection went away: the server has undone it already.
    }
    session_->invalidate();
}

std::optional<QDateTime> PgBackend::serverTime() {
    const Result r = session_->exec("SELECT (extract(epoch FROM clock_timestamp()) * 1000)::bigint",
                                    {}, QStringLiteral("horloge"));
    if (r.rows() != 1) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(r.text(0, 0).toLongLong(), QTimeZone::utc());
}

void PgBackend::copyTo(const QString& target) { copyToFile(*session_, target); }

void PgBackend::purge(const QString& table, const QString& target) {
    purgeToFile(*session_, table, target);
}

}  // namespace tavix::db::pg

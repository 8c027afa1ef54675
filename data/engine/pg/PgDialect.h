#pragma once

#include "data/engine/Internal.h"

#include <QByteArray>
#include <QString>

#include "data/engine/pg/PgSession.h"

namespace tavix::db::pg {

struct Translated {
    QByteArray sql;
    Params params;
};

// The tables and columns a translation looks names up in: a session's, or
// one given in memory (the translation checked without a server).
class Catalog {
public:
    virtual ~Catalog() = default;
    // Exact name first, then without regard to case, as the session does.
    virtual const Table* table(const QString& name) = 0;
    virtual const Column* findColumn(const QString& name) = 0;  // any table's
    std::optional<QString> columnName(const QString& name) {
        if (const Column* c = findColumn(name)) return c->name;
        return std::nullopt;
    }
};

class MemoryCatalog final : public Catalog {
public:
    explicit MemoryCatalog(std::vector<Table> tables) : tables_(std::move(tables)) {}
    const Table* table(const QString& name) override;
    const Column* findColumn(const QString& name) override;

private:
    std::vector<Table> tables_;
};

// Translates one statement of the dialect into PostgreSQL's:
//   "text" and 'text' -> a bound parameter $n (inline, doubled, in CREATE,
//   ALTER and DROP, which take no parameters);
//   #m/d/yyyy[ h:mm[:ss]]# -> CAST($n AS timestamp);
//   [NAME] and bare names of the database's tables and columns -> "Exact",
//   matched without regard to case as the dialect does;
//   TEXT(n) -> varchar(n), DATETIME -> timestamp; DELETE * FROM -> DELETE FROM;
//   a text stored into a date-time column (INSERT ... SELECT/VALUES, UPDATE
//   ... SET) is read in the regional form here and sent as a timestamp.
//   INSERT OR IGNORE -> ON CONFLICT DO NOTHING; INSERT OR REPLACE and
//   REPLACE INTO -> ON CONFLICT (primary key) DO UPDATE of the other columns
//   given; OR ABORT is the server's own way and is dropped.
//   comments are left out; a literal right after a word or number is set
//   apart from it.
// Refuses (EngineError) a second statement, an unterminated literal or a
// malformed date literal, like the SQLite translation; and OR FAIL, OR
// ROLLBACK, UPDATE OR ..., REPLACE on a table without primary key and a
// stray $, which have no equivalent on a server.
Translated translate(Catalog& catalog, const QString& statement);
Translated translate(Session& session, const QString& statement);

// A statement that changes tables (CREATE, ALTER, DROP): the catalog is read again after it.
bool changesLayout(const QString& statement);
// A statement that gives rows (SELECT, WITH, VALUES, TABLE); others are not run by open().
bool returnsRows(const QString& statement);

// Translates one SELECT written for SQLite itself (bound "?" or "?N" marks,
// "rowid", names without regard to case) into PostgreSQL's: marks become $N,
// names the exact ones of the catalog, rowid the table's primary key.
// Each mark takes the type of the column it is compared with, so that a
// NULL value still has one.
struct RawTranslated {
    QByteArray sql;
    std::vector<unsigned> types;  // by mark number - 1; 0 when unknown
};
RawTranslated translateRaw(Session& session, const QString& sql);

// Turns the '?' marks of an SQLite condition (filters) into $first, $first+1...
// and LIKE into a case-blind ILIKE on the column's text, as SQLite's LIKE is.
QString placeholders(const QString& condition, int first);

}  // namespace tavix::db::pg

#include "data/engine/Dialect.h"

#include <QRegularExpression>
#include <vector>

#include "data/engine/Collation.h"
#include "data/engine/EngineError.h"
#include "data/engine/SqlTokens.h"
#include "data/engine/Values.h"

namespace tavix::db::detail {

namespace {

using Kind = TokenKind;

struct Token {
    Kind kind;
    QString out;    // SQLite text
    QString ident;  // Word and Name: the identifier; Punct: the operator
};

std::vector<Token> sqliteTokens(const QString& statement) {
    std::vector<Token> tokens;
    for (SqlToken& t : tokenize(statement)) {
        switch (t.kind) {
            case Kind::String:
                tokens.push_back({Kind::String, quoteText(t.text), {}});
                break;
            case Kind::Date:
                tokens.push_back({Kind::String, quoteText(dateLiteral(t.text)->toIso()), {}});
                break;
            case Kind::Name:
                tokens.push_back({Kind::Name, quoteName(t.text), t.text});
                break;
            case Kind::Word:
            case Kind::Punct:
                tokens.push_back({t.kind, t.text, t.text});
                break;
            default:
                tokens.push_back({t.kind, std::move(t.text), {}});
        }
    }
    return tokens;
}

// Rewrites over the significant tokens of one statement.
class Rewriter {
public:
    Rewriter(sqlite3* db, std::vector<Token>& tokens, const QString& original)
        : db_(db), tokens_(tokens), sig_(significantTokens(tokens, original)) {}

    void run() {
        if (isWord(0, "DELETE") && isPunct(1, "*")) tok(1).out.clear();
        if (isWord(0, "INSERT") || isWord(0, "REPLACE")) insert();
        if (isWord(0, "UPDATE")) update();
    }

private:
    Token& tok(size_t p) { return tokens_[sig_[p]]; }
    bool has(size_t p) const { return p < sig_.size(); }
    bool isWord(size_t p, const char* word) {
        return has(p) && tok(p).kind == Kind::Word &&
               tok(p).ident.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool isAnyWord(size_t p, std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (isWord(p, w)) return true;
        return false;
    }
    bool isPunct(size_t p, const char* op) {
        return has(p) && tok(p).kind == Kind::Punct && tok(p).ident == QLatin1String(op);
    }
    bool isIdent(size_t p) {
        return has(p) && (tok(p).kind == Kind::Word || tok(p).kind == Kind::Name);
    }

    // Table name at p (schema.table allowed); moves p past it.
    bool tableAt(size_t& p, QString& table) {
        if (!isIdent(p)) return false;
        table = tok(p).ident;
        ++p;
        if (isPunct(p, ".") && isIdent(p + 1)) {
            table = tok(p + 1).ident;
            p += 2;
        }
        return true;
    }

    bool isDateTimeColumn(const std::vector<ColumnInfo>& columns, const QString& name) {
        for (const auto& c : columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return c.field.type == FieldType::DateTime;
        return false;
    }

    void wrap(size_t first, size_t last) {
        tok(first).out.prepend(QStringLiteral("tavix_datetime("));
        tok(last).out.append(u')');
    }

    struct Span {
        size_t end;   // position of the comma, stop word or ')' after it
        size_t last;  // last token of the value (an alias excluded)
        bool empty;
    };

    // One expression from p: up to a comma at depth 0, a closing bracket or
    // a stop word.
    Span expression(size_t p, std::initializer_list<const char*> stops) {
        int depth = 0;
        const size_t first = p;
        size_t last = p;
        bool aliased = false;
        for (; has(p); ++p) {
            if (isPunct(p, "(")) ++depth;
            if (isPunct(p, ")")) {
                if (depth == 0) break;
                --depth;
            }
            if (depth == 0 && (isPunct(p, ",") || isAnyWord(p, stops))) break;
            if (depth == 0 && isWord(p, "AS")) aliased = true;
            if (!aliased) last = p;
        }
        return {p, last, p == first};
    }

    void insert() {
        size_t p = 1;
        if (isWord(p, "OR")) p += 2;
        if (!isWord(p, "INTO")) return;
        ++p;
        QString table;
        if (!tableAt(p, table)) return;
        const auto columns = tableInfo(db_, table);
        if (columns.empty()) return;
        std::vector<QString> targets;
        if (isPunct(p, "(")) {
            ++p;
            while (isIdent(p)) {
                targets.push_back(tok(p).ident);
                ++p;
                if (!isPunct(p, ",")) break;
                ++p;
            }
            if (!isPunct(p, ")")) return;
            ++p;
        } else {
            for (const auto& c : columns) targets.push_back(c.name);
        }
        if (isWord(p, "SELECT")) {
            ++p;
            if (isWord(p, "DISTINCT") || isWord(p, "ALL")) ++p;
            const std::initializer_list<const char*> stops = {
                "FROM",  "WHERE", "GROUP",  "HAVING",    "ORDER",
                "LIMIT", "UNION", "EXCEPT", "INTERSECT", "WINDOW"};
            for (size_t index = 0; has(p); ++index) {
                const Span e = expression(p, stops);
                if (!e.empty && index < targets.size() &&
                    isDateTimeColumn(columns, targets[index]) && !(e.last == p && isPunct(p, "*")))
                    wrap(p, e.last);
                if (!isPunct(e.end, ",")) break;
                p = e.end + 1;
            }
        } else if (isWord(p, "VALUES")) {
            ++p;
            while (isPunct(p, "(")) {
                ++p;
                for (size_t index = 0; has(p); ++index) {
                    const Span e = expression(p, {});
                    if (!e.empty && index < targets.size() &&
                        isDateTimeColumn(columns, targets[index]))
                        wrap(p, e.last);
                    p = e.end + 1;
                    if (!isPunct(e.end, ",")) break;
                }
                if (!isPunct(p, ",")) break;
                ++p;
            }
        }
    }

    void update() {
        size_t p = 1;
        if (isWord(p, "OR")) p += 2;
        QString table;
        if (!tableAt(p, table) || !isWord(p, "SET")) return;
        ++p;
        const auto columns = tableInfo(db_, table);
        if (columns.empty()) return;
        const std::initializer_list<const char*> stops = {"WHERE", "FROM", "RETURNING", "ORDER",
                                                          "LIMIT"};
        while (isIdent(p) && isPunct(p + 1, "=")) {
            const QString column = tok(p).ident;
            p += 2;
            const Span e = expression(p, stops);
            if (!e.empty && isDateTimeColumn(columns, column)) wrap(p, e.last);
            if (!isPunct(e.end, ",")) break;
            p = e.end + 1;
        }
    }

    sqlite3* db_;
    std::vector<Token>& tokens_;
    std::vector<size_t> sig_;
};

void dateTimeFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            sqlite3_result_null(context);
            return;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: {
            const QByteArray iso = DateTime::fromDays(sqlite3_value_double(v)).toIso().toUtf8();
            sqlite3_result_text(context, iso.constData(), static_cast<int>(iso.size()),
                                SQLITE_TRANSIENT);
            return;
        }
        case SQLITE_TEXT: {
            const QString text = QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
            if (const auto value = parseDateTimeText(text)) {
                const QByteArray iso = value->truncatedToSeconds().toIso().toUtf8();
                sqlite3_result_text(context, iso.constData(), static_cast<int>(iso.size()),
                                    SQLITE_TRANSIENT);
                return;
            }
            const QByteArray message = notADateMessage(text).toUtf8();
            sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
            return;
        }
        default:
            sqlite3_result_error(context, "Valeur binaire dans un champ date", -1);
    }
}

}  // namespace

std::optional<DateTime> dateLiteral(const QString& body) {
    static const QRegularExpression us(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?(?:\s*([AaPp][Mm]))?)?\s*$)"));
    const auto m = us.match(body);
    if (!m.hasMatch()) return DateTime::fromIso(body);
    const QDate date(m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    if (!date.isValid()) return std::nullopt;
    QTime time(0, 0);
    if (m.hasCaptured(4)) {
        int hour = m.captured(4).toInt();
        if (m.hasCaptured(7)) {
            if (hour < 1 || hour > 12) return std::nullopt;
            const bool pm = m.captured(7).toUpper() == QLatin1String("PM");
            hour = hour % 12 + (pm ? 12 : 0);
        }
        time = QTime(hour, m.captured(5).toInt(), m.hasCaptured(6) ? m.captured(6).toInt() : 0);
        if (!time.isValid()) return std::nullopt;
    }
    return DateTime(date, time);
}

QByteArray translate(sqlite3* db, const QString& statement) {
    std::vector<Token> tokens = sqliteTokens(statement);
    Rewriter(db, tokens, statement).run();
    QString out;
    out.reserve(statement.size() + 32);
    for (const auto& t : tokens) out += t.out;
    return out.toUtf8();
}

void prepareHandle(sqlite3* db) {
    // A double-quoted word is a name only: "[TRAVAUX]" of a missing column
    // must fail, not turn into a text.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_create_function_v2(db, "tavix_datetime", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               dateTimeFunction, nullptr, nullptr, nullptr);
    registerNameCollation(db);
}

}  // namespace tavix::db::detail

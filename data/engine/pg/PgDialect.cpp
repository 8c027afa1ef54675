#include "data/engine/pg/PgDialect.h"

#include <QRegularExpression>
#include <vector>

#include "data/engine/Dialect.h"
#include "data/engine/SqlTokens.h"
#include "data/engine/Values.h"

namespace tavix::db::pg {

namespace {

using Kind = detail::TokenKind;
using detail::quoteName;

struct Token {
    Kind kind;
    QString text;  // as written; String: the value; Date: the literal's body
    QString out;   // PostgreSQL text, set by the rewriting
    QString cast;  // String: the type of the column it is stored into, when not text
};

bool isWordStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

std::vector<Token> serverTokens(const QString& statement) {
    std::vector<Token> tokens;
    for (detail::SqlToken& t : detail::tokenize(statement))
        tokens.push_back({t.kind, std::move(t.text), {}, {}});
    return tokens;
}

// A session's catalog, read from the server when first asked.
class SessionCatalog final : public Catalog {
public:
    explicit SessionCatalog(Session& session) : session_(session) {}
    const Table* table(const QString& name) override { return session_.table(name); }
    const Column* findColumn(const QString& name) override { return session_.findColumn(name); }

private:
    Session& session_;
};

class Rewriter {
public:
    Rewriter(Catalog& catalog, std::vector<Token>& tokens, const QString& original)
        : catalog_(catalog),
          tokens_(tokens),
          original_(original),
          sig_(detail::significantTokens(tokens, original)) {}

    Translated run() {
        ddl_ = isWord(0, "CREATE") || isWord(0, "ALTER") || isWord(0, "DROP");
        if (isWord(0, "DELETE") && isPunct(1, "*")) tok(1).out = QStringLiteral("");
        if (isWord(0, "INSERT") || isWord(0, "REPLACE")) markInsert();
        if (isWord(0, "UPDATE")) markUpdate();
        markComparisons();
        Translated t;
        QString out;
        for (size_t p = 0, i = 0; i < tokens_.size(); ++i) {
            Token& token = tokens_[i];
            const bool significant = p < sig_.size() && sig_[p] == i;
            if (significant) ++p;
            if (token.kind == Kind::Semicolon) continue;  // one statement, no terminator needed
            // PostgreSQL nests /* */ where SQLite does not: a comment sent on
            // could hide from the server what the translation took for code.
            if (token.kind == Kind::Comment) {
                out += u' ';
                continue;
            }
            QString text = significant ? render(token, p - 1, t.params) : token.text;
            // A word or number just before a literal would join it on the
            // server: E'..' reads escapes, x$1 is one name.
            const bool literal = token.kind == Kind::String || token.kind == Kind::Date;
            if (literal && i > 0 &&
                (tokens_[i - 1].kind == Kind::Word || tokens_[i - 1].kind == Kind::Number ||
                 (ddl_ && tokens_[i - 1].kind == Kind::Punct)))
                text.prepend(u' ');
            // Likewise just after one: $1 then 25 would be read as $125.
            else if ((token.kind == Kind::Word || token.kind == Kind::Number) && i > 0 &&
                     (tokens_[i - 1].kind == Kind::String || tokens_[i - 1].kind == Kind::Date))
                text.prepend(u' ');
            // Two tokens side by side must not make a comment on the server
            // (2E- then -).
            if (!out.isEmpty() && !text.isEmpty() &&
                ((out.back() == u'-' && text.front() == u'-') ||
                 (out.back() == u'/' && text.front() == u'*')))
                text.prepend(u' ');
            out += text;
            // After the last significant token: a comment after it must not swallow this.
            if (significant && p == sig_.size()) out += onConflict_;
        }
        t.sql = out.toUtf8();
        return t;
    }

private:
    Token& tok(size_t p) { return tokens_[sig_[p]]; }
    bool has(size_t p) const { return p < sig_.size(); }
    bool isWord(size_t p, const char* word) {
        return has(p) && tok(p).kind == Kind::Word &&
               tok(p).text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool isPunct(size_t p, const char* op) {
        return has(p) && tok(p).kind == Kind::Punct && tok(p).text == QLatin1String(op);
    }
    bool isIdent(size_t p) {
        return has(p) && (tok(p).kind == Kind::Word || tok(p).kind == Kind::Name);
    }

    QString render(Token& token, size_t p, Params& params) {
        if (!token.out.isNull()) return token.out;
        switch (token.kind) {
            case Kind::String: {
                if (ddl_) return detail::quoteText(token.text);
                if (token.cast == u"timestamp") {
                    const auto value = detail::parseDateTimeText(token.text);
                    if (!value) throw EngineError(detail::notADateMessage(token.text), original_);
                    params.push_back(value->truncatedToSeconds().toIso().toUtf8());
                    return QStringLiteral("CAST($%1 AS timestamp)").arg(params.size());
                }
                params.push_back(token.text.toUtf8());
                if (!token.cast.isEmpty())
                    return QStringLiteral("CAST($%1 AS %2)").arg(params.size()).arg(token.cast);
                return QStringLiteral("$%1").arg(params.size());
            }
            case Kind::Date: {
                const QString iso = detail::dateLiteral(token.text)->toIso();
                if (ddl_)
                    return QStringLiteral("CAST(%1 AS timestamp)").arg(detail::quoteText(iso));
                params.push_back(iso.toUtf8());
                return QStringLiteral("CAST($%1 AS timestamp)").arg(params.size());
            }
            case Kind::Name:
                return quoteName(resolve(token.text, p).value_or(token.text));
            case Kind::Word: {
                if (isPunct(p + 1, "(")) {
                    if (token.text.compare(QLatin1String("TEXT"), Qt::CaseInsensitive) == 0)
                        return QStringLiteral("varchar");
                    return token.text;
                }
                if (token.text.compare(QLatin1String("DATETIME"), Qt::CaseInsensitive) == 0)
                    return QStringLiteral("timestamp");
                if (const auto name = resolve(token.text, p)) return quoteName(*name);
                return token.text;
            }
            case Kind::Punct:
                // $ opens a parameter or a dollar-quoted text on the server.
                if (token.text == u"$")
                    throw EngineError(QStringLiteral("Caractère « $ » inattendu"), original_);
                return token.text == QLatin1String("==") ? QStringLiteral("=") : token.text;
            default:
                return token.text;
        }
    }

    // A table's or a column's exact name: a table after FROM, INTO, UPDATE,
    // TABLE or JOIN, a column elsewhere (travaux has a column TRAVAUX).
    std::optional<QString> resolve(const QString& name, size_t p) {
        const bool tablePlace =
            p > 0 && (isWord(p - 1, "FROM") || isWord(p - 1, "INTO") || isWord(p - 1, "UPDATE") ||
                      isWord(p - 1, "TABLE") || isWord(p - 1, "JOIN") || isWord(p - 1, "EXISTS"));
        if (tablePlace) {
            if (const Table* t = catalog_.table(name)) return t->name;
            return std::nullopt;
        }
        if (auto column = catalog_.columnName(name)) return column;
        if (isPunct(p + 1, ".") || isWord(p - 1, "ON"))
            if (const Table* t = catalog_.table(name)) return t->name;
        return std::nullopt;
    }

    const Table* tableAt(size_t& p) {
        if (!isIdent(p)) return nullptr;
        const Table* t = catalog_.table(tok(p).text);
        ++p;
        return t;
    }

    // The type a text stored into the column must take: the regional
    // date-time read here, a key of the engine's own; empty for the others.
    QString castFor(const Table& table, const QString& column) {
        for (const auto* list : {&table.columns, &table.hidden})
            for (const auto& c : *list)
                if (c.name.compare(column, Qt::CaseInsensitive) == 0) {
                    if (c.field.type == FieldType::DateTime) return QStringLiteral("timestamp");
                    if (c.declType == u"uuid") return QStringLiteral("uuid");
                    return {};
                }
        return {};
    }

    // The value at p when it is one text alone, up to a comma, ')' or stop.
    void markSingle(size_t p, const QString& cast) {
        if (cast.isEmpty() || !has(p) || tok(p).kind != Kind::String) return;
        if (!has(p + 1) || isPunct(p + 1, ",") || isPunct(p + 1, ")") ||
            tok(p + 1).kind == Kind::Word)
            tok(p).cast = cast;
    }

    // Next comma at depth 0 from p, or the end of the list.
    size_t nextItem(size_t p) {
        int depth = 0;
        for (; has(p); ++p) {
            if (isPunct(p, "(")) ++depth;
            if (isPunct(p, ")")) {
                if (depth == 0) return p;
                --depth;
            }
            if (depth == 0 && isPunct(p, ",")) return p;
            if (depth == 0 && tok(p).kind == Kind::Word &&
                (isWord(p, "FROM") || isWord(p, "WHERE") || isWord(p, "ON")))
                return p;
        }
        return p;
    }

    void markInsert() {
        size_t p = 1;
        const QString conflict = conflictAt(p);
        if (isWord(p, "OR")) p += 2;
        if (!isWord(p, "INTO")) return setConflict(conflict, nullptr, {});
        ++p;
        const Table* table = tableAt(p);
        if (!table) return setConflict(conflict, nullptr, {});
        std::vector<QString> targets;
        if (isPunct(p, "(")) {
            ++p;
            while (isIdent(p)) {
                targets.push_back(tok(p).text);
                ++p;
                if (!isPunct(p, ",")) break;
                ++p;
            }
            if (!isPunct(p, ")")) return;
            ++p;
        } else {
            for (const auto& c : table->columns) targets.push_back(c.name);
        }
        setConflict(conflict, table, targets);
        const bool values = isWord(p, "VALUES");
        if (!values && !isWord(p, "SELECT")) return;
        ++p;
        if (values) {
            if (!isPunct(p, "(")) return;
            ++p;
        }
        for (size_t index = 0; has(p); ++index) {
            markSingle(p, index < targets.size() ? castFor(*table, targets[index]) : QString());
            const size_t end = nextItem(p);
            if (!isPunct(end, ",")) break;
            p = end + 1;
        }
    }

    // A text compared with a date-time column is read in the regional form
    // here: PostgreSQL would read "10/12/2026" in its own day/month order.
    void markComparisons() {
        for (size_t p = 2; has(p); ++p) {
            if (tok(p).kind != Kind::String || !tok(p).cast.isEmpty()) continue;
            bool comparison = false;
            for (const char* op : {"=", "<>", "!=", "<", ">", "<=", ">=", "=="})
                comparison = comparison || isPunct(p - 1, op);
            if (!comparison || !isIdent(p - 2)) continue;
            const Column* c = catalog_.findColumn(tok(p - 2).text);
            if (c && c->field.type == FieldType::DateTime)
                tok(p).cast = QStringLiteral("timestamp");
        }
    }

    void markUpdate() {
        size_t p = 1;
        if (isWord(p, "OR")) {
            const QString action = conflictAt(p);
            if (action != u"ABORT")
                throw EngineError(
                    QStringLiteral("« UPDATE OR %1 » n'existe pas sur un serveur PostgreSQL")
                        .arg(action),
                    original_);
            p += 2;
        }
        const Table* table = tableAt(p);
        if (!table || !isWord(p, "SET")) return;
        ++p;
        while (isIdent(p) && isPunct(p + 1, "=")) {
            const QString column = tok(p).text;
            p += 2;
            markSingle(p, castFor(*table, column));
            const size_t end = nextItem(p);
            if (!isPunct(end, ",")) break;
            p = end + 1;
        }
    }

    // INSERT OR ... / REPLACE INTO: SQLite's conflict clause as PostgreSQL's
    // ON CONFLICT; one PostgreSQL has no equivalent for is refused.
    QString conflictAt(size_t p) {
        if (isWord(0, "REPLACE")) {
            tok(0).out = QStringLiteral("INSERT");
            return QStringLiteral("REPLACE");
        }
        if (!isWord(p, "OR")) return {};
        if (!has(p + 1) || tok(p + 1).kind != Kind::Word)
            throw EngineError(QStringLiteral("Clause OR incomplète"), original_);
        const QString action = tok(p + 1).text.toUpper();
        if (action != u"ABORT" && action != u"IGNORE" && action != u"REPLACE")
            throw EngineError(
                QStringLiteral("« OR %1 » n'existe pas sur un serveur PostgreSQL").arg(action),
                original_);
        tok(p).out = QStringLiteral("");
        tok(p + 1).out = QStringLiteral("");
        return action;
    }

    void setConflict(const QString& action, const Table* table,
                     const std::vector<QString>& targets) {
        if (action == u"IGNORE") onConflict_ = QStringLiteral(" ON CONFLICT DO NOTHING");
        if (action != u"REPLACE") return;
        if (!table || table->key.isEmpty())
            throw EngineError(QStringLiteral("« REPLACE » demande une table à clé primaire"),
                              original_);
        QStringList sets;
        for (const QString& target : targets) {
            const QString name = exactColumn(*table, target);
            if (name != table->key) sets << QStringLiteral("%1 = EXCLUDED.%1").arg(quoteName(name));
        }
        onConflict_ =
            sets.isEmpty()
                ? QStringLiteral(" ON CONFLICT (%1) DO NOTHING").arg(quoteName(table->key))
                : QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                      .arg(quoteName(table->key), sets.join(QStringLiteral(", ")));
    }

    static QString exactColumn(const Table& table, const QString& name) {
        for (const auto* list : {&table.columns, &table.hidden})
            for (const auto& c : *list)
                if (c.name.compare(name, Qt::CaseInsensitive) == 0) return c.name;
        return name;
    }

    Catalog& catalog_;
    std::vector<Token>& tokens_;
    const QString& original_;
    std::vector<size_t> sig_;
    bool ddl_ = false;
    QString onConflict_;
};

}  // namespace

Translated translate(Catalog& catalog, const QString& statement) {
    std::vector<Token> tokens = serverTokens(statement);
    return Rewriter(catalog, tokens, statement).run();
}

Translated translate(Session& session, const QString& statement) {
    SessionCatalog catalog(session);
    return translate(catalog, statement);
}

const Table* MemoryCatalog::table(const QString& name) {
    for (const Table& t : tables_)
        if (t.name == name) return &t;
    for (const Table& t : tables_)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

const Column* MemoryCatalog::findColumn(const QString& name) {
    const Column* loose = nullptr;
    for (const Table& t : tables_) {
        for (const Column& c : t.columns) {
            if (c.name == name) return &c;
            if (!loose && c.name.compare(name, Qt::CaseInsensitive) == 0) loose = &c;
        }
    }
    return loose;
}

RawTranslated translateRaw(Session& session, const QString& sql) {
    RawTranslated result;
    const Column* lastColumn = nullptr;  // the column just before a comparison
    bool compared = false;
    QString out;
    out.reserve(sql.size() + 32);
    const qsizetype n = sql.size();
    int next = 1;
    QString table;  // the first table after FROM, for rowid
    bool afterFrom = false;
    const auto name = [&](const QString& word) -> QString {
        if (afterFrom) {
            afterFrom = false;
            if (const Table* t = session.table(word)) {
                table = t->name;
                return quoteName(t->name);
            }
        }
        if (word.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("\u0001");  // the key, once the table is known
        if (const Column* c = session.findColumn(word)) {
            lastColumn = c;
            return quoteName(c->name);
        }
        if (const Table* t = session.table(word)) return quoteName(t->name);
        return word;
    };
    const auto typeOf = [](const Column& c) -> unsigned {
        switch (c.field.type) {
            case FieldType::Text:
                return 25;
            case FieldType::Integer:
            case FieldType::AutoIncrement:
                return 20;
            case FieldType::DateTime:
                return 1114;
            case FieldType::Float:
                return 701;
            case FieldType::Other:
                break;
        }
        return 0;
    };
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'') {
            const qsizetype start = i++;
            while (i < n) {
                if (sql[i] != u'\'') {
                    ++i;
                } else if (i + 1 < n && sql[i + 1] == u'\'') {
                    i += 2;  // a doubled apostrophe inside the text
                } else {
                    ++i;
                    break;
                }
            }
            out += sql.mid(start, i - start);
        } else if (c == u'"') {
            const qsizetype end = sql.indexOf(u'"', i + 1);
            const QString word = sql.mid(i + 1, (end < 0 ? n : end) - i - 1);
            i = end < 0 ? n : end + 1;
            out += name(word);
        } else if (c == u'?') {
            qsizetype j = i + 1;
            while (j < n && sql[j].isDigit()) ++j;
            const int number = j > i + 1 ? sql.mid(i + 1, j - i - 1).toInt() : next++;
            out += u'$' + QString::number(number);
            i = j;
            if (number > 0 && number < 1000) {
                if (result.types.size() < static_cast<size_t>(number))
                    result.types.resize(number, 0);
                if (compared && lastColumn && result.types[number - 1] == 0)
                    result.types[number - 1] = typeOf(*lastColumn);
            }
            compared = false;
            lastColumn = nullptr;
        } else if (isWordStart(c)) {
            const qsizetype start = i;
            while (i < n && isWordChar(sql[i])) ++i;
            const QString word = sql.mid(start, i - start);
            const bool from = word.compare(QLatin1String("FROM"), Qt::CaseInsensitive) == 0 ||
                              word.compare(QLatin1String("JOIN"), Qt::CaseInsensitive) == 0;
            const bool keyword = from || (i < n && sql[i] == u'(');
            out += keyword ? word : name(word);
            if (from) afterFrom = true;
        } else {
            if (c == u'=' || c == u'<' || c == u'>' || c == u'!')
                compared = true;
            else if (!c.isSpace()) {
                compared = false;
                lastColumn = nullptr;
            }
            out += c;
            ++i;
        }
    }
    const Table* t = session.table(table);
    const QString key = t && !t->key.isEmpty() ? quoteName(t->key) : QStringLiteral("ctid");
    out.replace(QStringLiteral("\u0001"), key);
    result.sql = out.toUtf8();
    return result;
}

namespace {
QString firstWord(const QString& statement) {
    static const QRegularExpression word(
        QStringLiteral("^(?:\\s|--[^\\n]*\\n|/\\*.*?\\*/|\\()*([A-Za-z]+)"),
        QRegularExpression::DotMatchesEverythingOption);
    return word.match(statement).captured(1).toUpper();
}
}  // namespace

bool changesLayout(const QString& statement) {
    const QString w = firstWord(statement);
    return w == u"CREATE" || w == u"ALTER" || w == u"DROP";
}

bool returnsRows(const QString& statement) {
    const QString w = firstWord(statement);
    return w == u"SELECT" || w == u"WITH" || w == u"VALUES" || w == u"TABLE";
}

QString placeholders(const QString& condition, int first) {
    static const QRegularExpression like(QStringLiteral("(\"(?:[^\"]|\"\")*\") (NOT )?LIKE \\?"));
    QString text = condition;
    text.replace(like, QStringLiteral("CAST(\\1 AS text) \\2ILIKE ?"));
    QString out;
    out.reserve(text.size() + 16);
    int n = first;
    QChar quote;
    for (const QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            out += c;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            out += c;
        } else if (c == u'?') {
            out += u'$' + QString::number(n++);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace tavix::db::pg

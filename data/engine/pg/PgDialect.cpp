#include "data/engine/pg/PgDialect.h"

#include <QRegularExpression>
#include <vector>

#include "data/engine/Dialect.h"
#include "data/engine/Values.h"

namespace tavix::db::pg {

namespace {

enum class Kind { Space, Comment, Word, Name, String, Date, Number, Punct, Semicolon };

struct Token {
    Kind kind;
    QString text;  // as written; String: the value; Date: the literal's body
    QString out;   // PostgreSQL text, set by the rewriting
    QString cast;  // String: the type of the column it is stored into, when not text
};

bool isWordStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

QString quoteName(const QString& name) {
    QString out = name;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

QString inlineString(const QString& value) {
    QString out = value;
    out.replace(u'\'', QStringLiteral("''"));
    return u'\'' + out + u'\'';
}

std::vector<Token> tokenize(const QString& s) {
    std::vector<Token> tokens;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto error = [&s](const QString& message) { throw EngineError(message, s); };
    while (i < n) {
        const QChar c = s[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && s[i].isSpace()) ++i;
            tokens.push_back({Kind::Space, s.mid(start, i - start), {}, {}});
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n') ++i;
            tokens.push_back({Kind::Comment, s.mid(start, i - start), {}, {}});
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            tokens.push_back(
                {Kind::Comment, s.mid(start, i - start) + (end < 0 ? "*/" : ""), {}, {}});
        } else if (c == u'"' || c == u'\'') {
            const auto value = detail::readQuoted(s, i);
            if (!value) error(QStringLiteral("Chaîne de caractères non terminée"));
            tokens.push_back({Kind::String, *value, {}, {}});
        } else if (c == u'[') {
            const qsizetype end = s.indexOf(u']', i + 1);
            if (end < 0) error(QStringLiteral("Crochet fermant manquant"));
            const QString name = s.mid(i + 1, end - i - 1);
            if (name.trimmed().isEmpty()) error(QStringLiteral("Nom vide entre crochets"));
            i = end + 1;
            tokens.push_back({Kind::Name, name, {}, {}});
        } else if (c == u'#') {
            const qsizetype end = s.indexOf(u'#', i + 1);
            if (end < 0) error(QStringLiteral("Date non terminée"));
            const QString body = s.mid(i + 1, end - i - 1);
            if (!detail::dateLiteral(body))
                error(QStringLiteral("Date incorrecte : #%1#").arg(body));
            i = end + 1;
            tokens.push_back({Kind::Date, body, {}, {}});
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(s[i])) ++i;
            tokens.push_back({Kind::Word, s.mid(start, i - start), {}, {}});
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            while (i < n &&
                   (s[i].isLetterOrNumber() || s[i] == u'.' ||
                    ((s[i] == u'+' || s[i] == u'-') && (s[i - 1] == u'e' || s[i - 1] == u'E'))))
                ++i;
            tokens.push_back({Kind::Number, s.mid(start, i - start), {}, {}});
        } else if (c == u';') {
            ++i;
            tokens.push_back({Kind::Semicolon, QStringLiteral(";"), {}, {}});
        } else {
            static const char* const pairs[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>"};
            qsizetype len = 1;
            if (i + 1 < n) {
                for (const char* p : pairs)
                    if (s[i] == QLatin1Char(p[0]) && s[i + 1] == QLatin1Char(p[1])) len = 2;
            }
            i += len;
            tokens.push_back({Kind::Punct, s.mid(start, len), {}, {}});
        }
    }
    return tokens;
}

class Rewriter {
public:
    Rewriter(Session& session, std::vector<Token>& tokens, const QString& original)
        : session_(session), tokens_(tokens), original_(original) {
        bool ended = false;
        for (size_t i = 0; i < tokens_.size(); ++i) {
            const Kind k = tokens_[i].kind;
            if (k == Kind::Space || k == Kind::Comment) continue;
            if (k == Kind::Semicolon) {
                ended = true;
                continue;
            }
            if (ended)
                throw EngineError(QStringLiteral("Une seule instruction SQL est admise"),
                                  original_);
            sig_.push_back(i);
        }
    }

    Translated run() {
        ddl_ = isWord(0, "CREATE") || isWord(0, "ALTER") || isWord(0, "DROP");
        if (isWord(0, "DELETE") && isPunct(1, "*")) tok(1).out = QStringLiteral("");
        if (isWord(0, "INSERT")) markInsert();
        if (isWord(0, "UPDATE")) markUpdate();
        markComparisons();
        Translated t;
        QString out;
        for (size_t p = 0, i = 0; i < tokens_.size(); ++i) {
            Token& token = tokens_[i];
            const bool significant = p < sig_.size() && sig_[p] == i;
            if (significant) ++p;
            if (token.kind == Kind::Semicolon) continue;  // one statement, no terminator needed
            out += significant ? render(token, p - 1, t.params) : token.text;
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
                if (ddl_) return inlineString(token.text);
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
                if (ddl_) return QStringLiteral("CAST(%1 AS timestamp)").arg(inlineString(iso));
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
            if (const Table* t = session_.table(name)) return t->name;
            return std::nullopt;
        }
        if (auto column = session_.columnName(name)) return column;
        if (isPunct(p + 1, ".") || isWord(p - 1, "ON"))
            if (const Table* t = session_.table(name)) return t->name;
        return std::nullopt;
    }

    const Table* tableAt(size_t& p) {
        if (!isIdent(p)) return nullptr;
        const Table* t = session_.table(tok(p).text);
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
        if (!isWord(p, "INTO")) return;
        ++p;
        const Table* table = tableAt(p);
        if (!table) return;
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
            const Column* c = session_.findColumn(tok(p - 2).text);
            if (c && c->field.type == FieldType::DateTime)
                tok(p).cast = QStringLiteral("timestamp");
        }
    }

    void markUpdate() {
        size_t p = 1;
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

    Session& session_;
    std::vector<Token>& tokens_;
    const QString& original_;
    std::vector<size_t> sig_;
    bool ddl_ = false;
};

}  // namespace

Translated translate(Session& session, const QString& statement) {
    std::vector<Token> tokens = tokenize(statement);
    return Rewriter(session, tokens, statement).run();
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

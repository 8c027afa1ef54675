#include "data/engine/FilterExpression.h"

#include <QRegularExpression>

#include "data/engine/EngineError.h"
#include "data/engine/Values.h"

namespace tavix::db::detail {

namespace {

enum class Kind { Name, String, Number, Date, Op, Open, Close, End };

// Each NOT and each parenthesis is one level of recursion: a fixed bound
// keeps a hostile filter from exhausting the stack, and stays well below
// SQLite's own expression depth limit.
constexpr int kMaxNesting = 100;

struct Token {
    Kind kind;
    QString text;
};

class Compiler {
public:
    Compiler(const QString& filter, const FieldLookup& lookup) : filter_(filter), lookup_(lookup) {
        tokenize();
    }

    FilterSql run() {
        FilterSql out;
        out.where = orExpr();
        if (peek().kind != Kind::End)
            fail(QStringLiteral("texte inattendu « %1 »").arg(peek().text));
        out.values = std::move(values_);
        return out;
    }

private:
    [[noreturn]] void fail(const QString& why) const {
        throw EngineError(QStringLiteral("Filtre incorrect : %1").arg(why), filter_);
    }

    void tokenize() {
        const QString& s = filter_;
        const qsizetype n = s.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = s[i];
            if (c.isSpace()) {
                ++i;
            } else if (c == u'(') {
                tokens_.push_back({Kind::Open, QStringLiteral("(")});
                ++i;
            } else if (c == u')') {
                tokens_.push_back({Kind::Close, QStringLiteral(")")});
                ++i;
            } else if (c == u'\'' || c == u'"') {
                const auto value = detail::readQuoted(s, i);
                if (!value) fail(QStringLiteral("texte non terminé"));
                tokens_.push_back({Kind::String, *value});
            } else if (c == u'#') {
                const qsizetype end = s.indexOf(u'#', i + 1);
                if (end < 0) fail(QStringLiteral("date non terminée"));
                tokens_.push_back({Kind::Date, s.mid(i + 1, end - i - 1)});
                i = end + 1;
            } else if (c == u'[') {
                const qsizetype end = s.indexOf(u']', i + 1);
                if (end < 0) fail(QStringLiteral("crochet fermant manquant"));
                tokens_.push_back({Kind::Name, s.mid(i + 1, end - i - 1)});
                i = end + 1;
            } else if (c.isDigit() || ((c == u'-' || c == u'+' || c == u'.') && i + 1 < n &&
                                       (s[i + 1].isDigit() || s[i + 1] == u'.'))) {
                const qsizetype start = i++;
                while (i < n && (s[i].isDigit() || s[i] == u'.')) ++i;
                tokens_.push_back({Kind::Number, s.mid(start, i - start)});
            } else if (c.isLetter() || c == u'_') {
                const qsizetype start = i;
                while (i < n && (s[i].isLetterOrNumber() || s[i] == u'_')) ++i;
                tokens_.push_back({Kind::Name, s.mid(start, i - start)});
            } else if (c == u'<' || c == u'>' || c == u'=' || c == u'!') {
                qsizetype len = 1;
                if (i + 1 < n && (s[i + 1] == u'=' || (c == u'<' && s[i + 1] == u'>'))) len = 2;
                const QString op = s.mid(i, len);
                if (op == QLatin1String("!") || op == QLatin1String("=="))
                    fail(QStringLiteral("opérateur « %1 »").arg(op));
                tokens_.push_back({Kind::Op, op});
                i += len;
            } else {
                fail(QStringLiteral("caractère « %1 »").arg(c));
            }
        }
        tokens_.push_back({Kind::End, QString()});
    }

    const Token& peek(size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    bool keyword(const char* word, size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == Kind::Name &&
               t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    QString orExpr() {
        QString sql = andExpr();
        while (keyword("OR")) {
            ++pos_;
            sql += QStringLiteral(" OR ") + andExpr();
        }
        return sql;
    }

    QString andExpr() {
        QString sql = unary();
        while (keyword("AND")) {
            ++pos_;
            sql += QStringLiteral(" AND ") + unary();
        }
        return sql;
    }

    QString unary() {
        if (keyword("NOT")) {
            ++pos_;
            const Nested nested(*this);
            return QStringLiteral("NOT ") + unary();
        }
        if (peek().kind == Kind::Open) {
            ++pos_;
            const Nested nested(*this);
            const QString inner = orExpr();
            if (peek().kind != Kind::Close) fail(QStringLiteral("parenthèse fermante manquante"));
            ++pos_;
            return u'(' + inner + u')';
        }
        return comparison();
    }

    // One level deeper for its lifetime; refuses to go past the bound.
    class Nested {
    public:
        explicit Nested(Compiler& c) : c_(c) {
            if (++c_.depth_ > kMaxNesting)
                c_.fail(QStringLiteral("plus de %1 niveaux de parenthèses ou de NOT imbriqués")
                            .arg(kMaxNesting));
        }
        ~Nested() { --c_.depth_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

    private:
        Compiler& c_;
    };

    QString comparison() {
        const Token& nameToken = peek();
        if (nameToken.kind != Kind::Name)
            fail(nameToken.kind == Kind::End
                     ? QStringLiteral("expression incomplète")
                     : QStringLiteral("nom de champ attendu avant « %1 »").arg(nameToken.text));
        const auto field = lookup_(nameToken.text);
        if (!field) fail(QStringLiteral("champ '%1' inconnu").arg(nameToken.text));
        ++pos_;
        const QString column = quoteName(field->name);

        if (keyword("IS")) {
            ++pos_;
            const bool negated = keyword("NOT");
            if (negated) ++pos_;
            if (!keyword("NULL")) fail(QStringLiteral("NULL attendu après IS"));
            ++pos_;
            return column + (negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL"));
        }
        if (keyword("NOT") && keyword("LIKE", 1)) {
            pos_ += 2;
            return column + QStringLiteral(" NOT LIKE ? ESCAPE '\\'") + likeValue();
        }
        if (keyword("LIKE")) {
            ++pos_;
            return column + QStringLiteral(" LIKE ? ESCAPE '\\'") + likeValue();
        }
        if (peek().kind != Kind::Op)
            fail(QStringLiteral("opérateur attendu après %1").arg(nameToken.text));
        QString op = peek().text;
        if (op == QLatin1String("!=")) op = QStringLiteral("<>");
        ++pos_;
        if (keyword("NULL")) {
            ++pos_;
            if (op == QLatin1String("=")) return column + QStringLiteral(" IS NULL");
            if (op == QLatin1String("<>")) return column + QStringLiteral(" IS NOT NULL");
            fail(QStringLiteral("comparaison avec NULL"));
        }
        values_.push_back(value(*field));
        return column + u' ' + op + QStringLiteral(" ?");
    }

    // The pattern of LIKE: '*' and '%' match any run; SQLite's own '_' and
    // the escape character stand for themselves.
    QString likeValue() {
        const Token& t = peek();
        if (t.kind != Kind::String && t.kind != Kind::Number)
            fail(QStringLiteral("motif attendu après LIKE"));
        QString pattern;
        for (const QChar c : t.text) {
            if (c == u'*' || c == u'%')
                pattern += u'%';
            else if (c == u'_' || c == u'\\')
                pattern += u'\\' + QString(c);
            else
                pattern += c;
        }
        ++pos_;
        values_.push_back(pattern);
        return {};
    }

    QVariant value(const FieldDef& field) {
        const Token t = peek();
        if (t.kind != Kind::String && t.kind != Kind::Number && t.kind != Kind::Date)
            fail(QStringLiteral("valeur attendue pour %1").arg(field.name));
        ++pos_;
        auto wrong = [&] {
            fail(QStringLiteral("'%1' n'est pas une valeur correcte pour le champ '%2'")
                     .arg(t.text, field.name));
        };
        switch (field.type) {
            case FieldType::Integer:
            case FieldType::AutoIncrement: {
                if (t.kind == Kind::Date) wrong();
                bool ok = false;
                const qlonglong v = t.text.trimmed().toLongLong(&ok);
                if (ok) return v;
                const double d = t.text.trimmed().toDouble(&ok);
                if (!ok) wrong();
                return d;
            }
            case FieldType::Float: {
                if (t.kind == Kind::Date) wrong();
                bool ok = false;
                const double d = t.text.trimmed().toDouble(&ok);
                if (!ok) wrong();
                return d;
            }
            case FieldType::DateTime: {
                std::optional<DateTime> v;
                if (t.kind == Kind::Date) {
                    static const QRegularExpression us(
                        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(.*)$)"));
                    // #m/d/yyyy#: month first, as in statements.
                    const auto m = us.match(t.text);
                    v = m.hasMatch() ? parseDateTimeText(m.captured(2) + u'/' + m.captured(1) +
                                                         u'/' + m.captured(3) + m.captured(4))
                                     : DateTime::fromIso(t.text);
                } else if (t.kind == Kind::String) {
                    v = parseDateTimeText(t.text);
                }
                if (!v) wrong();
                return v->toIso();
            }
            case FieldType::Text:
            case FieldType::Other:
                break;
        }
        return t.text;
    }

    const QString& filter_;
    const FieldLookup& lookup_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int depth_ = 0;
    std::vector<QVariant> values_;
};

}  // namespace

FilterSql compileFilter(const QString& filter, const FieldLookup& lookup) {
    return Compiler(filter, lookup).run();
}

}  // namespace tavix::db::detail

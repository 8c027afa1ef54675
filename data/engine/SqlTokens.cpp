#include "data/engine/SqlTokens.h"

#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/Quoting.h"
#include "data/engine/Values.h"

namespace tavix::db::detail {

namespace {

bool isWordStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

}  // namespace

// Quoted as the filters quote: the mark doubled inside.
QString quoteName(const QString& name) { return quoted(name); }

QString quoteText(const QString& value) { return filterQuoted(value); }

std::vector<SqlToken> tokenize(const QString& s) {
    std::vector<SqlToken> tokens;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto error = [&s](const QString& message) { throw EngineError(message, s); };
    while (i < n) {
        const QChar c = s[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && s[i].isSpace()) ++i;
            tokens.push_back({TokenKind::Space, s.mid(start, i - start)});
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n') ++i;
            tokens.push_back({TokenKind::Comment, s.mid(start, i - start)});
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            // An unclosed comment runs to the end; closing it keeps the
            // translated text from swallowing what a back end appends.
            const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            tokens.push_back({TokenKind::Comment, s.mid(start, i - start) + (end < 0 ? "*/" : "")});
        } else if (c == u'"' || c == u'\'') {
            const auto value = readQuoted(s, i);
            if (!value) error(QStringLiteral("Chaîne de caractères non terminée"));
            tokens.push_back({TokenKind::String, *value});
        } else if (c == u'[') {
            const qsizetype end = s.indexOf(u']', i + 1);
            if (end < 0) error(QStringLiteral("Crochet fermant manquant"));
            const QString name = s.mid(i + 1, end - i - 1);
            if (name.trimmed().isEmpty()) error(QStringLiteral("Nom vide entre crochets"));
            i = end + 1;
            tokens.push_back({TokenKind::Name, name});
        } else if (c == u'#') {
            const qsizetype end = s.indexOf(u'#', i + 1);
            if (end < 0) error(QStringLiteral("Date non terminée"));
            const QString body = s.mid(i + 1, end - i - 1);
            if (!dateLiteral(body)) error(QStringLiteral("Date incorrecte : #%1#").arg(body));
            i = end + 1;
            tokens.push_back({TokenKind::Date, body});
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(s[i])) ++i;
            tokens.push_back({TokenKind::Word, s.mid(start, i - start)});
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            while (i < n &&
                   (s[i].isLetterOrNumber() || s[i] == u'.' ||
                    ((s[i] == u'+' || s[i] == u'-') && (s[i - 1] == u'e' || s[i - 1] == u'E'))))
                ++i;
            tokens.push_back({TokenKind::Number, s.mid(start, i - start)});
        } else if (c == u';') {
            ++i;
            tokens.push_back({TokenKind::Semicolon, QStringLiteral(";")});
        } else {
            static const char* const pairs[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>"};
            qsizetype len = 1;
            if (i + 1 < n) {
                for (const char* p : pairs)
                    if (s[i] == QLatin1Char(p[0]) && s[i + 1] == QLatin1Char(p[1])) len = 2;
            }
            i += len;
            tokens.push_back({TokenKind::Punct, s.mid(start, len)});
        }
    }
    return tokens;
}

void refuseSecondStatement(const QString& statement) {
    throw EngineError(QStringLiteral("Une seule instruction SQL est admise"), statement);
}

}  // namespace tavix::db::detail

#pragma once

#include "data/engine/Internal.h"

#include <QString>
#include <vector>

namespace tavix::db::detail {

// The dialect's statements cut into tokens, the same way for a file and a
// server; each translation rewrites from these.
enum class TokenKind { Space, Comment, Word, Name, String, Date, Number, Punct, Semicolon };

struct SqlToken {
    TokenKind kind;
    // As written; String: the value, its marks removed; Name: the name
    // between the brackets; Date: the literal's body between the # marks.
    QString text;
};

// Refuses (EngineError) an unterminated literal, comment-free bracket or
// date, an empty name between brackets and a malformed date literal.
std::vector<SqlToken> tokenize(const QString& statement);

[[noreturn]] void refuseSecondStatement(const QString& statement);

// Positions of the tokens (anything with a kind) that are neither space,
// comment nor ';'. Refuses (EngineError) a second statement after a ';'.
template <typename T>
std::vector<size_t> significantTokens(const std::vector<T>& tokens, const QString& statement) {
    std::vector<size_t> sig;
    bool ended = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const TokenKind k = tokens[i].kind;
        if (k == TokenKind::Space || k == TokenKind::Comment) continue;
        if (k == TokenKind::Semicolon) {
            ended = true;
            continue;
        }
        if (ended) refuseSecondStatement(statement);
        sig.push_back(i);
    }
    return sig;
}

// "name", with any double quote doubled: a name for SQLite and PostgreSQL alike.
QString quoteName(const QString& name);

// 'text', with any apostrophe doubled: a text inline for SQLite and PostgreSQL alike.
QString quoteText(const QString& value);

}  // namespace tavix::db::detail

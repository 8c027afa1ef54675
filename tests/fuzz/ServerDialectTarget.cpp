#include <set>

#include "FuzzTargets.h"
#include "common/ServerLayout.h"
#include "data/engine/EngineError.h"

namespace tavix::fuzz {

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// Reads the translation as PostgreSQL's lexer does and checks what the
// translation promises: every text and name closes, no comment, no ';',
// no dollar-quoted text, and the $n marks are exactly the values sent.
void checkServerText(const QString& input, const QString& sql, size_t params) {
    std::set<long> marks;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const bool escapes = c == u'\'' && i > 0 && (sql[i - 1] == u'E' || sql[i - 1] == u'e');
            if (escapes) broken("no escape string", input, sql);
            qsizetype j = i + 1;
            for (;;) {
                if (j >= n) broken("every text and name closes", input, sql);
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j + 1;
        } else if ((c == u'-' && i + 1 < n && sql[i + 1] == u'-') ||
                   (c == u'/' && i + 1 < n && sql[i + 1] == u'*')) {
            broken("no comment reaches the server", input, sql);
        } else if (c == u';') {
            broken("one statement, no ';'", input, sql);
        } else if (c != u'$' && isNameChar(c)) {
            // A whole word: a $ inside it belongs to the name.
            while (i < n && isNameChar(sql[i])) ++i;
        } else if (c == u'$') {
            qsizetype j = i + 1;
            while (j < n && sql[j].isDigit()) ++j;
            if (j == i + 1) broken("no dollar-quoted text", input, sql);
            marks.insert(sql.mid(i + 1, j - i - 1).toLong());
            i = j;
        } else {
            ++i;
        }
    }
    std::set<long> sent;
    for (size_t k = 1; k <= params; ++k) sent.insert(static_cast<long>(k));
    if (marks != sent) broken("the $n marks are the values sent", input, sql);
}

}  // namespace

void serverDialect(const uint8_t* data, size_t size) {
    static auto catalog = test::serverLayoutCatalog();
    const QString text = textOf(data, size);
    db::pg::Translated t;
    try {
        t = db::pg::translate(catalog, text);
    } catch (const db::EngineError&) {
        return;  // refused: the promise is kept
    }
    checkServerText(text, QString::fromUtf8(t.sql), t.params.size());
}

}  // namespace tavix::fuzz

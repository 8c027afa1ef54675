#include <memory>

#include "FuzzTargets.h"
#include "LayoutDatabase.h"
#include "data/engine/Dialect.h"
#include "data/engine/EngineError.h"
#include "data/engine/Statement.h"

namespace tavix::fuzz {

void dialect(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    sqlite3* db = layoutDatabase();
    QByteArray sql;
    try {
        sql = db::detail::translate(db, text);
    } catch (const db::EngineError&) {
        return;  // refused: the promise is kept
    }
    // Prepared only: nothing may change the shared database.
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &raw, &tail);
    const std::unique_ptr<sqlite3_stmt, db::detail::StatementFinalizer> stmt(raw);
    if (rc == SQLITE_OK && !db::detail::isBlankTail(tail))
        broken("one statement translates to one statement", text, QString::fromUtf8(sql));
}

}  // namespace tavix::fuzz

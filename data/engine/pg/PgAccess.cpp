#include "data/engine/pg/PgAccess.h"

#include <QStringList>

#include "data/engine/EngineError.h"
#include "data/engine/pg/PgErrors.h"
#include "data/engine/pg/PgSession.h"

namespace tavix::db::pg {

void checkAccess(Session& s) {
    const Result r = s.exec(
        "SELECT n, has_table_privilege(to_regclass(n), 'SELECT'), n <> 'activites' OR "
        "has_table_privilege(to_regclass(n), 'INSERT') FROM unnest(ARRAY['clients', 'travaux', "
        "'activites']) AS n WHERE to_regclass(n) IS NOT NULL",
        {}, QStringLiteral("droits"));
    for (int i = 0; i < r.rows(); ++i) {
        QStringList missing;
        if (r.text(i, 1) != u"t") missing << QStringLiteral("SELECT");
        if (r.text(i, 2) != u"t") missing << QStringLiteral("INSERT");
        if (missing.isEmpty()) continue;
        throw EngineError(
            statementFailure(s.server(), s.role(), QStringLiteral("42501"),
                             QStringLiteral("droit %1 absent sur la table « %2 »")
                                 .arg(missing.join(QStringLiteral(", ")), r.text(i, 0)),
                             {}));
    }
}

}  // namespace tavix::db::pg

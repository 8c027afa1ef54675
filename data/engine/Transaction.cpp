#include "data/engine/Transaction.h"

#include "data/engine/ConnectionImpl.h"
#include "data/engine/EngineError.h"

namespace tavix::db {

Transaction::Transaction(Connection& connection) : connection_(connection) {
    detail::backendOf(connection_).begin();
    active_ = true;
}

Transaction::~Transaction() {
    if (!active_) return;
    if (detail::Backend* backend = detail::implOf(connection_).backend.get()) backend->rollback();
}

void Transaction::commit() {
    if (!active_) throw EngineError(QStringLiteral("Aucune transaction en cours"));
    active_ = false;
    detail::Backend* backend = detail::implOf(connection_).backend.get();
    if (!backend) throw EngineError(QStringLiteral("La transaction a été annulée"));
    backend->commit();
}

}  // namespace tavix::db

#include "data/engine/EngineError.h"

namespace tavix::db {

EngineError::EngineError(const QString& message, const QString& statement)
    : Error(message), statement_(statement) {}

}  // namespace tavix::db

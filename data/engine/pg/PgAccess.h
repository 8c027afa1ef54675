#pragma once

namespace tavix::db::pg {

class Session;

// Throws EngineError, in French, when the connected role may not read the
// program's tables or add log entries: said once at the start rather than
// at every step. Tables the database lacks are left to the layout check.
void checkAccess(Session& session);

}  // namespace tavix::db::pg

#include "data/engine/Backup.h"

#include "data/engine/ConnectionImpl.h"

namespace tavix::db {

void backupDatabase(Connection& connection, const QString& target) {
    detail::backendOf(connection).copyTo(target);
}

void purgeTable(Connection& connection, const QString& table, const QString& target) {
    detail::backendOf(connection).purge(table, target);
}

}  // namespace tavix::db

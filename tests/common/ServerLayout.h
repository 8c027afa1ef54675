#pragma once

// The program's tables as a PostgreSQL server holds them, as an in-memory
// catalog: the server's translation checked without a server.

#include "data/engine/pg/PgDialect.h"

namespace tavix::test {

inline db::pg::MemoryCatalog serverLayoutCatalog() {
    using db::FieldType;
    using db::pg::Column;
    const auto column = [](const char* name, FieldType type, const char* declType) {
        return Column{QString::fromLatin1(name), QString::fromLatin1(declType),
                      db::FieldDef{QString::fromLatin1(name), type, 0, false}};
    };
    std::vector<db::pg::Table> tables;
    tables.push_back({QStringLiteral("clients"),
                      {column("NOM", FieldType::Text, "varchar")},
                      {column("tavix_cle", FieldType::Integer, "int8")},
                      QStringLiteral("tavix_cle")});
    tables.push_back({QStringLiteral("travaux"),
                      {column("ID", FieldType::AutoIncrement, "int4"),
                       column("TRAVAUX", FieldType::Text, "varchar"),
                       column("ORDRE", FieldType::Integer, "int4")},
                      {},
                      QStringLiteral("ID")});
    tables.push_back({QStringLiteral("activites"),
                      {column("ID", FieldType::AutoIncrement, "int4"),
                       column("SURVEILLANCES", FieldType::Text, "varchar"),
                       column("CLIENTS", FieldType::Text, "varchar"),
                       column("DEBUT", FieldType::DateTime, "timestamp"),
                       column("FIN", FieldType::DateTime, "timestamp"),
                       column("DUREE", FieldType::Integer, "int4"),
                       column("COMMENTAIRE", FieldType::Text, "text"),
                       column("USER", FieldType::Text, "varchar")},
                      {column("tavix_jeton", FieldType::Other, "uuid")},
                      QStringLiteral("ID")});
    return db::pg::MemoryCatalog(std::move(tables));
}

}  // namespace tavix::test

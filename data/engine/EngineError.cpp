#include "data/engine/EngineError.h"

namespace tavix::db {

EngineError::EngineError(const QString& message, const QString& statement)
    : Error(message), statement_(statement) {}

EngineError notOpen(const QString& statement) {
    return EngineError(QStringLiteral("Aucune base de données n'est ouverte.\n"
                                      "Choisissez une base Tavix dans « Avancés > Paramètres », "
                                      "puis relancez Tavix."),
                       statement);
}

}  // namespace tavix::db

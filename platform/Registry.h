#pragma once

#include <QString>

#include "platform/Error.h"

namespace tavix::registry {

// The settings key of the current user: HKEY_CURRENT_USER\Software\MOLVERAN\TAVIX
// on Windows, the user's MOLVERAN/TAVIX.conf ([General] section) elsewhere.
// Every call opens the store afresh; nothing is cached between calls.

// The text of the named value; empty when it is absent or empty. A value
// that is not text raises wrongType(name).
QString readText(const QString& name);

// Stores the text under the name, replacing any previous value. A value the
// store cannot keep raises writeRefused(name).
void writeText(const QString& name, const QString& value);

// Where the values live: the settings file, or the key's path on Windows.
QString location();

// "Type de données incorrect pour '<name>'"
RegistryError wrongType(const QString& name);
// "Echec à la définition des données pour '<name>'"
RegistryError writeRefused(const QString& name);

}  // namespace tavix::registry

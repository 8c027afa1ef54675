#pragma once

#include <QString>

namespace tavix::autostart {

// Starting the program at the user's logon. On Windows the value "tavix"
// under HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run;
// elsewhere the desktop entry tavix.desktop in the user's autostart folder.

// Registers the executable, its path between double quotes so that it stays
// one command-line word. A store that cannot be reached is left alone; an
// entry that cannot be written raises registry::writeRefused("tavix").
void enable(const QString& executablePath);

// Removes the registration; an absent one, or a failed removal, is ignored.
void disable();

// The registered command: the executable's path between double quotes as
// enable() stored it, empty when nothing is registered.
QString command();

// The desktop entry's file, or the Run key's path on Windows.
QString location();

// The settings window's caption for starting with the session: "Lancer au
// démarrage de Windows" on Windows, "Lancer à l'ouverture de la session"
// elsewhere.
QString caption();

}  // namespace tavix::autostart

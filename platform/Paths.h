#pragma once

#include <QString>

namespace tavix::paths {

// Full path of the running executable (tests may substitute one).
QString executablePath();
void setExecutablePath(const QString& path);  // empty: the real one again

// Every occurrence of ".exe" replaced by extension, case-sensitive.
QString replaceExe(const QString& path, const QString& extension);

// The database used when "sgbd" is empty: on Windows the executable's path
// with ".mdb" in place of ".exe"; otherwise, and for a Windows executable
// without ".exe" in its path, tavix.mdb in the user's application data
// folder.
QString defaultDatabasePath(const QString& executable);

// The help: on Windows the executable's path with ".chm" in place of
// ".exe"; otherwise the HTML help installed beside the executable.
QString helpPath(const QString& executable);

// The state of a running timing, in the user's data folder, where the
// default database of an installed program lives too.
QString pendingTimingPath();

// Whether two paths name the same file, as the file system compares names.
bool sameFile(const QString& a, const QString& b);
// The folder that refuses this user the way to path (not allowed to look
// inside it), or empty when nothing on the way refuses: a file behind such
// a folder is out of reach, not missing.
QString closedFolderOnTheWay(const QString& path);

}  // namespace tavix::paths

#pragma once

#include <QString>

namespace tavix {

// The program's own window on its installed help pages, for a desktop
// where no browser opens them. False when the page is not there.
bool showHelpWindow(const QString& path);

}  // namespace tavix

#include "resources/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the generated initializer in the current
// namespace, so it has to be expanded outside tavix.
static void initTavixResources() { Q_INIT_RESOURCE(tavix); }

namespace tavix {

void initResources() { initTavixResources(); }

}  // namespace tavix

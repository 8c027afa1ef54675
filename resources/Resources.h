#pragma once

namespace tavix {

// Registers the icons (":/icons/..."), pictures (":/pictures/...") and help
// (":/help/index.html") compiled into tavix_resources. A static library's
// resources stay unreachable until this has run once; calling it again is
// harmless.
void initResources();

}  // namespace tavix

#pragma once

#include <QImage>

namespace tavix {

// Registers the icons (":/icons/..."), pictures (":/pictures/...") and help
// (":/help/index.html") compiled into tavix_resources. A static library's
// resources stay unreachable until this has run once; calling it again is
// harmless.
void initResources();

// The tracking window's background picture, the same pixels as
// ":/pictures/background.png" but kept unencoded, so that start-up only
// copies it instead of decoding a PNG.
QImage backgroundImage();

}  // namespace tavix

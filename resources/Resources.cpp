#include "resources/Resources.h"

#include <QResource>
#include <QtGlobal>

// Q_INIT_RESOURCE declares the generated initializer in the current
// namespace, so it has to be expanded outside tavix.
static void initTavixResources() { Q_INIT_RESOURCE(tavix); }

namespace tavix {

void initResources() { initTavixResources(); }

QImage backgroundImage() {
    // Made from background.png with: convert background.png -depth 8 bgra:background.bgra
    // (opaque, so its bytes are RGB32 on a little-endian machine). Stored
    // uncompressed, it is used in place: nothing is decoded or inflated.
    constexpr int kWidth = 757, kHeight = 603;
    constexpr qint64 kBytes = qint64(kWidth) * kHeight * 4;
    initResources();
    const QResource resource(QStringLiteral(":/pictures/background.bgra"));
    if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN && resource.size() == kBytes &&
        resource.compressionAlgorithm() == QResource::NoCompression)
        return QImage(resource.data(), kWidth, kHeight, kWidth * 4, QImage::Format_RGB32);
    return QImage(QStringLiteral(":/pictures/background.png"))
        .convertToFormat(QImage::Format_RGB32);
}

}  // namespace tavix

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
    // (opaque, so its bytes are RGB32 on a little-endian machine).
    constexpr int kWidth = 757, kHeight = 603;
    initResources();
    const QByteArray raw =
        QResource(QStringLiteral(":/pictures/background.bgra")).uncompressedData();
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN || raw.size() != qsizetype(kWidth) * kHeight * 4)
        return QImage(QStringLiteral(":/pictures/background.png"));
    return QImage(reinterpret_cast<const uchar*>(raw.constData()), kWidth, kHeight, kWidth * 4,
                  QImage::Format_RGB32)
        .copy();
}

}  // namespace tavix

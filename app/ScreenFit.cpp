#include "app/ScreenFit.h"

#include <algorithm>

namespace tavix {

namespace {

qint64 overlap(qint64 a0, qint64 a1, qint64 b0, qint64 b1) {
    return std::max<qint64>(0, std::min(a1, b1) - std::max(a0, b0));
}

}  // namespace

QRect fitOnScreen(qint64 left, qint64 top, qint64 width, qint64 height,
                  const QList<QRect>& availableAreas, const QMargins& frame, QPoint fallback) {
    width = std::max<qint64>(width, 1);
    height = std::max<qint64>(height, 1);
    if (availableAreas.isEmpty()) {
        const auto bound = [](qint64 v) { return int(std::clamp<qint64>(v, -(1 << 24), 1 << 24)); };
        return QRect(bound(left), bound(top), bound(width), bound(height));
    }
    // The frame counts: a title bar off the screen cannot be grabbed.
    const qint64 outerLeft = left - frame.left();
    const qint64 outerTop = top - frame.top();
    const qint64 outerWidth = width + frame.left() + frame.right();
    const qint64 outerHeight = height + frame.top() + frame.bottom();
    const QRect* best = nullptr;
    qint64 bestArea = 0;
    for (const QRect& area : availableAreas) {
        const qint64 shared =
            overlap(outerLeft, outerLeft + outerWidth, area.left(), area.left() + area.width()) *
            overlap(outerTop, outerTop + outerHeight, area.top(), area.top() + area.height());
        if (shared > bestArea) {
            bestArea = shared;
            best = &area;
        }
    }
    if (!best) {
        left = fallback.x();
        top = fallback.y();
        best = &availableAreas.front();
        for (const QRect& area : availableAreas)
            if (area.contains(fallback)) best = &area;
    }
    const QRect inner = best->marginsRemoved(frame);
    width = std::min<qint64>(width, std::max(inner.width(), 1));
    height = std::min<qint64>(height, std::max(inner.height(), 1));
    left = std::clamp<qint64>(left, inner.left(),
                              std::max<qint64>(inner.left(), inner.left() + inner.width() - width));
    top = std::clamp<qint64>(top, inner.top(),
                             std::max<qint64>(inner.top(), inner.top() + inner.height() - height));
    return QRect(int(left), int(top), int(width), int(height));
}

}  // namespace tavix

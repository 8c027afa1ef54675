#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>

namespace tavix {

// Where a window of the wanted bounds (its client area, as stored) lands
// wholly on one screen: the screen whose available area it overlaps most,
// or, overlapping none, the one holding `fallback` (else the first). The
// size shrinks to that area less `frame` (what the window manager adds
// around the client area), then the window moves in until it fits. Values
// come from settings anyone may edit, hence 64 bits. With no screen, the
// bounds as wanted.
QRect fitOnScreen(qint64 left, qint64 top, qint64 width, qint64 height,
                  const QList<QRect>& availableAreas, const QMargins& frame, QPoint fallback);

}  // namespace tavix

#pragma once

class QLineEdit;
class QWidget;

namespace tavix {

// A password box whose characters all show as "*", whatever the style.
void hideAsStars(QLineEdit& edit);

// White background for a window or panel.
void paintWhite(QWidget& widget);

}  // namespace tavix

#pragma once

#include <QString>

class QAccessibleEvent;
class QWidget;

namespace tavix {

// Says a short sentence to a screen reader, wherever the focus is: a
// notification in `near`'s window appears anew with the text. The toolkit
// of this version has no announcement event; a notification being shown is
// what the accessibility bus tells and a screen reader speaks.
void announce(QWidget* near, const QString& text);

// The notification of `window` (nullptr before its first announcement).
QWidget* announcementOf(QWidget* window);

// Every change the program tells assistive technology passes here, so that
// a test hears it too (the offscreen platform has no accessibility bridge).
// toolkitTells: the toolkit sends this event itself (a name or description
// set, a widget shown); only the listener hears it from here.
void tellAccessibility(QAccessibleEvent* event, bool toolkitTells = false);
using AccessibilityListener = void (*)(QAccessibleEvent* event);
void setAccessibilityListener(AccessibilityListener listener);

}  // namespace tavix

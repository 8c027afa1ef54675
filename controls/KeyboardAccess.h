#pragma once

class QComboBox;
class QDialog;
class QWidget;

namespace tavix {

// A list whose screen reader hears its current value on focus and on every
// change: the value is its accessible description, the label its name.
void tellCurrentValue(QComboBox* box);
// The same for every list under `root` (a dialog of the toolkit's own).
void tellCurrentValues(QWidget* root);

// The window's own shortcuts win over the keys a text box of the window
// would otherwise take for itself (Ctrl+E is "end of line" in a line edit).
void keepWindowShortcuts(QWidget* window);

// When `dialog` closes, the window that was active as it opened is active
// again, with its menus' keys working without a click.
void returnFocusOnClose(QDialog* dialog);

}  // namespace tavix

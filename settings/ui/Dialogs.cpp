#include "settings/ui/Dialogs.h"

namespace tavix {

bool TOpenDialog::Execute(QWidget* parent) {
    const QString chosen = filePicker().chooseFile(parent, Request);
    if (chosen.isEmpty()) return false;
    FileName = chosen;
    return true;
}

bool TColorDialog::Execute(QWidget* parent) {
    const std::optional<QColor> chosen = colorPicker().chooseColor(parent, Color);
    if (!chosen || !chosen->isValid()) return false;
    Color = *chosen;
    return true;
}

}  // namespace tavix

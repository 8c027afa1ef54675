#pragma once

#include <QColor>
#include <QString>

#include "platform/Services.h"

class QWidget;

namespace tavix {

// A file-open dialog as a window keeps it: its settings, then the file the
// user confirmed.
class TOpenDialog {
public:
    FileRequest Request;
    QString FileName;

    // True when the user confirmed a file, now in FileName.
    bool Execute(QWidget* parent);
};

// A colour dialog kept by its window: each run opens on the colour last
// confirmed in it, black at first.
class TColorDialog {
public:
    QColor Color = Qt::black;

    // True when the user confirmed a colour, now in Color.
    bool Execute(QWidget* parent);
};

}  // namespace tavix

#pragma once

#include "reference/ListEditor.h"

namespace tavix {

// The clients editor: table clients, one column NOM.
class TForm3 : public TListEditor {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};

}  // namespace tavix

#pragma once

#include "reference/ListEditor.h"

namespace tavix {

// The activities editor: table travaux, TRAVAUX then ORDRE (the ID is the
// database's own and is not shown).
class TForm4 : public TListEditor {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};

}  // namespace tavix

#include "reference/Unit3.h"

#include "data/Unit2.h"

namespace tavix {

TForm3::TForm3(QWidget* parent)
    : TListEditor(QStringLiteral("Form3"), QStringLiteral("Edition des clients"),
                  &DataModule2->tblClients, {{QStringLiteral("NOM"), 580, {}}},
                  {QStringLiteral("NOM"), QStringLiteral("CLIENTS"), QStringLiteral("le client")},
                  parent) {}

}  // namespace tavix

#include "reference/Unit4.h"

#include "data/Unit2.h"

namespace tavix {

TForm4::TForm4(QWidget* parent)
    : TListEditor(QStringLiteral("Form4"), QStringLiteral("Edition des surveillances"),
                  &DataModule2->tblTravaux,
                  {{QStringLiteral("TRAVAUX"), 500, {}}, {QStringLiteral("ORDRE"), 64, {}}},
                  {QStringLiteral("TRAVAUX"), QStringLiteral("SURVEILLANCES"),
                   QStringLiteral("la surveillance")},
                  parent) {}

}  // namespace tavix

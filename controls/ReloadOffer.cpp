#include "controls/ReloadOffer.h"

#include "data/engine/TableDataset.h"
#include "platform/Services.h"

namespace tavix::db {

void postOrOfferReload(TableDataset& dataset) {
    try {
        dataset.post();
    } catch (const RowChangedError& e) {
        if (!messageBoxes().confirm(e.message() +
                                    QStringLiteral("\n\nVoulez-vous relire l'enregistrement ? "
                                                   "Votre modification sera abandonnée.")))
            return;
        dataset.cancel();
        dataset.refresh();
    }
}

}  // namespace tavix::db

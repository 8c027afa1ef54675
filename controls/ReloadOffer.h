#pragma once

namespace tavix::db {

class TableDataset;

// Posts the pending edit. When another workstation changed the row since it
// was read, says so and offers to read it anew (the edit is then dropped);
// declined, the edit stays pending.
void postOrOfferReload(TableDataset& dataset);

}  // namespace tavix::db

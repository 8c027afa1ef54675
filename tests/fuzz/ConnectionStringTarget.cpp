#include "FuzzTargets.h"
#include "data/engine/ConnectionImpl.h"

namespace tavix::fuzz {

void connectionString(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    const QString path = db::detail::dataSource(text);
    // The value is a part of the text, never made up.
    if (!path.isEmpty() && !text.contains(path))
        broken("the Data Source is taken from the text", text, path);
}

}  // namespace tavix::fuzz

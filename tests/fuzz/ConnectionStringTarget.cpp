#include "FuzzTargets.h"
#include "data/engine/Connection.h"
#include "data/engine/ConnectionImpl.h"

namespace tavix::fuzz {

void connectionString(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    const QString path = db::detail::dataSource(text);
    // The value is a part of the text, never made up: as written, or read
    // from between quotes, where its quote mark stands doubled.
    if (!path.isEmpty()) {
        QString doubled = path;
        doubled.replace(u'"', QStringLiteral("\"\""));
        QString singled = path;
        singled.replace(u'\'', QStringLiteral("''"));
        if (!text.contains(path) && !text.contains(doubled) && !text.contains(singled))
            broken("the Data Source is taken from the text", text, path);
    }
    // Any path, once put into a connection string, reads back unchanged.
    const QString back = db::detail::dataSource(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
        db::connectionStringValue(text) + QStringLiteral(";Persist Security Info=False"));
    if (back != text) broken("a path reads back from its connection string", text, back);
}

}  // namespace tavix::fuzz

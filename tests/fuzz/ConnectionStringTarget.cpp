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

    // The same text as a database setting: a server's password is never
    // repeated, and the box that shows the setting drops it whole.
    QString refusal;
    try {
        db::checkDatabaseSetting(text);
    } catch (const Error& e) {
        refusal = e.message();
    }
    if (refusal.isEmpty()) {
        if (db::withoutPassword(text) != text)
            broken("a setting without a password shows as it is", text, db::withoutPassword(text));
        return;
    }
    if (text.size() >= 12 && refusal.contains(text))
        broken("a refused setting is never repeated", text, refusal);
    if (refusal.contains(QStringLiteral("mot de passe"))) {
        const QString shown = db::withoutPassword(text);
        try {
            db::checkDatabaseSetting(shown);
        } catch (const Error& e) {
            broken("the setting shown without its password is accepted", text,
                   shown + QStringLiteral(" : ") + e.message());
        }
        // A setting that held nothing but a password is left empty.
        if (!shown.isEmpty() && db::databaseLabel(shown) != db::databaseLabel(text))
            broken("dropping the password keeps the server and database", text, shown);
    }
}

}  // namespace tavix::fuzz

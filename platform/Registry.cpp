#include "platform/Registry.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace tavix::registry {

namespace {

// A fresh accessor per operation. Only the user's own key counts: no
// organisation-wide or system-wide fallbacks.
std::unique_ptr<QSettings> openStore() {
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("MOLVERAN"), QStringLiteral("TAVIX"));
    settings->setFallbacksEnabled(false);
    return settings;
}

}  // namespace

QString readText(const QString& name) {
    const auto store = openStore();
    // No status check: an unreadable file already reads as empty, and an
    // AccessError may only mean that a refused write could not be flushed.
    const QVariant value = store->value(name);
    QString text;
    switch (value.metaType().id()) {
        case QMetaType::UnknownType:
            return QString();
        case QMetaType::QString:
            text = value.toString();
            break;
#ifndef Q_OS_WIN
        // A hand-edited INI value with unquoted commas comes back as a list;
        // it is still text. (In the registry a multi-string is another type.)
        case QMetaType::QStringList:
            text = value.toStringList().join(QStringLiteral(", "));
            break;
#endif
        default:
            throw wrongType(name);
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text;
}

void writeText(const QString& name, const QString& value) {
    const auto store = openStore();
    // A store that cannot be read (or still holds a change it refused)
    // cannot take this write either; refusing now keeps the undo below exact.
    if (store->status() == QSettings::AccessError) throw writeRefused(name);
    const QVariant previous = store->contains(name) ? store->value(name) : QVariant();
    store->setValue(name, value);
    store->sync();
    if (store->status() == QSettings::AccessError) {
        // QSettings keeps unsaved changes in a per-process cache and would
        // show them to the next reader and save them at the next write; put
        // back what the store holds so the refused value leaves no trace.
        if (previous.isValid())
            store->setValue(name, previous);
        else
            store->remove(name);
        throw writeRefused(name);
    }
}

QString location() { return openStore()->fileName(); }

RegistryError wrongType(const QString& name) {
    return RegistryError(QStringLiteral("Type de données incorrect pour '%1'").arg(name));
}

RegistryError writeRefused(const QString& name) {
    return RegistryError(QStringLiteral("Echec à la définition des données pour '%1'").arg(name));
}

}  // namespace tavix::registry

#include "data/WaitingEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tavix {

namespace {

QJsonObject encode(const QString& database, const QString& key, const LogEntry& e) {
    QJsonObject o;
    o.insert(QStringLiteral("database"), database);
    o.insert(QStringLiteral("key"), key);
    o.insert(QStringLiteral("user"), e.user);
    o.insert(QStringLiteral("client"), e.client);
    o.insert(QStringLiteral("activity"), e.activity);
    o.insert(QStringLiteral("start"), e.start.toIso());
    o.insert(QStringLiteral("end"), e.end.toIso());
    o.insert(QStringLiteral("duration"), e.duration);
    o.insert(QStringLiteral("comment"), e.comment);
    return o;
}

}  // namespace

WaitingEntries::WaitingEntries(QString folder) : folder_(std::move(folder)) {}

QString WaitingEntries::defaultFolder() {
    return QFileInfo(paths::pendingTimingPath()).absolutePath() +
           QStringLiteral("/en-attente-serveur");
}

void WaitingEntries::keep(const QString& database, const QString& key, const LogEntry& entry) {
    QDir().mkpath(folder_);
    // Named by the moment, then the key: listing by name gives the oldest first.
    const QString name = entry.end.toIso().remove(u'-').remove(u':').replace(u' ', u'-') + u'-' +
                         key + QStringLiteral(".json");
    files::writeAtomically(QDir(folder_).filePath(name),
                           QJsonDocument(encode(database, key, entry)).toJson());
}

std::vector<WaitingEntries::Waiting> WaitingEntries::list(const QString& database) const {
    std::vector<Waiting> out;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        if (o.value(QStringLiteral("database")).toString() != database) continue;
        Waiting w;
        w.file = file.fileName();
        w.key = o.value(QStringLiteral("key")).toString();
        LogEntry& e = w.entry;
        e.user = o.value(QStringLiteral("user")).toString();
        e.client = o.value(QStringLiteral("client")).toString();
        e.activity = o.value(QStringLiteral("activity")).toString();
        const auto start = DateTime::fromIso(o.value(QStringLiteral("start")).toString());
        const auto end = DateTime::fromIso(o.value(QStringLiteral("end")).toString());
        if (!start || !end || QUuid(w.key).isNull()) continue;
        e.start = *start;
        e.end = *end;
        e.duration = o.value(QStringLiteral("duration")).toInt();
        e.comment = o.value(QStringLiteral("comment")).toString();
        out.push_back(std::move(w));
    }
    return out;
}

void WaitingEntries::done(const Waiting& waiting) { QFile::remove(waiting.file); }

}  // namespace tavix

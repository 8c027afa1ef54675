#include "data/PendingTiming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

#include "platform/AtomicFile.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Services.h"

namespace tavix {

namespace {

const int kFormat = 1;

QString stamp() {
    const DateTime now = clock().now();
    return now.date().toString(QStringLiteral("yyyyMMdd")) + u'-' +
           now.time().toString(QStringLiteral("HHmmss"));
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

QString dateAndTime(const DateTime& value) {
    return regional::dateToText(value.date()) + u' ' + regional::timeToText(value.time());
}

bool readText(const QJsonObject& o, const char* key, QString& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return false;
    out = v.toString();
    return true;
}

bool readInteger(const QJsonObject& o, const char* key, qint64 min, qint64 max, qint64& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) return false;
    const double d = v.toDouble();
    if (d != static_cast<double>(static_cast<qint64>(d))) return false;
    out = static_cast<qint64>(d);
    return out >= min && out <= max;
}

bool readMoment(const QJsonObject& o, const char* key, DateTime& out) {
    QString text;
    if (!readText(o, key, text)) return false;
    const auto value = DateTime::fromIso(text);
    if (!value) return false;
    out = *value;
    return true;
}

}  // namespace

PendingTiming::PendingTiming(QString path) : path_(std::move(path)) {}

QByteArray PendingTiming::encode(const TimingState& state) {
    QJsonObject o;
    o.insert(QStringLiteral("format"), kFormat);
    o.insert(QStringLiteral("database"), state.database);
    o.insert(QStringLiteral("activityId"), state.activityId);
    o.insert(QStringLiteral("activity"), state.activity);
    o.insert(QStringLiteral("start"), state.start.toIso());
    o.insert(QStringLiteral("elapsedSeconds"), state.elapsedSeconds);
    o.insert(QStringLiteral("client"), state.client);
    o.insert(QStringLiteral("comment"), state.comment);
    o.insert(QStringLiteral("lastSeen"), state.lastSeen.toIso());
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool PendingTiming::decode(const QByteArray& text, TimingState& state) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject o = doc.object();
    TimingState s;
    qint64 format = 0;
    qint64 id = 0;
    qint64 elapsed = 0;
    const qint64 maxInt = std::numeric_limits<qint32>::max();
    const bool complete =
        readInteger(o, "format", kFormat, kFormat, format) && readText(o, "database", s.database) &&
        readInteger(o, "activityId", std::numeric_limits<qint32>::min(), maxInt, id) &&
        readText(o, "activity", s.activity) && readMoment(o, "start", s.start) &&
        readInteger(o, "elapsedSeconds", 0, maxInt, elapsed) && readText(o, "client", s.client) &&
        readText(o, "comment", s.comment) && readMoment(o, "lastSeen", s.lastSeen);
    if (!complete || s.database.isEmpty() || s.activity.isEmpty() || s.lastSeen < s.start)
        return false;
    s.activityId = static_cast<int>(id);
    s.elapsedSeconds = static_cast<qint32>(elapsed);
    state = s;
    return true;
}

void PendingTiming::save(const TimingState& state) {
    try {
        files::writeAtomically(path_, encode(state));
        failing_ = false;
    } catch (const Error&) {
        if (failing_) return;
        failing_ = true;
        throw;
    }
}

void PendingTiming::remove() { QFile::remove(path_); }

PendingTiming::Leftovers PendingTiming::collect(const QString& database) {
    const QFileInfo main(path_);
    QDir dir = main.absoluteDir();
    const QString base = main.completeBaseName();
    const QString suffix = u'.' + main.suffix();

    // Temporary files of a write cut short: the file itself still holds the
    // state before that write.
    for (const QString& temp : dir.entryList({main.fileName() + QStringLiteral(".*")}, QDir::Files))
        dir.remove(temp);

    if (main.exists()) files::setAside(path_, base + u'-' + stamp() + suffix);

    Leftovers found;
    const QStringList names =
        dir.entryList({base + QStringLiteral("-*") + suffix}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString file = dir.filePath(name);
        QFile in(file);
        TimingState state;
        const bool readable = in.open(QIODevice::ReadOnly) && decode(in.readAll(), state);
        in.close();
        if (!readable) {
            const QString aside =
                files::setAside(file, QStringLiteral("surveillance-illisible-") + stamp() + suffix);
            found.reports.append(
                QStringLiteral("Le fichier \"%1\" d'une surveillance non enregistrée ne peut pas "
                               "être relu ; il a été mis de côté sous le nom \"%2\".")
                    .arg(shown(file), shown(aside)));
        } else if (!paths::sameFile(state.database, database)) {
            const QString aside = files::setAside(
                file, QStringLiteral("surveillance-autre-base-") + stamp() + suffix);
            found.reports.append(
                QStringLiteral("Une surveillance non enregistrée (%1, du %2 au %3) appartient à "
                               "la base de données \"%4\", qui n'est plus celle utilisée ; elle a "
                               "été mise de côté dans le fichier \"%5\".")
                    .arg(state.activity, dateAndTime(state.start), dateAndTime(state.lastSeen),
                         shown(state.database), shown(aside)));
        } else {
            found.timings.push_back({file, state});
        }
    }
    return found;
}

void PendingTiming::forget(const Leftover& leftover) { QFile::remove(leftover.file); }

}  // namespace tavix

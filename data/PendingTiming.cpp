#include "data/PendingTiming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
#include <limits>

#include "platform/AtomicFile.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Services.h"

namespace tavix {

namespace {

const int kFormat = 1;

const QUuid kLegacyNamespace(QStringLiteral("{6f1d3c2a-9b7e-4a51-8c0d-2e4f6a8b1c3d}"));

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
    o.insert(QStringLiteral("key"), state.key);
    if (state.stopping) {
        const LogEntry& e = state.stopping->entry;
        QJsonObject entry;
        entry.insert(QStringLiteral("user"), e.user);
        entry.insert(QStringLiteral("client"), e.client);
        entry.insert(QStringLiteral("activity"), e.activity);
        entry.insert(QStringLiteral("start"), e.start.toIso());
        entry.insert(QStringLiteral("end"), e.end.toIso());
        entry.insert(QStringLiteral("duration"), e.duration);
        entry.insert(QStringLiteral("comment"), e.comment);
        entry.insert(QStringLiteral("rowsBefore"), state.stopping->rowsBefore);
        o.insert(QStringLiteral("stopping"), entry);
    }
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
    if (!complete || s.database.isEmpty()) return false;
    if (o.contains(QLatin1String("stopping"))) {
        const QJsonValue v = o.value(QLatin1String("stopping"));
        if (!v.isObject()) return false;
        const QJsonObject e = v.toObject();
        Stopping stopping;
        qint64 duration = 0;
        // A row count beyond 2^53 is no count a double holds exactly.
        const qint64 maxRows = qint64(1) << 53;
        const bool entryComplete =
            readText(e, "user", stopping.entry.user) &&
            readText(e, "client", stopping.entry.client) &&
            readText(e, "activity", stopping.entry.activity) &&
            readMoment(e, "start", stopping.entry.start) &&
            readMoment(e, "end", stopping.entry.end) &&
            readInteger(e, "duration", std::numeric_limits<qint32>::min(), maxInt, duration) &&
            readText(e, "comment", stopping.entry.comment) &&
            readInteger(e, "rowsBefore", 0, maxRows, stopping.rowsBefore);
        if (!entryComplete) return false;
        stopping.entry.duration = static_cast<qint32>(duration);
        s.stopping = stopping;
    }
    // Written without a key by earlier versions: a stop they left half done
    // went in under the key of its values.
    if (o.contains(QLatin1String("key"))) {
        if (!readText(o, "key", s.key) || (!s.key.isEmpty() && QUuid(s.key).isNull())) return false;
    } else {
        s.key = s.stopping ? legacyEntryKey(s.stopping->entry) : newEntryKey();
    }
    // The stopwatch runs ahead of the span between the start and the last
    // save only by what the wall clock was set back meanwhile, which earlier
    // versions wrote as it was: never by more than the widest gap between
    // time zones. A record claiming more is not one this program wrote.
    constexpr qint64 kSetBackAllowance = 26 * 3600;
    if (elapsed > std::max<qint64>(0, s.start.secsTo(s.lastSeen)) + 1 + kSetBackAllowance)
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

void PendingTiming::remove() { files::removeDurably(path_); }

void PendingTiming::store(const QString& file, TimingState state, const LogEntry& entry,
                          const Log& log) {
    const TimingState before = state;
    if (state.key.isEmpty()) state.key = newEntryKey();
    state.stopping = Stopping{entry, log.count(entry, state.key)};
    try {
        files::writeAtomically(file, encode(state));
    } catch (const Error&) {
        // Without the entry in it, the file must go before the insert: a
        // crash in between may then lose the timing, never store it twice.
        if (!files::removeDurably(file)) throw;
    }
    files::announce(files::Step::Commit, state.database);
    try {
        log.insert(entry, state.key);
    } catch (const Error&) {
        // The timing goes on: its file must not claim to be stored.
        try {
            files::writeAtomically(file, encode(before));
        } catch (const Error&) {
        }
        throw;
    }
    // Left behind, the file is recognised as stored at the next start.
    files::removeDurably(file);
}

bool PendingTiming::stored(const TimingState& state, const Log& log) {
    return state.stopping &&
           log.count(state.stopping->entry, state.key) > state.stopping->rowsBefore;
}

PendingTiming::Leftovers PendingTiming::collect(const QString& database) {
    const QFileInfo main(path_);
    QDir dir = main.absoluteDir();
    const QString base = main.completeBaseName();
    const QString suffix = u'.' + main.suffix();

    // Temporary files of a write cut short: the file itself still holds the
    // state before that write.
    for (const QString& temp :
         dir.entryList({base + u'*' + suffix + QStringLiteral(".*")}, QDir::Files))
        files::removeDurably(dir.filePath(temp));

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

void PendingTiming::forget(const Leftover& leftover) { files::removeDurably(leftover.file); }

QString newEntryKey() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QString legacyEntryKey(const LogEntry& e) {
    const QStringList parts = {
        QSysInfo::machineHostName(), e.user,   e.client, e.activity, e.start.toIso(), e.end.toIso(),
        QString::number(e.duration), e.comment};
    return QUuid::createUuidV5(kLegacyNamespace, parts.join(QChar(0x1f)))
        .toString(QUuid::WithoutBraces);
}

}  // namespace tavix

#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include "platform/Registry.h"

namespace tavix::autostart {

namespace {
const QString kValueName = QStringLiteral("tavix");
}  // namespace

#ifdef Q_OS_WIN

namespace {
const QString kRunKey =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}  // namespace

void enable(const QString& executablePath) {
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.setValue(kValueName, QString(u'"' + executablePath + u'"'));
    run.sync();
    if (run.status() == QSettings::AccessError) throw registry::writeRefused(kValueName);
}

void disable() {
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.remove(kValueName);
    run.sync();
}

QString command() {
    QSettings run(kRunKey, QSettings::NativeFormat);
    const QVariant value = run.value(kValueName);
    return value.metaType().id() == QMetaType::QString ? value.toString() : QString();
}

QString location() { return kRunKey; }

QString caption() { return QStringLiteral("Lancer au démarrage de Windows"); }

#else

namespace {

QString folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

// Exec value of a desktop entry: the path as one double-quoted argument,
// then the entry file's own string escapes on top.
QString execValue(const QString& path) {
    QString quoted;
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        if (c == u'%') quoted += u'%';  // a lone % would start a field code
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    QString value;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
            case u'\\':
                value += QStringLiteral("\\\\");
                break;
            case u'\n':
                value += QStringLiteral("\\n");
                break;
            case u'\t':
                value += QStringLiteral("\\t");
                break;
            case u'\r':
                value += QStringLiteral("\\r");
                break;
            default:
                value += c;
        }
    }
    return value;
}

// Undoes execValue(): string escapes first, then the quoting of the one
// argument. Anything else is returned after the string escapes only.
QString commandFromExec(const QString& value) {
    QString line;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            line += c;
            continue;
        }
        switch (value.at(++i).unicode()) {
            case u's':
                line += u' ';
                break;
            case u'n':
                line += u'\n';
                break;
            case u't':
                line += u'\t';
                break;
            case u'r':
                line += u'\r';
                break;
            case u'\\':
                line += u'\\';
                break;
            default:
                line += c;
                line += value.at(i);
        }
    }
    if (line.size() < 2 || !line.startsWith(u'"') || !line.endsWith(u'"')) return line;
    QString path;
    for (qsizetype i = 1; i + 1 < line.size(); ++i) {
        QChar c = line.at(i);
        if (c == u'\\' && i + 2 < line.size())
            c = line.at(++i);
        else if (c == u'%' && line.at(i + 1) == u'%')
            ++i;
        path += c;
    }
    return u'"' + path + u'"';
}

}  // namespace

QString location() { return folder() + QStringLiteral("/tavix.desktop"); }

QString caption() { return QStringLiteral("Lancer à l'ouverture de la session"); }

void enable(const QString& executablePath) {
    // The folder plays the part of the Run key: when it cannot be made,
    // nothing is written and nothing is said.
    if (!QDir().mkpath(folder())) return;
    QSaveFile file(location());
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        const QString entry =
            QStringLiteral("[Desktop Entry]\nType=Application\nName=Tavix\nExec=") +
            execValue(executablePath) + u'\n';
        const QByteArray bytes = entry.toUtf8();
        ok = file.write(bytes) == bytes.size() && file.commit();
    }
    if (!ok) throw registry::writeRefused(kValueName);
}

void disable() { QFile::remove(location()); }

QString command() {
    QFile file(location());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    bool inEntry = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
        } else if (inEntry) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0 && line.left(eq).trimmed() == QStringLiteral("Exec"))
                return commandFromExec(line.mid(eq + 1).trimmed());
        }
    }
    return QString();
}

#endif

}  // namespace tavix::autostart

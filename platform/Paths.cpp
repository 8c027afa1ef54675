#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

#include <cerrno>
#endif

namespace tavix::paths {

namespace {
QString gExecutable;
const QString kExe = QStringLiteral(".exe");
}  // namespace

QString executablePath() {
    if (!gExecutable.isEmpty()) return gExecutable;
    return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
}

void setExecutablePath(const QString& path) { gExecutable = path; }

QString replaceExe(const QString& path, const QString& extension) {
    QString result = path;
    return result.replace(kExe, extension, Qt::CaseSensitive);
}

QString defaultDatabasePath(const QString& executable) {
#ifdef Q_OS_WIN
    if (executable.contains(kExe)) return replaceExe(executable, QStringLiteral(".mdb"));
#else
    // Only a Windows executable is named ".exe": elsewhere the text may sit
    // anywhere in the path (a folder "my.exe.d") and says nothing.
    Q_UNUSED(executable);
#endif
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir::toNativeSeparators(dir + QStringLiteral("/tavix.mdb"));
}

QString helpPath(const QString& executable) {
#ifdef Q_OS_WIN
    if (executable.contains(kExe)) return replaceExe(executable, QStringLiteral(".chm"));
#endif
    const QDir dir = QFileInfo(executable).absoluteDir();
    const QString beside = dir.filePath(QStringLiteral("help/index.html"));
    const QString installed = dir.filePath(QStringLiteral("../share/tavix/help/index.html"));
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return beside;
}

QString pendingTimingPath() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir::toNativeSeparators(dir + QStringLiteral("/surveillance-en-cours.json"));
}

bool sameFile(const QString& a, const QString& b) {
    const auto clean = [](const QString& p) {
        return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(p)).absoluteFilePath());
    };
#ifdef Q_OS_WIN
    return clean(a).compare(clean(b), Qt::CaseInsensitive) == 0;
#else
    return clean(a) == clean(b);
#endif
}

QString closedFolderOnTheWay(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 || errno != EACCES) return {};
    // The deepest folder that can itself be reached is the one that refuses.
    QString folder = QFileInfo(path).absolutePath();
    while (true) {
        if (::stat(QFile::encodeName(folder).constData(), &st) == 0) return folder;
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder) return {};
        folder = up;
    }
#else
    Q_UNUSED(path);
    return {};
#endif
}

}  // namespace tavix::paths

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

}  // namespace tavix::paths

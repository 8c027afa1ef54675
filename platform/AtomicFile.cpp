#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>

#include "platform/Error.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace tavix::files {

namespace {

Error writeError(const QString& path, const QString& reason) {
    return Error(QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2")
                     .arg(QDir::toNativeSeparators(path), reason));
}

// The system's reason in French; the toolkit's own words are English.
QString reasonOf(int error, const QString& fallback) {
    switch (error) {
        case EROFS:
            return QStringLiteral(
                "le disque est en lecture seule ; enregistrez sur un autre disque ou rendez-le "
                "accessible en écriture");
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return QStringLiteral("le disque est plein ; libérez de la place, puis recommencez");
        case EACCES:
        case EPERM:
            return QStringLiteral(
                "accès refusé ; donnez-vous le droit d'écrire dans ce dossier, puis recommencez");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("le dossier n'existe pas");
        case ENAMETOOLONG:
            return QStringLiteral("le chemin est trop long");
        case EIO:
            return QStringLiteral(
                "erreur d'écriture du disque ; vérifiez qu'il est accessible, puis recommencez");
        default:
            return fallback;
    }
}

bool syncToDisk(QFile& file) {
    if (!file.flush()) return false;
#ifdef Q_OS_WIN
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle()))) != 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool replaceFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                         reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    // The rename itself reaches the disk only with its folder.
    const int dir = ::open(QFile::encodeName(QFileInfo(to).absolutePath()).constData(), O_RDONLY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
#endif
}

}  // namespace

void writeAtomically(const QString& path, const QByteArray& data) {
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw writeError(path, QStringLiteral("dossier impossible à créer"));
    QTemporaryFile temp(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!temp.open()) {
        const int error = errno;
        throw writeError(path, reasonOf(error, temp.errorString()));
    }
    if (temp.write(data) != data.size() || !syncToDisk(temp)) {
        const int error = errno;
        throw writeError(path, reasonOf(error, temp.errorString()));
    }
    temp.close();
    if (!replaceFile(temp.fileName(), target.absoluteFilePath()))
        throw writeError(path, QStringLiteral("renommage refusé"));
    temp.setAutoRemove(false);
}

QString setAside(const QString& path, const QString& newFileName) {
    const QFileInfo info(path);
    const QDir dir = info.absoluteDir();
    const QFileInfo wanted(newFileName);
    const QString suffix = wanted.suffix().isEmpty() ? QString() : u'.' + wanted.suffix();
    QString candidate = dir.filePath(newFileName);
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = dir.filePath(wanted.completeBaseName() + u'-' + QString::number(n) + suffix);
    if (!QFile::rename(path, candidate))
        throw Error(QStringLiteral("Impossible de renommer le fichier \"%1\" en \"%2\"")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(candidate)));
    return candidate;
}

}  // namespace tavix::files

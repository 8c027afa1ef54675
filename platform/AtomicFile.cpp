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

StepWatcher* gWatcher = nullptr;

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

bool rename(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                         reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// A rename or a removal reaches the disk only with its folder.
void syncFolder(const QString& folder) {
    announce(Step::SyncFolder, folder);
#ifndef Q_OS_WIN
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
}

}  // namespace

void setStepWatcher(StepWatcher* watcher) { gWatcher = watcher; }

void announce(Step step, const QString& path, const QString& newPath) {
    if (gWatcher) gWatcher->before(step, path, newPath);
}

PreparedFile::PreparedFile(const QString& path, const QByteArray& data) : path_(path) {
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw writeError(path, QStringLiteral("dossier impossible à créer"));
    temp_ = std::make_unique<QTemporaryFile>(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    QTemporaryFile& temp = *temp_;
    if (!temp.open()) {
        const int error = errno;
        throw writeError(path, reasonOf(error, temp.errorString()));
    }
    announce(Step::Write, temp.fileName());
    if (temp.write(data) != data.size()) {
        const int error = errno;
        throw writeError(path, reasonOf(error, temp.errorString()));
    }
    announce(Step::Sync, temp.fileName());
    if (!syncToDisk(temp)) {
        const int error = errno;
        throw writeError(path, reasonOf(error, temp.errorString()));
    }
    temp.close();
}

PreparedFile::~PreparedFile() = default;  // the temporary file goes, unless put

void PreparedFile::put() {
    const QFileInfo target(path_);
    announce(Step::Rename, temp_->fileName(), target.absoluteFilePath());
    if (!rename(temp_->fileName(), target.absoluteFilePath()))
        throw writeError(path_, QStringLiteral("renommage refusé"));
    temp_->setAutoRemove(false);
    syncFolder(target.absolutePath());
}

void writeAtomically(const QString& path, const QByteArray& data) {
    PreparedFile(path, data).put();
}

QString setAside(const QString& path, const QString& newFileName) {
    const QFileInfo info(path);
    const QDir dir = info.absoluteDir();
    const QFileInfo wanted(newFileName);
    const QString suffix = wanted.suffix().isEmpty() ? QString() : u'.' + wanted.suffix();
    QString candidate = dir.filePath(newFileName);
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = dir.filePath(wanted.completeBaseName() + u'-' + QString::number(n) + suffix);
    announce(Step::Rename, info.absoluteFilePath(), candidate);
    if (!QFile::rename(path, candidate))
        throw Error(QStringLiteral("Impossible de renommer le fichier \"%1\" en \"%2\"")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(candidate)));
    syncFolder(dir.absolutePath());
    return candidate;
}

bool removeDurably(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return true;
    announce(Step::Remove, info.absoluteFilePath());
    if (!QFile::remove(path)) return false;
    syncFolder(info.absolutePath());
    return true;
}

}  // namespace tavix::files

#include "data/engine/SqliteErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "data/engine/EngineError.h"
#include "platform/Paths.h"

namespace tavix::db::detail {

namespace {

const QString kChooseAnother =
    QStringLiteral("Choisissez une base Tavix dans « Avancés > Paramètres ».");

QString quoted(const QString& text) { return QStringLiteral("« %1 »").arg(text); }

// The sentence, then what to do on a line of its own.
QString told(const QString& sentence, const QString& advice) {
    return sentence + QStringLiteral(".\n") + advice;
}

QString cannotOpen(const QString& path, const QString& cause, const QString& advice) {
    return told(
        QStringLiteral("Impossible d'ouvrir la base de données %1 : %2").arg(quoted(path), cause),
        advice);
}

QString engineText(sqlite3* db, int rc) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

QString fileOf(sqlite3* db) {
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return name ? QString::fromUtf8(name) : QString();
}

// "la base de données « file »", or without a name for a database that has none.
QString theDatabase(const QString& file) {
    return file.isEmpty() ? QStringLiteral("la base de données")
                          : QStringLiteral("la base de données %1").arg(quoted(file));
}

QString capitalized(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// SQLite's words for a missing table or column, told in French; empty when
// the message is about something else.
QString missingPart(const QString& message) {
    static const QRegularExpression noColumnNamed(
        QStringLiteral("^table (\\S+) has no column named (\\S+)$"));
    static const QRegularExpression noTable(QStringLiteral("^no such table: (?:\\w+\\.)?(\\S+)$"));
    static const QRegularExpression noColumn(QStringLiteral("^no such column: (\\S+)$"));
    if (const auto m = noColumnNamed.match(message); m.hasMatch())
        return QStringLiteral("la colonne %1 est absente de la table %2")
            .arg(quoted(m.captured(2)), quoted(m.captured(1)));
    if (const auto m = noTable.match(message); m.hasMatch())
        return QStringLiteral("la table %1 est absente").arg(quoted(m.captured(1)));
    if (const auto m = noColumn.match(message); m.hasMatch())
        return QStringLiteral("la colonne %1 est absente").arg(quoted(m.captured(1)));
    return {};
}

// "UNIQUE constraint failed: clients.NOM" -> "clients.NOM".
QString constrainedColumn(const QString& message) {
    const qsizetype colon = message.indexOf(QStringLiteral("failed: "));
    return colon < 0 ? QString() : message.mid(colon + 8);
}

QString constraintFailure(sqlite3* db, int rc, const QString& where) {
    const QString message = engineText(db, rc);
    const QString column = constrainedColumn(message);
    const QString in = column.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(quoted(column));
    switch (rc) {
        case SQLITE_CONSTRAINT_TRIGGER:
            // The database's own rule gave its own words.
            return message;
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
        case SQLITE_CONSTRAINT_ROWID:
            return told(QStringLiteral("Cette valeur existe déjà dans %1%2").arg(where, in),
                        QStringLiteral("Saisissez une autre valeur."));
        case SQLITE_CONSTRAINT_NOTNULL:
            return told(QStringLiteral("Une valeur est obligatoire dans %1%2").arg(where, in),
                        QStringLiteral("Saisissez-la, puis recommencez."));
        case SQLITE_CONSTRAINT_DATATYPE:
            return told(
                QStringLiteral("Cette valeur n'est pas du type attendu dans %1%2").arg(where, in),
                QStringLiteral("Corrigez-la, puis recommencez."));
        default:
            return told(QStringLiteral("Cette modification est refusée par une règle de %1%2")
                            .arg(where, in),
                        QStringLiteral("Corrigez la valeur, puis recommencez."));
    }
}

}  // namespace

QString closedFolder(const QString& path) {
    const QString closed = paths::closedFolderOnTheWay(path);
    if (closed.isEmpty()) return {};
    return cannotOpen(
        path,
        QStringLiteral("le dossier %1 n'est pas accessible à cet utilisateur").arg(quoted(closed)),
        QStringLiteral("Demandez l'accès à ce dossier, ou choisissez une base ailleurs dans "
                       "« Avancés > Paramètres »."));
}

QString missingFile(const QString& path) {
    return cannotOpen(path, QStringLiteral("fichier introuvable"),
                      QStringLiteral("Vérifiez le nom du fichier, ou choisissez la base dans "
                                     "« Avancés > Paramètres »."));
}

QString folderNotFile(const QString& path) {
    return cannotOpen(path, QStringLiteral("c'est un dossier et non un fichier"),
                      QStringLiteral("Choisissez le fichier de la base dans « Avancés > "
                                     "Paramètres »."));
}

QString pathRefusal(const QString& path) {
    const QString advice = QStringLiteral(
        "Placez la base dans un dossier au chemin plus court, puis choisissez-la dans "
        "« Avancés > Paramètres ».");
    // No file system in use names a file or folder with more than 255 bytes;
    // the system then answers as if the file did not exist.
    const QStringList names = QDir::fromNativeSeparators(path).split(u'/', Qt::SkipEmptyParts);
    for (const QString& name : names)
        if (QFile::encodeName(name).size() > 255)
            return cannotOpen(
                path,
                QStringLiteral("un nom du chemin compte %1 caractères, plus que les 255 admis")
                    .arg(QFile::encodeName(name).size()),
                advice);
    // SQLite works on the full path and on the same path with "-journal"
    // added, both within its limit.
    const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    const qsizetype limit = (vfs ? vfs->mxPathname : 512) - qsizetype(sizeof("-journal"));
    const qsizetype length = QFile::encodeName(QFileInfo(path).absoluteFilePath()).size();
    if (length > limit)
        return cannotOpen(path,
                          QStringLiteral("son chemin compte %1 caractères, plus que les %2 que le "
                                         "moteur de base de données accepte")
                              .arg(length)
                              .arg(limit),
                          advice);
    return {};
}

QString shortCause(sqlite3* db, int rc) {
    switch (rc & 0xff) {
        case SQLITE_FULL:
            return QStringLiteral("le disque est plein");
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return QStringLiteral("la base est verrouillée par un autre programme");
        case SQLITE_READONLY:
            return QStringLiteral("le fichier ou son dossier est en lecture seule");
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return QStringLiteral("le fichier ne peut pas être créé à cet endroit");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return QStringLiteral("la base est endommagée");
        case SQLITE_IOERR:
            return QStringLiteral("erreur de lecture ou d'écriture du disque");
        case SQLITE_NOMEM:
            return QStringLiteral("mémoire insuffisante");
        default:
            return QStringLiteral("erreur du moteur de base de données (%1)")
                .arg(engineText(db, rc));
    }
}

QString openFailure(const QString& path, sqlite3* db, int rc) {
    switch (rc & 0xff) {
        case SQLITE_NOTADB:
            return cannotOpen(path, QStringLiteral("ce fichier n'est pas une base de données"),
                              kChooseAnother);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return cannotOpen(
                path, QStringLiteral("le fichier est verrouillé par un autre programme"),
                QStringLiteral("Fermez le programme qui l'utilise (peut-être une autre copie de "
                               "Tavix), puis relancez Tavix."));
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            if (const QString refusal = pathRefusal(path); !refusal.isEmpty()) return refusal;
            return cannotOpen(
                path, QStringLiteral("accès au fichier refusé"),
                QStringLiteral("Donnez-vous le droit de lire ce fichier et son dossier, ou "
                               "choisissez une autre base dans « Avancés > Paramètres »."));
        case SQLITE_CORRUPT:
            return cannotOpen(path, QStringLiteral("le fichier est endommagé"),
                              QStringLiteral("Remplacez-le par une copie de sauvegarde."));
        case SQLITE_NOMEM:
            return cannotOpen(path, QStringLiteral("mémoire insuffisante"),
                              QStringLiteral("Fermez d'autres programmes, puis relancez Tavix."));
        case SQLITE_IOERR:
            return cannotOpen(path, QStringLiteral("erreur de lecture du disque"),
                              QStringLiteral("Vérifiez que le disque ou le partage réseau est "
                                             "accessible, puis relancez Tavix."));
        case SQLITE_FULL:
            return cannotOpen(path, QStringLiteral("le disque est plein"),
                              QStringLiteral("Libérez de la place sur le disque, puis relancez "
                                             "Tavix."));
        default:
            return cannotOpen(
                path,
                QStringLiteral("erreur du moteur de base de données (%1)").arg(engineText(db, rc)),
                kChooseAnother);
    }
}

QString failureMessage(sqlite3* db, int rc) {
    const QString file = fileOf(db);
    const QString where = theDatabase(file);
    switch (rc & 0xff) {
        case SQLITE_FULL:
            return told(QStringLiteral("Impossible d'écrire dans %1 : le disque est plein, ou la "
                                       "base a atteint sa taille maximale")
                            .arg(where),
                        QStringLiteral("Libérez de la place sur le disque, puis recommencez. Ce "
                                       "qui n'a pu être écrit n'est pas enregistré."));
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return told(capitalized(QStringLiteral("%1 est verrouillée par un autre programme "
                                                   "(peut-être une autre copie de Tavix)"))
                            .arg(where),
                        QStringLiteral("Attendez qu'il ait fini ou fermez-le, puis recommencez."));
        case SQLITE_READONLY: {
            QString cause = QStringLiteral("le fichier est en lecture seule");
            if (rc == SQLITE_READONLY_DIRECTORY)
                cause = QStringLiteral("son dossier est en lecture seule");
            else if (rc == SQLITE_READONLY_DBMOVED)
                cause = QStringLiteral("le fichier a été déplacé ou supprimé");
            return told(QStringLiteral("Impossible d'écrire dans %1 : %2").arg(where, cause),
                        QStringLiteral("Donnez-vous le droit d'écrire dans ce fichier et son "
                                       "dossier, puis recommencez."));
        }
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            if (!file.isEmpty())
                if (const QString refusal = pathRefusal(file); !refusal.isEmpty()) return refusal;
            return told(
                capitalized(QStringLiteral("accès refusé à %1 ou à son dossier").arg(where)),
                QStringLiteral("Donnez-vous le droit d'y lire et d'y écrire, puis "
                               "recommencez."));
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return told(capitalized(QStringLiteral("%1 est endommagée").arg(where)),
                        QStringLiteral("Fermez Tavix et remplacez-la par une copie de "
                                       "sauvegarde."));
        case SQLITE_IOERR:
            return told(
                QStringLiteral("Erreur de lecture ou d'écriture du disque sur %1").arg(where),
                QStringLiteral("Vérifiez que le disque ou le partage réseau est "
                               "accessible, puis recommencez."));
        case SQLITE_NOMEM:
            return told(QStringLiteral("Mémoire insuffisante pour %1").arg(where),
                        QStringLiteral("Fermez d'autres programmes, puis recommencez."));
        case SQLITE_TOOBIG:
            return told(QStringLiteral("Une valeur est trop grande pour %1").arg(where),
                        QStringLiteral("Raccourcissez-la, puis recommencez."));
        case SQLITE_CONSTRAINT:
            return constraintFailure(db, rc, where);
        case SQLITE_INTERRUPT:
        case SQLITE_ABORT:
            return told(QStringLiteral("L'opération sur %1 a été interrompue").arg(where),
                        QStringLiteral("Recommencez-la."));
        case SQLITE_SCHEMA:
            return told(capitalized(QStringLiteral("%1 a été modifiée par un autre programme "
                                                   "pendant l'opération"))
                            .arg(where),
                        QStringLiteral("Recommencez l'opération."));
        default:
            break;
    }
    const QString message = engineText(db, rc);
    if (const QString missing = missingPart(message); !missing.isEmpty())
        return told(
            capitalized(
                QStringLiteral("%1 n'a pas la forme qu'attend Tavix : %2").arg(where, missing)),
            QStringLiteral("Relancez Tavix pour qu'il propose de la convertir, ou "
                           "choisissez une base Tavix dans « Avancés > Paramètres »."));
    static const QRegularExpression nearSyntax(QStringLiteral("^near \"(.*)\": syntax error$"));
    if (const auto m = nearSyntax.match(message); m.hasMatch())
        return told(QStringLiteral("Instruction incorrecte près de %1").arg(quoted(m.captured(1))),
                    QStringLiteral("Vérifiez les guillemets et les crochets du texte saisi."));
    return told(
        capitalized(
            QStringLiteral("%1 a refusé l'opération (message du moteur : %2)").arg(where, message)),
        QStringLiteral("Vérifiez la base, puis recommencez."));
}

void raiseFailure(sqlite3* db, int rc, const QString& statement) {
    throw EngineError(failureMessage(db, rc), statement);
}

}  // namespace tavix::db::detail

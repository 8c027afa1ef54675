#include "data/engine/pg/PgErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/Paths.h"

namespace tavix::db::pg {

namespace {

bool matches(const QString& text, const char* pattern) {
    return QRegularExpression(QString::fromUtf8(pattern), QRegularExpression::CaseInsensitiveOption)
        .match(text)
        .hasMatch();
}

QString capitalised(const QString& text) {
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

QString told(const QString& server, const QString& what, const QString& todo,
             const QString& detail) {
    QString out = capitalised(server) + QStringLiteral(" : ") + what + u'\n' + todo;
    const QString d = detail.simplified();
    if (!d.isEmpty()) out += QStringLiteral("\nDétail : ") + d;
    return out;
}

const QString kSettings = QStringLiteral("« Avancés > Paramètres »");

}  // namespace

QString serverScriptPath() {
    const QString installed =
        QDir::cleanPath(QFileInfo(paths::executablePath())
                            .dir()
                            .filePath(QStringLiteral("../share/tavix/tavix-serveur.sql")));
    return QFileInfo::exists(installed) ? installed : QStringLiteral("tavix-serveur.sql");
}

QString changeRefused(const QString& server, const QString& role, const QString& writer, qint64 key,
                      bool deleting) {
    const QString by = writer.isEmpty() ? QStringLiteral("par un autre rôle")
                                        : QStringLiteral("par « %1 »").arg(writer);
    return told(
        server,
        QStringLiteral("la surveillance n° %1, écrite %2, ne peut pas être %3 par le rôle "
                       "« %4 » : chaque poste ne modifie et ne supprime que les "
                       "surveillances qu'il a écrites.")
            .arg(key)
            .arg(by, deleting ? QStringLiteral("supprimée") : QStringLiteral("modifiée"), role),
        QStringLiteral("Demandez ce changement à un responsable (membre du groupe "
                       "tavix_responsables), ou annulez votre modification."),
        {});
}

QString purgeRefused(const QString& server, const QString& role, qint64 deleted, qint64 total) {
    return told(server,
                QStringLiteral("la purge est refusée au rôle « %1 » : il ne peut supprimer que "
                               "ses propres surveillances (%2 sur %3) ; rien n'a été supprimé.")
                    .arg(role)
                    .arg(deleted)
                    .arg(total),
                QStringLiteral("Seul un responsable (membre du groupe tavix_responsables) peut "
                               "purger les surveillances de l'équipe."),
                {});
}

QString connectionFailure(const QString& server, const QString& role, const QString& database,
                          const QString& libpqText) {
    const QString& t = libpqText;
    if (matches(t, "r(o|ô)le\\s*[\"«][^\"»]*[\"»]\\s*(does not exist|n'existe pas)"))
        return told(server, QStringLiteral("le rôle « %1 » n'existe pas sur ce serveur.").arg(role),
                    QStringLiteral("Demandez à l'administrateur de créer ce rôle (un par personne, "
                                   "membre du groupe tavix_postes), ou corrigez « user= » dans "
                                   "%1.")
                        .arg(kSettings),
                    t);
    if (matches(t,
                "(database|base de données)\\s*[\"«][^\"»]*[\"»]\\s*(does not exist|n'existe "
                "pas)"))
        return told(
            server, QStringLiteral("la base « %1 » n'existe pas sur ce serveur.").arg(database),
            QStringLiteral("Demandez à l'administrateur de la créer (createdb) et d'y passer "
                           "le script %1, ou corrigez « dbname= » dans %2.")
                .arg(serverScriptPath(), kSettings),
            t);
    if (matches(t,
                "password authentication failed|no password supplied|authentification par mot "
                "de passe|aucun mot de passe|fe_sendauth"))
        return told(
            server,
            QStringLiteral("le mot de passe du rôle « %1 » est absent ou refusé.").arg(role),
            QStringLiteral("Vérifiez la ligne de ce serveur dans le fichier ~/.pgpass "
                           "(hôte:port:base:rôle:mot de passe, lisible par vous seul : "
                           "chmod 600) ; Tavix n'enregistre jamais de mot de passe."),
            t);
    if (matches(t, "pg_hba\\.conf.*(no encryption|SSL off|sans chiffrement|SSL inactif)"))
        return told(server,
                    QStringLiteral("le serveur n'accepte ce poste qu'en connexion chiffrée (TLS)."),
                    QStringLiteral("Ajoutez sslmode=require (ou sslmode=verify-full avec "
                                   "sslrootcert=) à l'adresse du serveur dans %1.")
                        .arg(kSettings),
                    t);
    if (matches(t, "pg_hba\\.conf"))
        return told(
            server,
            QStringLiteral("le serveur n'accepte pas ce poste pour le rôle « %1 ».").arg(role),
            QStringLiteral("Demandez à l'administrateur d'ajouter ce poste au fichier "
                           "pg_hba.conf du serveur."),
            t);
    if (matches(t, "\\bSSL\\b|\\bTLS\\b|certificat"))
        return told(
            server, QStringLiteral("la connexion chiffrée (TLS) a été refusée."),
            QStringLiteral("Vérifiez sslmode= et le certificat de l'autorité (sslrootcert=) "
                           "dans %1, ou demandez à l'administrateur si le serveur accepte "
                           "TLS (ssl = on).")
                .arg(kSettings),
            t);
    if (matches(t,
                "starting up|shutting down|recovery mode|not yet accepting|en cours de "
                "démarrage|en cours d'arrêt|restauration"))
        return told(server,
                    QStringLiteral("le serveur n'accepte pas encore de connexions (il démarre, "
                                   "s'arrête ou se rétablit)."),
                    QStringLiteral("Réessayez dans un moment."), t);
    // The server answered, in words not recognised here.
    if (matches(t, "\\bFATAL\\b"))
        return told(server,
                    QStringLiteral("le serveur a refusé la connexion du rôle « %1 ».").arg(role),
                    QStringLiteral("Vérifiez le rôle (user=) et la base (dbname=) dans %1, ou "
                                   "montrez le détail ci-dessous à l'administrateur.")
                        .arg(kSettings),
                    t);
    return told(server, QStringLiteral("le serveur ne répond pas."),
                QStringLiteral("Vérifiez que le serveur est démarré et joignable depuis ce poste, "
                               "et son adresse (host=, port=) dans %1.")
                    .arg(kSettings),
                t);
}

QString statementFailure(const QString& server, const QString& role, const QString& sqlstate,
                         const QString& primary, const QString& statement) {
    if (sqlstate == u"42501") {
        if (matches(primary, "row-level security|niveau ligne|\\bRLS\\b"))
            return told(server,
                        QStringLiteral("le rôle « %1 » ne peut écrire, modifier ou supprimer que "
                                       "ses propres surveillances.")
                            .arg(role),
                        QStringLiteral("Demandez ce changement à un responsable (membre du groupe "
                                       "tavix_responsables)."),
                        primary);
        if (matches(primary, "must be owner|propriétaire"))
            return told(server,
                        QStringLiteral("seul le propriétaire des tables peut en changer la "
                                       "structure, et ce n'est pas le rôle « %1 ».")
                            .arg(role),
                        QStringLiteral("Demandez à l'administrateur de faire ce changement sur le "
                                       "serveur."),
                        primary);
        if (statement.trimmed().startsWith(QLatin1String("CREATE"), Qt::CaseInsensitive) ||
            matches(primary, "schema|schéma"))
            return told(server,
                        QStringLiteral("le rôle « %1 » n'a pas le droit de créer les tables de "
                                       "Tavix (droit CREATE sur le schéma).")
                            .arg(role),
                        QStringLiteral("Demandez à l'administrateur de passer le script %1 sur "
                                       "cette base : il crée les tables et donne leurs droits aux "
                                       "postes du groupe tavix_postes.")
                            .arg(serverScriptPath()),
                        primary);
        const QRegularExpressionMatch table =
            QRegularExpression(
                QStringLiteral("(table|relation|séquence|sequence)\\s+[\"«]?\\s*([\\w.]+)"),
                QRegularExpression::CaseInsensitiveOption)
                .match(primary);
        const QString what = table.hasMatch()
                                 ? QStringLiteral("la table « %1 »").arg(table.captured(2))
                                 : QStringLiteral("les tables de Tavix");
        return told(server,
                    QStringLiteral("le rôle « %1 » n'a pas le droit de lire ou d'écrire %2.")
                        .arg(role, what),
                    QStringLiteral("Demandez à l'administrateur de mettre ce rôle dans le groupe "
                                   "tavix_postes (GRANT tavix_postes TO %1), après avoir passé le "
                                   "script %2 sur cette base.")
                        .arg(role, serverScriptPath()),
                    primary);
    }
    if (sqlstate == u"25006")
        return told(server,
                    QStringLiteral("ce serveur n'accepte que des lectures (serveur de secours)."),
                    QStringLiteral("Indiquez le serveur principal dans %1 (ou ajoutez "
                                   "target_session_attrs=read-write).")
                        .arg(kSettings),
                    primary);
    if (sqlstate == u"53300")
        return told(server,
                    QStringLiteral("le serveur a atteint son nombre maximal de connexions."),
                    QStringLiteral("Réessayez dans un moment, ou demandez à l'administrateur "
                                   "d'augmenter max_connections."),
                    primary);
    return primary;
}

}  // namespace tavix::db::pg

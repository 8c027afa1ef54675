#include "data/engine/pg/PgConninfo.h"

#include <libpq-fe.h>

#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "data/engine/EngineError.h"

namespace tavix::db::pg {

namespace {

// libpq's reading of a text; its error (which may quote the text) is dropped.
class Options {
public:
    explicit Options(const QString& text) {
        char* error = nullptr;
        list_ = PQconninfoParse(text.toUtf8().constData(), &error);
        if (error) PQfreemem(error);
    }
    ~Options() {
        if (list_) PQconninfoFree(list_);
    }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;

    bool readable() const { return list_ != nullptr; }
    // nullopt when the keyword is not given (an empty value is given).
    std::optional<QString> given(const char* keyword) const {
        for (PQconninfoOption* o = list_; o && o->keyword; ++o)
            if (qstrcmp(o->keyword, keyword) == 0 && o->val) return QString::fromUtf8(o->val);
        return std::nullopt;
    }
    QString value(const char* keyword) const { return given(keyword).value_or(QString()); }
    // Every keyword given, in libpq's order.
    std::vector<std::pair<QString, QString>> givenPairs() const {
        std::vector<std::pair<QString, QString>> out;
        for (PQconninfoOption* o = list_; o && o->keyword; ++o)
            if (o->val) out.emplace_back(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
        return out;
    }
    bool anyGiven() const {
        for (PQconninfoOption* o = list_; o && o->keyword; ++o)
            if (o->val) return true;
        return false;
    }

private:
    PQconninfoOption* list_ = nullptr;
};

// libpq's own keywords, as "(^|\s)(host|port|...)\s*=".
const QRegularExpression& keywordPattern() {
    static const QRegularExpression pattern = [] {
        QStringList keywords;
        if (PQconninfoOption* defaults = PQconndefaults()) {
            for (PQconninfoOption* o = defaults; o->keyword; ++o)
                keywords << QRegularExpression::escape(QString::fromUtf8(o->keyword));
            PQconninfoFree(defaults);
        }
        if (keywords.isEmpty()) keywords << QStringLiteral("host") << QStringLiteral("dbname");
        return QRegularExpression(QStringLiteral("(^|\\s)(%1)\\s*=").arg(keywords.join(u'|')));
    }();
    return pattern;
}

bool isUri(const QString& t) {
    return t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

}  // namespace

bool isServerTarget(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    if (isUri(t)) return true;
    const Options options(t);
    if (options.readable()) return options.anyGiven();
    return keywordPattern().match(t).hasMatch();
}

void refuseSecret(const QString& text) {
    const Options options(text.trimmed());
    if (!options.readable())
        throw EngineError(QStringLiteral(
            "La chaîne de connexion PostgreSQL est illisible : écrivez une adresse "
            "postgresql://serveur/base ou des paires mot-clé=valeur (host=… dbname=…)."));
    if (!options.value("password").isEmpty() || !options.value("sslpassword").isEmpty())
        throw EngineError(QStringLiteral(
            "La chaîne de connexion PostgreSQL contient un mot de passe : il ne doit pas être "
            "enregistré dans les réglages. Retirez-le et placez-le dans le fichier de mots de "
            "passe de PostgreSQL (~/.pgpass) ou dans un fichier de service (pg_service.conf), "
            "puis corrigez la base de données dans « Avancés > Paramètres »."));
}

QString withoutSecret(const QString& text) {
    if (!isServerTarget(text)) return text;
    const Options options(text.trimmed());
    if (!options.readable() ||
        (options.value("password").isEmpty() && options.value("sslpassword").isEmpty()))
        return text;
    QStringList pairs;
    for (const auto& [keyword, value] : options.givenPairs()) {
        if (keyword == u"password" || keyword == u"sslpassword") continue;
        QString quoted = value;
        quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
        // libpq ends a bare value at any blank, a line break or a tab too.
        const bool plain =
            !value.isEmpty() && quoted == value &&
            std::none_of(value.begin(), value.end(), [](QChar c) { return c.isSpace(); });
        pairs << keyword + u'=' + (plain ? value : u'\'' + quoted + u'\'');
    }
    return pairs.join(u' ');
}

QString databaseName(const QString& conninfo) {
    const Options options(conninfo.trimmed());
    if (!options.readable()) return QStringLiteral("postgresql");
    for (const char* key : {"dbname", "service", "user"})
        if (const QString v = options.value(key); !v.isEmpty()) return v;
    return QStringLiteral("postgresql");
}

QString describe(const QString& conninfo) {
    const Options options(conninfo.trimmed());
    if (!options.readable()) return QStringLiteral("serveur PostgreSQL");
    const QString service = options.value("service");
    QString host = options.value("host");
    if (host.isEmpty()) host = options.value("hostaddr");
    if (host.isEmpty()) host = QStringLiteral("local");
    const QString port = options.value("port");
    if (!port.isEmpty()) host += u':' + port;
    QString out = service.isEmpty() ? QStringLiteral("serveur PostgreSQL « %1 »").arg(host)
                                    : QStringLiteral("service PostgreSQL « %1 »").arg(service);
    const QString database = options.value("dbname");
    if (!database.isEmpty()) out += QStringLiteral(", base « %1 »").arg(database);
    return out;
}

QString applicationName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    QString name = QStringLiteral("Tavix %1").arg(QSysInfo::machineHostName());
    if (!user.isEmpty()) name += u'/' + user;
    // The server keeps 63 bytes of printable ASCII; anything else would show as '?'.
    QString out;
    for (const QChar c : name) out += c.unicode() >= 32 && c.unicode() < 127 ? c : QChar(u'_');
    return out.left(63);
}

}  // namespace tavix::db::pg

#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>

#include "app/TimingBus.h"
#include "consult/CsvExport.h"
#include "consult/Entries.h"
#include "consult/IcsExport.h"
#include "consult/Report.h"
#include "consult/Summary.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "platform/Terminal.h"
#include "settings/outils.h"
#include "settings/ui/LoginWindow.h"

namespace tavix::cli {

namespace {

enum Exit { Done = 0, Refused = 1, Usage = 2 };

const QStringList kCommands = {QStringLiteral("start"), QStringLiteral("stop"),
                               QStringLiteral("status"), QStringLiteral("report")};

void say(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// Boxes have no place in a terminal: what a box would say goes to stderr.
class TerminalBoxes : public MessageBoxes {
public:
    bool confirm(const QString& text) override {
        say(text);
        return false;
    }
    bool confirmOkCancel(const QString& text) override { return confirm(text); }
    bool confirmDestructive(const QString& text) override { return confirm(text); }
    bool confirmOkCancelDestructive(const QString& text) override { return confirm(text); }
    Answer ask(const QString& text) override {
        say(text);
        return Answer::Cancel;
    }
    int choose(const QString& text, const QStringList&) override {
        say(text);
        return 0;
    }
    void inform(const QString& text) override { say(text); }
    void error(const QString& text) override { say(text); }
};

QString listed(const QStringList& names) {
    return names.isEmpty() ? QStringLiteral("aucun")
                           : QStringLiteral("« %1 »").arg(names.join(QStringLiteral(" », « ")));
}

QByteArray jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// One line of JSON, its keys in the order the interface documents them.
QByteArray statusJson(const QVariantMap& status) {
    if (!status.value(QStringLiteral("running")).toBool()) return "{\"running\": false}";
    QByteArray out = "{\"running\": true";
    out += ", \"activity\": " + jsonString(status.value(QStringLiteral("activity")).toString());
    out += ", \"client\": " + jsonString(status.value(QStringLiteral("client")).toString());
    out += ", \"start\": " + jsonString(status.value(QStringLiteral("start")).toString());
    out += ", \"elapsed\": " +
           QByteArray::number(status.value(QStringLiteral("elapsed")).toLongLong());
    out += ", \"comment\": " + jsonString(status.value(QStringLiteral("comment")).toString());
    return out + '}';
}

QString statusText(const QVariantMap& status) {
    if (!status.value(QStringLiteral("running")).toBool())
        return QStringLiteral("Aucune surveillance en cours.");
    QStringList parts = {status.value(QStringLiteral("activity")).toString()};
    const QString client = status.value(QStringLiteral("client")).toString();
    if (!client.isEmpty()) parts.append(client);
    parts.append(SecondsToHMS(qint32(status.value(QStringLiteral("elapsed")).toLongLong())));
    const QDateTime start =
        QDateTime::fromString(status.value(QStringLiteral("start")).toString(), Qt::ISODate);
    return parts.join(QStringLiteral(" — ")) +
           QStringLiteral(" (depuis %1)").arg(start.toString(QStringLiteral("HH:mm")));
}

QDBusConnection bus() { return QDBusConnection::sessionBus(); }

bool copyRuns() {
    QDBusConnectionInterface* names = bus().interface();
    return names && names->isServiceRegistered(TimingBus::kService).value();
}

// Starts the program as the desktop would, and waits for it on the bus.
bool startCopy() {
    if (!bus().isConnected()) {
        say(QStringLiteral("Le bus de session est injoignable : Tavix ne peut pas être commandé."));
        return false;
    }
    if (copyRuns()) return true;
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {})) {
        say(QStringLiteral("Tavix n'a pas pu être lancé (%1).")
                .arg(QCoreApplication::applicationFilePath()));
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (copyRuns()) return true;
        QThread::msleep(100);
    }
    say(QStringLiteral("Tavix a été lancé mais ne répond pas sur le bus de session."));
    return false;
}

QDBusMessage call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(TimingBus::kService, TimingBus::kPath,
                                                          TimingBus::kInterface, method);
    message.setArguments(arguments);
    // A copy just started answers once its window is up.
    const QDeadlineTimer deadline(30000);
    for (;;) {
        const QDBusMessage reply = bus().call(message, QDBus::Block, 60000);
        if (reply.errorName() != QLatin1String("fr.molveran.Tavix.Error.Starting") ||
            deadline.hasExpired())
            return reply;
        QThread::msleep(200);
    }
}

// Parses `arguments` (the command first); nullopt-like: the exit code to
// return at once (help shown, or a usage error told).
int parse(QCommandLineParser& parser, const QStringList& arguments, bool& stop) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Affiche cette aide."));
    parser.addOption(help);
    stop = true;
    if (!parser.parse(arguments)) {
        const QString error = parser.errorText();
        static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'"));
        if (!parser.unknownOptionNames().isEmpty())
            say(QStringLiteral("Option inconnue : --%1.")
                    .arg(parser.unknownOptionNames().join(QStringLiteral(", --"))));
        else if (const QRegularExpressionMatch m = missing.match(error); m.hasMatch())
            say(QStringLiteral("Valeur manquante après %1.").arg(m.captured(1)));
        else
            say(error);
        say(QStringLiteral("Voir : tavix %1 --help").arg(arguments.value(0)));
        return Usage;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(QStringLiteral("Usage: ") + QCoreApplication::arguments().constFirst(),
                     QStringLiteral("Utilisation : tavix ") + arguments.value(0));
        text.replace(QStringLiteral("Options:"), QStringLiteral("Options :"));
        text.replace(QStringLiteral("Arguments:"), QStringLiteral("Arguments :"));
        print(text.toUtf8());
        return Done;
    }
    stop = false;
    return Done;
}

int usage(const QString& text, const QString& command) {
    say(text);
    say(QStringLiteral("Voir : tavix %1 --help").arg(command));
    return Usage;
}

int replied(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        say(reply.errorMessage());
        return Refused;
    }
    return Done;
}

// The access code typed on the terminal: the running copy checks it again
// before it tells its status through its login.
std::optional<std::pair<QString, QString>> typedCode;

// With a start-up access code, what reads the log asks for it on the
// terminal, never as an argument; without a terminal it is refused.
bool codeGiven() {
    const QString user = ReadSetting(QStringLiteral("user"));
    const QString pwd = ReadSetting(QStringLiteral("pwd"));
    if (user.isEmpty() || pwd.isEmpty() || LockSettings(ReadConfig())) return true;
    if (!terminal::interactive()) {
        say(
            QStringLiteral("Un code d'accès protège Tavix : lancez la commande depuis un terminal "
                           "pour le saisir."));
        return false;
    }
    const std::optional<QString> name = terminal::ask(QStringLiteral("Utilisateur : "), false);
    const std::optional<QString> password =
        name ? terminal::ask(QStringLiteral("Mot de passe : "), true) : std::nullopt;
    if (name && password && LoginWindow::Matches(*name, *password)) {
        typedCode = std::pair(*name, *password);
        return true;
    }
    say(QStringLiteral("Code d'accès incorrect : rien n'a été fait."));
    return false;
}

int runStart(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Démarre la surveillance d'une activité dans Tavix (lancé au besoin)."));
    parser.addPositionalArgument(QStringLiteral("ACTIVITÉ"),
                                 QStringLiteral("Le nom de la surveillance, tel que Tavix "
                                                "l'affiche."));
    const QCommandLineOption client(QStringLiteral("client"), QStringLiteral("Le client."),
                                    QStringLiteral("CLIENT"));
    const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("Un commentaire."),
                                     QStringLiteral("TEXTE"));
    parser.addOption(client);
    parser.addOption(comment);
    bool stop = false;
    const int code = parse(parser, arguments, stop);
    if (stop) return code;
    const QStringList rest = parser.positionalArguments();
    if (rest.size() != 1)
        return usage(QStringLiteral("Une et une seule surveillance est attendue."),
                     QStringLiteral("start"));
    if (!startCopy()) return Refused;
    return replied(
        call(QStringLiteral("Start"), {rest[0], parser.value(client), parser.value(comment)}));
}

int runStop(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Arrête la surveillance en cours et enregistre son entrée."));
    const QCommandLineOption comment(QStringLiteral("comment"),
                                     QStringLiteral("Un commentaire, à la place de celui saisi."),
                                     QStringLiteral("TEXTE"));
    parser.addOption(comment);
    bool stop = false;
    const int code = parse(parser, arguments, stop);
    if (stop) return code;
    if (!parser.positionalArguments().isEmpty())
        return usage(
            QStringLiteral("Argument inattendu : %1.").arg(parser.positionalArguments().value(0)),
            QStringLiteral("stop"));
    if (!startCopy()) return Refused;
    return replied(call(QStringLiteral("Stop"), {parser.value(comment)}));
}

// Hands each status the running copy pushes to `each`.
class WatchRelay : public QObject {
    Q_OBJECT
public:
    explicit WatchRelay(std::function<void(const QVariantMap&)> each) : each_(std::move(each)) {}
public slots:
    void changed(const QVariantMap& status) { each_(status); }

private:
    std::function<void(const QVariantMap&)> each_;
};

int runStatus(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Dit la surveillance en cours."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Un objet JSON sur une ligne."));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Une nouvelle ligne à chaque changement."));
    parser.addOption(json);
    parser.addOption(watch);
    bool stop = false;
    const int code = parse(parser, arguments, stop);
    if (stop) return code;
    if (!parser.positionalArguments().isEmpty())
        return usage(
            QStringLiteral("Argument inattendu : %1.").arg(parser.positionalArguments().value(0)),
            QStringLiteral("status"));
    if (!codeGiven()) return Refused;
    const bool asJson = parser.isSet(json);
    const auto show = [asJson](const QVariantMap& status) {
        if (asJson)
            print(statusJson(status) + '\n');
        else
            print(statusText(status).toUtf8() + '\n');
    };
    if (!bus().isConnected()) {
        say(QStringLiteral("Le bus de session est injoignable."));
        return Refused;
    }
    if (!copyRuns()) {
        show({{QStringLiteral("running"), false}});
    } else {
        const QDBusMessage reply = typedCode ? call(QStringLiteral("StatusWithCode"),
                                                    {typedCode->first, typedCode->second})
                                             : call(QStringLiteral("Status"));
        if (reply.type() == QDBusMessage::ErrorMessage) return replied(reply);
        show(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
    }
    if (!parser.isSet(watch)) return Done;

    // Pushed by the running copy at every change: no polling.
    WatchRelay relay(show);
    if (!bus().connect(TimingBus::kService, TimingBus::kPath, TimingBus::kInterface,
                       QStringLiteral("Changed"), &relay, SLOT(changed(QVariantMap)))) {
        say(QStringLiteral("Les changements de Tavix ne peuvent pas être suivis."));
        return Refused;
    }
    return QCoreApplication::exec();
}

std::optional<QDate> dateOption(const QString& text) {
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid()) return std::nullopt;
    return date;
}

int runReport(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Écrit les entrées choisies sur la sortie standard, comme la fenêtre de "
                       "consultation les rapporte et les exporte."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("Premier jour."),
                                  QStringLiteral("AAAA-MM-JJ"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Dernier jour."),
                                QStringLiteral("AAAA-MM-JJ"));
    const QCommandLineOption client(QStringLiteral("client"), QStringLiteral("Un seul client."),
                                    QStringLiteral("CLIENT"));
    const QCommandLineOption activity(QStringLiteral("activity"),
                                      QStringLiteral("Une seule surveillance."),
                                      QStringLiteral("ACTIVITÉ"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("text (par défaut), csv, json ou ical."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    parser.addOptions({from, to, client, activity, format});
    bool stop = false;
    const int code = parse(parser, arguments, stop);
    if (stop) return code;
    const QString kind = parser.value(format);
    const QStringList kinds = {QStringLiteral("text"), QStringLiteral("csv"),
                               QStringLiteral("json"), QStringLiteral("ical")};
    if (!kinds.contains(kind))
        return usage(QStringLiteral("Format inconnu : %1 (text, csv, json ou ical).").arg(kind),
                     QStringLiteral("report"));
    EntryFilter filter;
    filter.all = !parser.isSet(from) && !parser.isSet(to);
    const std::optional<QDate> first = dateOption(parser.value(from));
    const std::optional<QDate> last = dateOption(parser.value(to));
    if (parser.isSet(from) && !first)
        return usage(QStringLiteral("Date incorrecte pour --from : %1 (AAAA-MM-JJ).")
                         .arg(parser.value(from)),
                     QStringLiteral("report"));
    if (parser.isSet(to) && !last)
        return usage(
            QStringLiteral("Date incorrecte pour --to : %1 (AAAA-MM-JJ).").arg(parser.value(to)),
            QStringLiteral("report"));
    filter.from = first.value_or(QDate(1900, 1, 1));
    // The selection ends before the day after `to`: that day keeps a
    // four-digit year, as a file compares its dates as text.
    filter.to = std::min(last.value_or(QDate(9999, 12, 30)), QDate(9999, 12, 30));

    if (!codeGiven()) return Refused;
    TDataModule2 module;
    const QString sgbd = ReadSetting(QStringLiteral("sgbd"));
    module.DatabasePath =
        sgbd.isEmpty() ? paths::defaultDatabasePath(paths::executablePath()) : sgbd;
    if (!module.OpenDatabase()) {
        say(QStringLiteral("La base de données %1 ne peut pas être ouverte.")
                .arg(db::databaseLabel(module.DatabasePath)));
        return Refused;
    }
    const auto known = [&](const char* table, const char* column) {
        QStringList names;
        db::Query query(module.ADOConnection1);
        query.add(
            QStringLiteral("SELECT %1 FROM %2").arg(QLatin1String(column), QLatin1String(table)));
        query.open();
        for (; !query.eof(); query.next()) names.append(query.asString(QLatin1String(column)));
        return names;
    };
    if (parser.isSet(client)) {
        const QStringList clients = known("clients", "NOM");
        if (!clients.contains(parser.value(client))) {
            say(QStringLiteral("Client inconnu : « %1 ». Clients connus : %2.")
                    .arg(parser.value(client), listed(clients)));
            return Refused;
        }
        filter.client = parser.value(client);
    }
    if (parser.isSet(activity)) {
        const QStringList activities = known("travaux", "TRAVAUX");
        if (!activities.contains(parser.value(activity))) {
            say(QStringLiteral("Surveillance inconnue : « %1 ». Surveillances connues : %2.")
                    .arg(parser.value(activity), listed(activities)));
            return Refused;
        }
        filter.activity = parser.value(activity);
    }

    QByteArray out;
    if (kind == QLatin1String("text")) {
        ReportWriter writer(true);
        forEachEntry(module.ADOConnection1, filter, [&](const Entry& e) {
            writer.add(ReportWriter::Entry{
                e.user, e.activity, e.client, regional::dateTimeToText(e.start),
                regional::dateTimeToText(e.end), e.start, e.end, qint32(e.duration), e.comment});
        });
        out = writer.finish();
    } else if (kind == QLatin1String("csv")) {
        EntriesCsv csv{Rounding{}};
        forEachEntry(module.ADOConnection1, filter, [&](const Entry& e) { csv.add(e); });
        out = csv.take();
    } else if (kind == QLatin1String("ical")) {
        IcsWriter ics({}, clock().now());
        forEachEntry(module.ADOConnection1, filter, [&](const Entry& e) { ics.add(e); });
        out = ics.take();
    } else {
        out = "[";
        bool firstEntry = true;
        forEachEntry(module.ADOConnection1, filter, [&](const Entry& e) {
            if (!std::exchange(firstEntry, false)) out += ",\n ";
            out += "{\"user\": " + jsonString(e.user) +
                   ", \"activity\": " + jsonString(e.activity) +
                   ", \"client\": " + jsonString(e.client) +
                   ", \"start\": " + jsonString(isoLocal(e.start)) +
                   ", \"end\": " + jsonString(isoLocal(e.end)) +
                   ", \"duration\": " + QByteArray::number(e.duration) +
                   ", \"comment\": " + jsonString(e.comment) + "}";
        });
        out += "]\n";
    }
    print(out);
    return Done;
}

}  // namespace

bool isCommand(int argc, char** argv) {
    if (argc < 2) return false;
    // A bare word is a command, known or mistyped; a mistyped one must not
    // open the window behind the user's back. Options stay Qt's (-platform…).
    const QString first = QString::fromLocal8Bit(argv[1]);
    return kCommands.contains(first) || !first.startsWith(QLatin1Char('-')) ||
           first == QLatin1String("--help") || first == QLatin1String("-h");
}

int run(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The window's names: the same settings and the same default database.
    QCoreApplication::setOrganizationName(QStringLiteral("MOLVERAN"));
    QCoreApplication::setApplicationName(QStringLiteral("TAVIX"));
    TerminalBoxes boxes;
    setMessageBoxes(&boxes);
    const QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.value(1);
    int code = Refused;
    try {
        if (command == QLatin1String("start"))
            code = runStart(arguments.mid(1));
        else if (command == QLatin1String("stop"))
            code = runStop(arguments.mid(1));
        else if (command == QLatin1String("status"))
            code = runStatus(arguments.mid(1));
        else if (command == QLatin1String("report"))
            code = runReport(arguments.mid(1));
        else if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
            print(QStringLiteral("Utilisation : tavix [commande] [options]\n"
                                 "Sans commande, ouvre la fenêtre de surveillance.\n\n"
                                 "Commandes :\n"
                                 "  start    démarre une surveillance\n"
                                 "  stop     arrête la surveillance en cours\n"
                                 "  status   dit la surveillance en cours\n"
                                 "  report   écrit le journal (text, csv, json ou ical)\n\n"
                                 "Voir : tavix <commande> --help\n")
                      .toUtf8());
            code = Done;
        } else {
            say(QStringLiteral("Commande inconnue : « %1 ». Commandes : %2.")
                    .arg(command, kCommands.join(QStringLiteral(", "))));
            say(QStringLiteral("Voir : tavix --help"));
            code = Usage;
        }
    } catch (const Error& error) {
        say(error.message());
        code = Refused;
    }
    setMessageBoxes(nullptr);
    return code;
}

}  // namespace tavix::cli

#include "CommandLine.moc"

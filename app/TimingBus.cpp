#include "app/TimingBus.h"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QTextEdit>

#include "app/Unit1.h"
#include "consult/CsvExport.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Error.h"
#include "settings/ui/LoginWindow.h"
#include "timingadaptor.h"

namespace tavix {

const QString TimingBus::kService = QStringLiteral("fr.molveran.Tavix");
const QString TimingBus::kPath = QStringLiteral("/fr/molveran/Tavix");
const QString TimingBus::kInterface = QStringLiteral("fr.molveran.Tavix.Timing");

namespace {

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(TimingBus* bus) : QDBusAbstractAdaptor(bus), bus_(bus) {}

public slots:
    void Activate(const QVariantMap& platformData) { bus_->activate(platformData); }
    // Tavix opens no files: the window comes forward.
    void Open(const QStringList&, const QVariantMap& platformData) { bus_->activate(platformData); }
    void ActivateAction(const QString& name, const QVariantList&, const QVariantMap& platformData) {
        bus_->activateAction(name, platformData);
    }

private:
    TimingBus* bus_;
};

QString listed(const QStringList& names) {
    return names.isEmpty() ? QStringLiteral("aucune")
                           : QStringLiteral("« %1 »").arg(names.join(QStringLiteral(" », « ")));
}

}  // namespace

TimingBus::TimingBus(TForm1& form) : QObject(&form), form_(form) {
    new TimingAdaptor(this);
    new ApplicationAdaptor(this);
    TimingSession* timing = form.Timing;
    connect(timing, &TimingSession::started, this, [this] {
        emit Started(status());
        emit Changed(status());
    });
    connect(timing, &TimingSession::changed, this, [this] { emit Changed(status()); });
    connect(timing, &TimingSession::stopped, this, [this](const LogEntry& entry) {
        QVariantMap stored;
        if (!entry.activity.isEmpty()) {
            stored = {{QStringLiteral("activity"), entry.activity},
                      {QStringLiteral("client"), entry.client},
                      {QStringLiteral("start"), isoLocal(entry.start)},
                      {QStringLiteral("end"), isoLocal(entry.end)},
                      {QStringLiteral("duration"), qint64(entry.duration)},
                      {QStringLiteral("comment"), entry.comment}};
        }
        emit Stopped(stored);
        emit Changed(status());
    });
}

bool TimingBus::publish(QDBusConnection bus) {
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(kPath, this)) return false;
    if (!bus.registerService(kService)) {
        qWarning("tavix: %s: the name is taken on the session bus", qPrintable(kService));
        bus.unregisterObject(kPath);
        return false;
    }
    return true;
}

QVariantMap TimingBus::status() const {
    const TimingSession& timing = *form_.Timing;
    if (!timing.running()) return {{QStringLiteral("running"), false}};
    return {{QStringLiteral("running"), true},
            {QStringLiteral("activity"), timing.activity()},
            {QStringLiteral("client"), timing.client()},
            {QStringLiteral("start"), isoLocal(timing.start())},
            {QStringLiteral("elapsed"), qint64(timing.elapsedSeconds())},
            {QStringLiteral("comment"), timing.comment()}};
}

void TimingBus::activate(const QVariantMap& platformData) {
    QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (token.isEmpty())
        token = platformData.value(QStringLiteral("desktop-startup-id")).toString();
    form_.bringForward(token);
}

void TimingBus::activateAction(const QString& name, const QVariantMap& platformData) {
    if (name == QLatin1String("stop")) {
        Stop(QString());
    } else if (name == QLatin1String("show")) {
        activate(platformData);
    } else if (calledFromDBus()) {
        sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                       QStringLiteral("Action inconnue : « %1 » (stop ou show).").arg(name));
    }
}

void TimingBus::refuse(const char* error, const QString& message) {
    if (calledFromDBus())
        sendErrorReply(QStringLiteral("fr.molveran.Tavix.Error.") + QLatin1String(error), message);
}

bool TimingBus::mayAct(bool changes, bool codeGiven) {
    if (!form_.acceptsActions() && (changes || !codeGiven)) {
        refuse("Locked", QStringLiteral("Tavix attend son code d'accès : rien n'a été fait."));
        return false;
    }
    // Not shown yet: the login may still come, and the lists are not built.
    if (!form_.firstShowingRan() && !QApplication::activeModalWidget()) {
        refuse("Starting", QStringLiteral("Tavix démarre : rien n'a été fait. Recommencez dans "
                                          "un instant."));
        return false;
    }
    // A question, a chooser or an editor of the window holds its own
    // answer to come: one timing, one entry.
    if (changes && (QApplication::activeModalWidget() || form_.Timing->stopping())) {
        refuse("Busy", QStringLiteral("Tavix attend une réponse dans sa fenêtre : rien n'a été "
                                      "fait. Répondez-y, puis recommencez."));
        return false;
    }
    return true;
}

void TimingBus::Start(const QString& activity, const QString& client, const QString& comment) {
    if (!mayAct(true)) return;
    TimingSession& timing = *form_.Timing;
    if (timing.running()) {
        refuse(
            "Refused",
            QStringLiteral("Une surveillance est déjà en cours : « %1 ».").arg(timing.activity()));
        return;
    }
    TColorButton* button = nullptr;
    for (const auto& candidate : DataModule2->ActivityButtons)
        if (candidate && captionText(candidate->text()) == activity) button = candidate;
    if (!button) {
        refuse("UnknownActivity", QStringLiteral("Surveillance inconnue : « %1 ». Surveillances "
                                                 "connues : %2.")
                                      .arg(activity, listed(Activities())));
        return;
    }
    const QStringList clients = Clients();
    if (!client.isEmpty() && !clients.contains(client)) {
        refuse("UnknownClient", QStringLiteral("Client inconnu : « %1 ». Clients connus : %2.")
                                    .arg(client, listed(clients)));
        return;
    }
    form_.RichEdit->setPlainText(comment);
    if (!client.isEmpty()) {
        form_.RadioGroup1->setItemIndex(
            static_cast<int>(form_.RadioGroup1->items().indexOf(client)));
        form_.RadioGroup1Click();
    }
    form_.ButtonClick(button);
}

void TimingBus::Stop(const QString& comment) {
    if (!mayAct(true)) return;
    TimingSession& timing = *form_.Timing;
    if (!timing.running()) {
        refuse("Refused", QStringLiteral("Aucune surveillance n'est en cours."));
        return;
    }
    const Instant at = Instant::now();
    if (timing.client().isEmpty() && form_.RadioGroup1->itemIndex() < 0) {
        refuse("Refused", QStringLiteral("Aucun client n'est choisi pour « %1 » : choisissez-le "
                                         "dans la fenêtre de Tavix, puis recommencez.")
                              .arg(timing.activity()));
        return;
    }
    if (!comment.isEmpty()) form_.RichEdit->setPlainText(comment);
    try {
        form_.StopTiming(at);
    } catch (const Error& error) {
        refuse("Failed", error.message());
    }
}

QVariantMap TimingBus::Status() {
    if (!mayAct(false)) return {};
    return status();
}

QVariantMap TimingBus::StatusWithCode(const QString& user, const QString& code) {
    if (!mayAct(false, LoginWindow::Matches(user, code))) return {};
    return status();
}

QStringList TimingBus::Activities() {
    QStringList names;
    if (!mayAct(false) || !DataModule2) return names;
    for (const auto& button : DataModule2->ActivityButtons)
        if (button) names.append(captionText(button->text()));
    return names;
}

QStringList TimingBus::Clients() {
    if (!mayAct(false)) return {};
    return form_.RadioGroup1->items();
}

}  // namespace tavix

#include "TimingBus.moc"

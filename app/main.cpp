#include <QDBusConnection>

#include "app/AwayWatcher.h"
#include "app/CommandLine.h"
#include "app/TimingBus.h"
#include "app/TrayIndicator.h"
#include "app/Unit1.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Services.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "resources/Resources.h"

int main(int argc, char** argv) {
    // A command (start, stop, status, report) runs without any window.
    if (tavix::cli::isCommand(argc, argv)) return tavix::cli::run(argc, argv);
    tavix::Application app(argc, argv);
    tavix::initResources();
    tavix::application::setTitle(QStringLiteral("Tavix - surveillance de tâches"));
    tavix::application::setIcon(QStringLiteral("MAINICON"));
    // Every help request goes through the tracking window's hook.
    tavix::application::setHelpHook({});

    // One copy per user: two copies would offer and store the same timing.
    tavix::SingleInstance instance;
    switch (instance.acquire()) {
        case tavix::SingleInstance::Outcome::First:
            break;
        case tavix::SingleInstance::Outcome::Forwarded:
            return 0;
        case tavix::SingleInstance::Outcome::Unanswered:
            tavix::messageBoxes().inform(QStringLiteral(
                "Tavix est déjà ouvert pour cet utilisateur, mais ne répond pas.\n"
                "Attendez qu'il réponde ou fermez-le, puis lancez Tavix de nouveau."));
            return 1;
        case tavix::SingleInstance::Outcome::NoLock:
            tavix::messageBoxes().inform(
                QStringLiteral("Tavix ne peut pas vérifier qu'il n'est pas déjà ouvert : aucun "
                               "verrou ne peut être créé dans « %1 ».\n"
                               "Libérez de la place ou rendez %2 accessible en écriture, "
                               "puis lancez Tavix de nouveau.")
                    .arg(instance.folders().join(QStringLiteral(" » ni dans « ")),
                         instance.folders().size() > 1 ? QStringLiteral("l'un de ces dossiers")
                                                       : QStringLiteral("ce dossier")));
            return 1;
    }
    // Logout and shutdown end the program the ordinary way.
    tavix::TerminationSignals ending;

    tavix::TDataModule2 dataModule;
    tavix::TForm1 form;
    QObject::connect(&instance, &tavix::SingleInstance::activationRequested, &form,
                     [&form](const QString& token) { form.bringForward(token); });
    QObject::connect(&ending, &tavix::TerminationSignals::received, &form,
                     [&form] { form.endProgram(); });
    // Both belong to the window.
    new tavix::TrayIndicator(form);
    new tavix::AwayWatcher(form);
    // Panels, scripts and the command line reach the timing on the bus.
    (new tavix::TimingBus(form))->publish(QDBusConnection::sessionBus());
    form.show();
    // The first showing runs inside the loop once the window is on screen; a
    // restart accepted there ends the loop, and the program with it.
    return app.exec();
}

#include "app/AwayWatcher.h"
#include "app/TrayIndicator.h"
#include "app/Unit1.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "resources/Resources.h"

int main(int argc, char** argv) {
    tavix::Application app(argc, argv);
    tavix::initResources();
    tavix::application::setTitle(QStringLiteral("Tavix - surveillance de tâches"));
    tavix::application::setIcon(QStringLiteral("MAINICON"));
    // Every help request goes through the tracking window's hook.
    tavix::application::setHelpHook({});

    tavix::TDataModule2 dataModule;
    tavix::TForm1 form;
    // Both belong to the window.
    new tavix::TrayIndicator(form);
    new tavix::AwayWatcher(form);
    form.show();
    // The first showing runs inside the loop once the window is on screen; a
    // restart accepted there ends the loop, and the program with it.
    return app.exec();
}

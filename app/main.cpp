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
    form.show();
    // A restart accepted during the first showing ends the program here.
    if (tavix::application::terminated()) return 0;
    return app.exec();
}

// Registers the stand-in org.freedesktop.ScreenSaver and, with --tray, a
// tray host's org.kde.StatusNotifierWatcher on the session bus, for trying
// the tray and the away time by hand. The idle time grows from the start
// and from each Touch:
//   gdbus call --session --dest org.freedesktop.ScreenSaver
//     --object-path /org/freedesktop/ScreenSaver
//     --method org.freedesktop.ScreenSaver.Touch
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

#include "DesktopStandIns.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    tavix::test::ScreenSaverStandIn saver;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        std::fprintf(stderr, "desktop-standins: cannot register on the session bus\n");
        return 1;
    }
    tavix::test::TrayWatcherStandIn tray;
    if (app.arguments().contains(QStringLiteral("--tray")) &&
        (!bus.registerObject(
             QStringLiteral("/StatusNotifierWatcher"), &tray,
             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
         !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))) {
        std::fprintf(stderr, "desktop-standins: cannot register the tray watcher\n");
        return 1;
    }
    return app.exec();
}

#include "platform/Sleep.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QPointer>

namespace tavix {

LogindSleepSource::LogindSleepSource(const QString& busName, QObject* parent)
    : SleepSource(parent) {
    QDBusConnection bus =
        busName.isEmpty() ? QDBusConnection::systemBus() : QDBusConnection(busName);
    listening_ = bus.isConnected() &&
                 bus.connect(QStringLiteral("org.freedesktop.login1"),
                             QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"),
                             QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void LogindSleepSource::prepareForSleep(bool start) {
    if (start)
        emit sleeping();
    else
        emit resumed();
}

namespace {
SleepSource* gSleep = nullptr;
QPointer<SleepSource> gLogind;
}  // namespace

SleepSource& sleepSource() {
    if (gSleep) return *gSleep;
    if (!gLogind) gLogind = new LogindSleepSource({}, QCoreApplication::instance());
    return *gLogind;
}

void setSleepSource(SleepSource* replacement) { gSleep = replacement; }

}  // namespace tavix

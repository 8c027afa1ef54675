#include "platform/Idle.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariant>
#include <array>
#include <utility>

#include "platform/IdleX11.h"

namespace tavix {

namespace {

// A desktop service that does not answer within this time counts as absent:
// the question is asked from the user-interface thread.
constexpr int kCallTimeoutMs = 500;

struct Call {
    const char* service;
    const char* path;
    const char* interface;
    const char* method;
};

std::optional<qint64> callForMs(const QDBusConnection& bus, const Call& call) {
    if (!bus.isConnected()) return std::nullopt;
    const QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(call.service), QString::fromLatin1(call.path),
        QString::fromLatin1(call.interface), QString::fromLatin1(call.method));
    const QDBusMessage reply = bus.call(request, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong ms = reply.arguments().first().toULongLong(&ok);
    if (!ok) return std::nullopt;
    return static_cast<qint64>(ms);
}

}  // namespace

DesktopIdleSource::DesktopIdleSource(QString busName, bool x11)
    : busName_(std::move(busName)), x11_(x11) {}

DesktopIdleSource::~DesktopIdleSource() = default;

std::optional<qint64> DesktopIdleSource::ask(Backend backend) {
    const QDBusConnection bus =
        busName_.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busName_);
    switch (backend) {
        case Backend::ScreenSaver:
            // KDE and others publish it at both paths.
            for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"})
                if (auto ms = callForMs(bus, {"org.freedesktop.ScreenSaver", path,
                                              "org.freedesktop.ScreenSaver", "GetSessionIdleTime"}))
                    return ms;
            return std::nullopt;
        case Backend::Mutter:
            return callForMs(bus,
                             {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                              "org.gnome.Mutter.IdleMonitor", "GetIdletime"});
        case Backend::X11:
            // Under Wayland the X server sees only its own clients' input.
            if (!x11_ || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return std::nullopt;
            if (auto ms = x11::idleMs()) return static_cast<qint64>(*ms);
            return std::nullopt;
        case Backend::None:
            break;
    }
    return std::nullopt;
}

std::optional<qint64> DesktopIdleSource::idleMs() {
    if (backend_ != Backend::None)
        if (auto ms = ask(backend_)) return ms;
    constexpr std::array kOrder = {Backend::ScreenSaver, Backend::Mutter, Backend::X11};
    for (Backend candidate : kOrder) {
        if (candidate == backend_) continue;  // just failed
        if (auto ms = ask(candidate)) {
            backend_ = candidate;
            return ms;
        }
    }
    backend_ = Backend::None;
    return std::nullopt;
}

namespace {
IdleSource* gIdle = nullptr;
}  // namespace

IdleSource& idleSource() {
    if (gIdle) return *gIdle;
    static DesktopIdleSource desktop;
    return desktop;
}

void setIdleSource(IdleSource* replacement) { gIdle = replacement; }

}  // namespace tavix

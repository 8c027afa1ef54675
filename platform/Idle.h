#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tavix {

// How long the user has left keyboard and mouse alone: a seam tests replace
// (setIdleSource; nullptr puts the desktop's own back).
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Milliseconds since the last input; nothing when no source answers.
    virtual std::optional<qint64> idleMs() = 0;
};

// The desktop's own idle time, asked in this order: the screen saver's
// org.freedesktop.ScreenSaver.GetSessionIdleTime, GNOME's
// org.gnome.Mutter.IdleMonitor.GetIdletime (both on the session bus), then
// the X11 screen-saver extension. The first that answers is asked first
// from then on.
class DesktopIdleSource : public IdleSource {
public:
    enum class Backend { None, ScreenSaver, Mutter, X11 };

    // busName: a QDBusConnection's name; empty for the session bus.
    explicit DesktopIdleSource(QString busName = {}, bool x11 = true);
    ~DesktopIdleSource() override;
    DesktopIdleSource(const DesktopIdleSource&) = delete;
    DesktopIdleSource& operator=(const DesktopIdleSource&) = delete;

    std::optional<qint64> idleMs() override;
    // The source that answered last; None when none did.
    Backend backend() const { return backend_; }

private:
    std::optional<qint64> ask(Backend backend);

    QString busName_;
    bool x11_;
    Backend backend_ = Backend::None;
};

IdleSource& idleSource();
void setIdleSource(IdleSource* replacement);

}  // namespace tavix

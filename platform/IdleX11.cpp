#include "platform/IdleX11.h"

#ifdef TAVIX_HAVE_XSS
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <memory>

namespace tavix::x11 {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
struct InfoFree {
    void operator()(XScreenSaverInfo* info) const { XFree(info); }
};

// Opened once: a missing display or extension is not asked again.
Display* display() {
    static const std::unique_ptr<Display, DisplayCloser> opened = []() {
        std::unique_ptr<Display, DisplayCloser> d(XOpenDisplay(nullptr));
        int event = 0;
        int error = 0;
        if (d && !XScreenSaverQueryExtension(d.get(), &event, &error)) d.reset();
        return d;
    }();
    return opened.get();
}

}  // namespace

std::optional<std::int64_t> idleMs() {
    Display* d = display();
    if (!d) return std::nullopt;
    std::unique_ptr<XScreenSaverInfo, InfoFree> info(XScreenSaverAllocInfo());
    if (!info || !XScreenSaverQueryInfo(d, DefaultRootWindow(d), info.get())) return std::nullopt;
    return static_cast<std::int64_t>(info->idle);
}

}  // namespace tavix::x11

#else

namespace tavix::x11 {
std::optional<std::int64_t> idleMs() { return std::nullopt; }
}  // namespace tavix::x11

#endif

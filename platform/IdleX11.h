#pragma once

// The X11 screen-saver extension, kept apart: Xlib's macros clash with Qt's
// names.

#include <cstdint>
#include <optional>

namespace tavix::x11 {

// Milliseconds since the last input on the display named by DISPLAY;
// nothing without a display or without the extension. The display is
// opened at the first call and closed at exit.
std::optional<std::int64_t> idleMs();

}  // namespace tavix::x11

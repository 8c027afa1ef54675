#pragma once

namespace tavix::cli {

// Whether the arguments name a command (start, stop, status, report) rather
// than the window.
bool isCommand(int argc, char** argv);

// Runs the command without any window: through the running copy on the
// session bus (started as the desktop would when a change needs one).
// Messages in French on standard error; 0 done, 1 refused or failed, 2 a
// usage error.
int run(int argc, char** argv);

}  // namespace tavix::cli

#pragma once

#include <QString>
#include <optional>

namespace tavix::terminal {

// Whether standard input is a terminal a person types at.
bool interactive();

// Asks on standard error and reads one line from standard input; with
// `hidden`, nothing typed is echoed. Nothing at the end of the input.
std::optional<QString> ask(const QString& prompt, bool hidden);

}  // namespace tavix::terminal

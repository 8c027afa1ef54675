#pragma once

#include <sqlite3.h>

namespace tavix::fuzz {

// An in-memory database of the program's layout, made once per process with
// the engine's own options and functions, holding one row per table.
sqlite3* layoutDatabase();

}  // namespace tavix::fuzz

#!/bin/sh
# Configures and builds Tavix into build/ (Release-like, tests included).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
# -g1: line tables for backtraces, at a fraction of full debug information's cost.
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$ROOT/build" -j2 "$@"

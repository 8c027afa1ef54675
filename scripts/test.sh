#!/bin/sh
# Builds Tavix with its tests and runs them all (GUI tests run offscreen).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh"
cd "$ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 120

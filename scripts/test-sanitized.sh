#!/bin/sh
# Builds Tavix with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (no benchmarks, light optimisation) and runs every test there.
# Any sanitizer report, a leak included, fails its test.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$ROOT/build-asan" -G Ninja -DTAVIX_SANITIZE=ON -DTAVIX_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" >/dev/null
cmake --build "$ROOT/build-asan" -j2
cd "$ROOT/build-asan"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300

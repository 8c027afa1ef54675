#!/bin/sh
# Builds the Debian package tavix_<version>_<arch>.deb from the committed
# sources (git archive of HEAD, so local changes stay out), checks it with
# lintian and leaves it in dist/.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"

# Packaging-only tools, not needed to build or test.
missing=""
for p in lintian dpkg-dev file; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
if git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$ROOT" archive --format=tar HEAD | tar -x -C "$WORK"
    SRC=$WORK
else
    SRC=$ROOT
fi

cmake -S "$SRC" -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DTAVIX_BUILD_TESTS=OFF -DTAVIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$WORK/build" -j2
(cd "$WORK/build" && cpack -G DEB >/dev/null)

mkdir -p "$ROOT/dist"
for deb in "$WORK"/build/tavix_*.deb; do
    cp "$deb" "$ROOT/dist/"
    lintian --fail-on error "$ROOT/dist/$(basename "$deb")"
    echo "$ROOT/dist/$(basename "$deb")"
done

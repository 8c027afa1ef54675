#!/bin/sh
# Installs the Debian packages Tavix needs to build, test and run.
set -eu
PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
libsqlite3-dev sqlite3 libgtest-dev libgmock-dev xvfb xauth fonts-dejavu-core \
qt6-translations-l10n desktop-file-utils appstream clang libclang-rt-14-dev lld \
qt6-charts-dev libqt6opengl6-dev poppler-utils libical-dev libx11-dev libxss-dev dbus \
libpq-dev postgresql"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing

#!/bin/sh
# Installs the build folder $1 into a temporary prefix and checks what a
# desktop needs: executable, help, menu entry, icons, AppStream data.
set -eu
BUILD=$1
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check_prefix <prefix> <expected Exec value>
check_prefix() {
    PREFIX=$1
    cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null

    [ -x "$PREFIX/bin/tavix" ] || fail "bin/tavix missing or not executable"
    [ -f "$PREFIX/share/tavix/help/index.html" ] || fail "share/tavix/help/index.html missing"
    [ -f "$PREFIX/share/tavix/tavix-serveur.sql" ] || fail "share/tavix/tavix-serveur.sql missing"
    for doc in share/doc/tavix/copyright share/doc/tavix/changelog.gz share/man/man1/tavix.1.gz \
        share/bash-completion/completions/tavix share/dbus-1/interfaces/fr.molveran.Tavix.Timing.xml; do
        [ -f "$PREFIX/$doc" ] || fail "$doc missing"
    done

    for size in 16 22 24 32 48 64 128 256; do
        icon="$PREFIX/share/icons/hicolor/${size}x${size}/apps/tavix.png"
        if [ ! -f "$icon" ]; then
            fail "$icon missing"
            continue
        fi
        # PNG width and height: big-endian words at bytes 16 and 20.
        dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
        [ "$dims" = "${size}x${size}" ] || fail "$icon is $dims, not ${size}x${size}"
    done

    entry="$PREFIX/share/applications/tavix.desktop"
    if [ -f "$entry" ]; then
        desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
        for line in "Name=Tavix — surveillance de tâches" "Exec=$2" "TryExec=$PREFIX/bin/tavix" \
            "Icon=tavix" "Categories=Office;ProjectManagement;" "StartupWMClass=TAVIX"; do
            grep -qxF "$line" "$entry" || fail "$entry lacks '$line'"
        done
        grep -q '^Comment=.' "$entry" || fail "$entry has no comment"
    else
        fail "$entry missing"
    fi

    metainfo="$PREFIX/share/metainfo/tavix.metainfo.xml"
    if [ -f "$metainfo" ]; then
        appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli rejects $metainfo"
    else
        fail "$metainfo missing"
    fi
}

check_prefix "$TMP/plain" "$TMP/plain/bin/tavix"
# A prefix with a space: Exec quotes the path to keep it one argument.
check_prefix "$TMP/my apps" "\"$TMP/my apps/bin/tavix\""

[ "$failures" -eq 0 ] || exit 1
echo "installed layout OK"

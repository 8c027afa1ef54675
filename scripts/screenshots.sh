#!/bin/sh
# Makes the README's screenshots under a virtual display, with a throw-away
# HOME and a small sample database:
#     scripts/screenshots.sh [output-folder]        (default: docs/screenshots)
# TAVIX=/path/to/tavix uses that executable instead of building one.
# Needs xvfb, xdotool, imagemagick and sqlite3 (installed when missing).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(mkdir -p "${1:-$ROOT/docs/screenshots}" && cd "${1:-$ROOT/docs/screenshots}" && pwd)

if [ -z "${TAVIX_SHOTS_DISPLAY:-}" ]; then
    missing=""
    for p in xdotool imagemagick sqlite3 xvfb xauth; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        # shellcheck disable=SC2086
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
    fi
    if [ -z "${TAVIX:-}" ]; then
        "$ROOT/scripts/build.sh" --target tavix >/dev/null
        TAVIX=$ROOT/build/app/tavix
    fi
    export TAVIX
    exec env TAVIX_SHOTS_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$OUT"
fi

# From here on: inside the virtual display.
HOME=$(mktemp -d)
trap 'rm -rf "$HOME"' EXIT
export HOME XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share \
    XDG_RUNTIME_DIR=$HOME
DB=$XDG_DATA_HOME/MOLVERAN/TAVIX/tavix.mdb

# Starts Tavix and waits for the tracking window; prints its id.
start() {
    "$TAVIX" >/dev/null 2>&1 &
    PID=$!
    WID=$(timeout 30 xdotool search --sync --onlyvisible --class TAVIX | head -1)
    sleep 1
}

# Waits up to $2 seconds (default 15) for a window captioned $1; prints its
# id, or says so and fails when none shows.
waitfor() {
    wid=$(timeout "${2:-15}" xdotool search --sync --onlyvisible --name "^$1\$" | head -1) || true
    if [ -z "$wid" ]; then
        echo "no window \"$1\"" >&2
        return 1
    fi
    sleep 1
    echo "$wid"
}

# Saves window $1 as $2.
shoot() {
    import -window "$1" "$OUT/$2"
    echo "$OUT/$2"
}

# Clicks at ($1, $2) in the tracking window (no window manager: no frame).
click() {
    xdotool mousemove --window "$WID" "$1" "$2" click 1
    sleep 0.5
}

# Tracking window layout at its first-start size: clients on the right, one
# row per 28 pixels; activity buttons on the left, one per 50 pixels.
client() { click 600 $((126 + 28 * ($1 - 1))); }
activity() { click 270 $((139 + 50 * ($1 - 1))); }

quit() {
    xdotool windowfocus --sync "$WID" key alt+q
    if ! timeout 10 sh -c "while kill -0 $PID 2>/dev/null; do sleep 0.2; done"; then
        echo "Tavix did not close on Alt+Q; stopped" >&2
        kill "$PID"
    fi
    wait "$PID" || true
}

# The first start creates the empty database; then fill the lists.
start
quit
sqlite3 "$DB" <<'SQL'
INSERT INTO clients (NOM) VALUES ('Atelier Morin'), ('Boulangerie Caron'),
    ('Cabinet Lefèvre'), ('Mairie de Saint-Aubin');
INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Développement', 1), ('Réunion', 2),
    ('Téléphone', 3), ('Déplacement', 4), ('Documentation', 5);
-- The morning's work, for the report and the charts.
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11)
INSERT INTO activites ("USER", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, COMMENTAIRE)
SELECT '',
    CASE i % 4 WHEN 0 THEN 'Développement' WHEN 1 THEN 'Réunion' WHEN 2 THEN 'Téléphone'
        ELSE 'Documentation' END,
    CASE i % 3 WHEN 0 THEN 'Atelier Morin' WHEN 1 THEN 'Cabinet Lefèvre'
        ELSE 'Mairie de Saint-Aubin' END,
    datetime(date('now', 'localtime'), '+7 hours', '+' || (i * 20) || ' minutes'),
    datetime(date('now', 'localtime'), '+7 hours', '+' || (i * 20 + 5 + i % 5 * 3) || ' minutes'),
    (5 + i % 5 * 3) * 60,
    CASE WHEN i % 4 = 1 THEN 'Point d''avancement' END
FROM n;
SQL

start
# A few short timings, stored the ordinary way, for the report.
for timing in "1 1 3" "3 3 2" "2 2 2"; do
    set -- $timing
    client "$1"
    activity "$2"
    sleep "$3"
    activity "$2"
done

echo "log entries stored: $(sqlite3 "$DB" 'SELECT COUNT(*) FROM activites')"

# Settings window: Avancés > Paramètres.
xdotool windowfocus --sync "$WID" key alt+a
sleep 0.5
xdotool key Return
if wid=$(waitfor "Tavix"); then
    shoot "$wid" settings.png
    xdotool key Escape
fi
sleep 1

# Consultation window: Extraction, then the report of every entry.
xdotool windowfocus --sync "$WID" key alt+e
if wid=$(waitfor "Consulter" 5); then
    xdotool windowfocus --sync "$wid" key alt+v
    sleep 1
    shoot "$wid" consult.png
    # The same entries as charts (Graphiques).
    xdotool key alt+h
    sleep 1
    shoot "$wid" charts.png
    xdotool key Escape
fi
sleep 1

# The tracking window while an activity is timed.
client 2
activity 2
sleep 5
shoot "$WID" tracking.png
# Stopped (and stored) so that closing asks nothing.
activity 2
quit

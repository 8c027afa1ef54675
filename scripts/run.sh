#!/bin/sh
# Builds Tavix and starts it. Without a display, use: xvfb-run -a scripts/run.sh
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh" --target tavix
exec "$ROOT/build/app/tavix"

#!/usr/bin/env bash
# Starts Pictorium under Xvfb with a file open and saves a screenshot of the
# screen: a look at the real window, as a user sees it.
#   scripts/screenshot.sh [PROGRAM] [FILE] [OUT.png]
# Needs xvfb, x11-apps and imagemagick (not needed by the build or tests).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/test/pictorium}
file=${2-build/test/tests/fixtures/loader.dll}
out=${3:-build/screenshot.png}
display=:97
work=$(mktemp -d)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
# A copy of the program, so that its settings file lands in the scratch folder.
cp "$program" "$(dirname "$program")/english.lng" "$(dirname "$program")/pictorium.rsrc" "$work/"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
HOME="$work" XDG_CONFIG_HOME="$work/config" DISPLAY="$display" ASAN_OPTIONS=detect_leaks=0 \
  "$work/$(basename "$program")" ${file:+"$(realpath "$file")"} >"$work/log" 2>&1 &
app=$!
sleep "${WAIT_SECONDS:-4}"
xwd -root -display "$display" -silent | convert xwd:- "$out"
echo "screenshot: $out"

#!/usr/bin/env bash
# Starts Pictorium under Xvfb and takes three screenshots of its tool bar:
# at rest, with the pointer over a button (hot), and with the save button's
# menu open.
#   scripts/screenshot-toolbar.sh [PROGRAM] [OUTDIR]
# Needs xvfb, imagemagick and xdotool (not needed by the build or tests).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/test/pictorium}
outdir=${2:-build/screenshots}
display=:96
mkdir -p "$outdir"
work=$(mktemp -d)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$(dirname "$program")/english.lng" "$(dirname "$program")/pictorium.rsrc" "$work/"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY="$display"
HOME="$work" XDG_CONFIG_HOME="$work/config" ASAN_OPTIONS=detect_leaks=0 \
  "$work/$(basename "$program")" >"$work/log" 2>&1 &
app=$!
sleep "${WAIT_SECONDS:-4}"
shot() { import -window root -crop "$2" +repage "$outdir/$1"; echo "screenshot: $outdir/$1"; }
# The buttons sit in a row near the top-left corner: the pointer first rests
# below them, then hovers over the copy button, then clicks the save button.
xdotool mousemove 400 400
sleep 0.5
shot toolbar-rest.png 720x160+0+0
xdotool mousemove "${COPY_X:-103}" "${BUTTON_Y:-17}"
sleep 0.5
shot toolbar-hot.png 720x160+0+0
xdotool mousemove "${SAVE_X:-63}" "${BUTTON_Y:-17}" click 1
sleep 3
shot toolbar-save-menu.png 720x300+0+0

#!/usr/bin/env bash
# Starts Pictorium under Xvfb and takes screenshots of its dialogs as a user
# opens them: the main window with the icon window, the export options of
# the HTML, dBASE and PDF exports, the print options and the about box.
#   scripts/screenshot-dialogs.sh [PROGRAM] [OUTDIR]
# Needs xvfb, imagemagick and xdotool (not needed by the build or tests).
# There is no window manager, so the windows show without their captions.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/test/pictorium}
outdir=${2:-build/screenshots}
file=${FILE:-build/test/tests/fixtures/loader.dll}
display=:95
mkdir -p "$outdir"
work=$(mktemp -d)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$(dirname "$program")/english.lng" "$(dirname "$program")/pictorium.rsrc" "$work/"
for pack in ${PACKS:-}; do cp "$pack" "$work/"; done
if [ -n "${LANGUAGE_TAG:-}" ]; then
  printf '[Settings]\nLanguage=%s\n' "$LANGUAGE_TAG" >"$work/gharv.ini"
fi
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY="$display"
HOME="$work" XDG_CONFIG_HOME="$work/config" ASAN_OPTIONS=detect_leaks=0 \
  "$work/$(basename "$program")" "$(realpath "$file")" >"$work/log" 2>&1 &
app=$!
sleep "${WAIT_SECONDS:-5}"
shot() { import -window root "$outdir/$1"; echo "screenshot: $outdir/$1"; }
# Without a window manager the keys go to the window under the pointer.
main=$(xdotool search --name '^Pictorium' | head -1)
eval "$(xdotool getwindowgeometry --shell "$main")"
mainx=$X mainy=$Y mainw=$WIDTH
icon=$(xdotool search --name "${ICON_WINDOW_TITLE:-Selected icon}" | head -1 || true)
[ -n "$icon" ] && xdotool windowmove "$icon" $((mainx + mainw + 10)) "$mainy"
sleep 1
shot main-and-icon-window.png
over_main() { xdotool mousemove $((mainx + 300)) $((mainy + 300)); sleep 0.3; }
# The save button (second on the tool bar), then a letter of its menu.
export_dialog() {
  xdotool mousemove $((mainx + ${SAVE_X:-63})) $((mainy + ${BUTTON_Y:-17})) click 1
  sleep 1
  xdotool key "$2"
  sleep 2
  shot "$1"
  xdotool key Escape
  sleep 1
}
export_dialog export-html.png h
export_dialog export-dbase.png d
export_dialog export-pdf.png p
over_main
xdotool key ctrl+p
sleep 2
shot print-options.png
xdotool key Escape
sleep 1
xdotool mousemove $((mainx + ${ABOUT_X:-278})) $((mainy + ${BUTTON_Y:-17})) click 1
sleep 2
shot about.png
xdotool key Escape

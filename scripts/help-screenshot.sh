#!/usr/bin/env bash
# Starts Pictorium under Xvfb, presses F1 and saves a screenshot of the help
# viewer that opens on the contents, then one of a topic chosen in its
# contents tree.
#   scripts/help-screenshot.sh [BUILD_DIR] [OUT_PREFIX]
# Needs xvfb, xdotool, x11-apps and imagemagick (not needed by the build or
# tests), and the runtime of libchm (libchm1).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
out=${2:-build/help}
display=:96
work=$(mktemp -d)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
# A copy of the program, so that its settings land in the scratch folder; a
# start that is not the first, so that only F1 opens the help.
cp "$build/pictorium" "$build/english.lng" "$build/pictorium.rsrc" "$build"/*.chm "$work/"
printf '[Settings]\nRun=4\n' >"$work/gharv.ini"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY="$display"
HOME="$work" XDG_CONFIG_HOME="$work/config" ASAN_OPTIONS=detect_leaks=0 "$work/pictorium" >"$work/log" 2>&1 &
app=$!
sleep "${WAIT_SECONDS:-4}"
window=$(xdotool search --pid "$app" --name '^Pictorium' | head -n 1)
xdotool windowfocus --sync "$window"
xdotool key F1
sleep 2
xwd -root -silent | convert xwd:- "$out-contents.png"
echo "screenshot: $out-contents.png"
# A topic from the contents tree (the viewer's top left is the screen's,
# as Xvfb has no window manager).
xdotool mousemove 100 174 click 1
sleep 1
xwd -root -silent | convert xwd:- "$out-topic.png"
echo "screenshot: $out-topic.png"

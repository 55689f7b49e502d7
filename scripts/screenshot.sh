#!/usr/bin/env bash
# Starts Pictorium under Xvfb with a file open and saves a screenshot of the
# screen: a look at the real window, as a user sees it.
#   scripts/screenshot.sh [PROGRAM] [FILE] [OUT.png]
# With FIND_FOLDER=DIR the find panel starts open on a Desktop that holds
# a copy of DIR's files, the folder its tree shows first; the tree's
# Desktop node (at FIND_CLICK, screen "x y") is clicked, which fills the
# list (needs xdotool).
# With PACK_LANGUAGE=N the language pack N (1: Ukrainian) is chosen in the settings.
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
cp "$program" "$(dirname "$program")"/*.lng "$(dirname "$program")"/*.chm "$(dirname "$program")/pictorium.rsrc" "$work/"
if [ -n "${FIND_FOLDER:-}" ]; then
  mkdir -p "$work/Desktop"
  cp -r "$FIND_FOLDER"/. "$work/Desktop/"
  printf '[Placement]\nFindPanelVisible=1\nFindPanelHeight=300\n' >"$work/gharv.ini"
fi
if [ -n "${PACK_LANGUAGE:-}" ]; then
  printf '[Settings]\nLanguage=%s\n' "$PACK_LANGUAGE" >>"$work/gharv.ini"
fi
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
HOME="$work" XDG_CONFIG_HOME="$work/config" DISPLAY="$display" ASAN_OPTIONS=detect_leaks=0 \
  "$work/$(basename "$program")" ${file:+"$(realpath "$file")"} >"$work/log" 2>&1 &
app=$!
sleep "${WAIT_SECONDS:-4}"
if [ -n "${FIND_FOLDER:-}" ]; then
  # shellcheck disable=SC2086
  DISPLAY="$display" xdotool mousemove ${FIND_CLICK:-78 238} click 1
  sleep "${WAIT_SECONDS:-4}"
fi
xwd -root -display "$display" -silent | convert xwd:- "$out"
echo "screenshot: $out"

#!/usr/bin/env bash
# Whole-process timings of the batch mode, with icoutils as the peer where
# it does the same work:
#   bench/batch_processes.sh [BUILD_DIR]   (default build/bench)
# 1. one process exporting one icon of a small module, 100 runs in a loop
#    (the headless start-up cost), beside the floor: an empty Qt Widgets
#    program that builds one window and quits (bench/qt_floor);
# 2. every icon group of a 184-group module of about 15 MB as .ico files;
# 3. a tiny .ico file to PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
program=$build/pictorium
maker=$build/bench/make_bench_module
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY

"$maker" "$work/small.dll" 3 small
"$maker" "$work/big.dll" 184 large
"$program" -e "$work/small.dll" "$work/tiny.ico" >/dev/null 2>&1

seconds() { # prints the wall time of "$@" in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
loop() { for _ in $(seq 100); do "$program" -e "$work/small.dll" "$work/one.ico" >/dev/null 2>&1; done; }
peer_loop() { for _ in $(seq 100); do wrestool -x -t14 -n1 -o "$work/one_peer.ico" "$work/small.dll" >/dev/null 2>&1; done; }

floor_loop() { for _ in $(seq 100); do "$build/bench/qt_floor" >/dev/null 2>&1; done; }

printf '%-44s %10s %10s\n' job pictorium peer
f=$(seconds floor_loop)
t=$(seconds loop)
p=-; command -v wrestool >/dev/null && p=$(printf '%.1f ms' "$(echo "$(seconds peer_loop) * 10" | bc -l)")
printf '%-44s %10s %10s\n' "one icon, one process (a run of 100)" "$(printf '%.1f ms' "$(echo "$t * 10" | bc -l)")" "$p"
printf '%-44s %10s\n' "empty Qt window, one process (a run of 100)" "$(printf '%.1f ms' "$(echo "$f * 10" | bc -l)")"
printf '%-44s %10s\n' "one icon against the empty Qt window" "$(printf '%.2f x' "$(echo "$t / $f" | bc -l)")"

all() { rm -rf "$work/all"; "$program" -e "$work/big.dll" "$work/all" -iconindex=0; }
peer_all() { rm -rf "$work/all_peer"; mkdir "$work/all_peer"; wrestool -x -t14 -o "$work/all_peer" "$work/big.dll"; }
best() { local b=999 s; for _ in 1 2 3 4 5; do s=$(seconds "$@"); b=$(echo "if ($s < $b) $s else $b" | bc -l); done; printf '%.3f s' "$b"; }
p=-; command -v wrestool >/dev/null && p=$(best peer_all)
printf '%-44s %10s %10s\n' "184 groups as .ico files, one process" "$(best all)" "$p"

png() { "$program" -e "$work/tiny.ico" "$work/tiny.png"; }
peer_png() { icotool -x -o "$work/tiny_peer.png" "$work/tiny.ico"; }
p=-; command -v icotool >/dev/null && p=$(best peer_png)
printf '%-44s %10s %10s\n' "a tiny .ico to PNG" "$(best png)" "$p"

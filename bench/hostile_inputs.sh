#!/usr/bin/env bash
# Costs of hostile inputs: each input of the cost corpus through every
# export kind of the batch mode, with its wall time, peak memory and the
# bytes it wrote. The promise: under 2 s, under 300 MB and at most 64 MB
# written, or refused with a message.
#   bench/hostile_inputs.sh [BUILD_DIR] [LIMIT_SECONDS] [KINDS]   (build/bench, 60, all)
# A run still going after LIMIT_SECONDS is stopped and shown as ">LIMIT".
# KINDS, a regular expression, picks the export kinds by name.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
limit=${2:-60}
only=${3:-.}
program=$(realpath "$build/pictorium")
work=$(mktemp -d /tmp/hostile.XXXXXX)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/in"
"$build/bench/make_hostile_inputs" "$work/in" || exit 1

# kind name, destination (under the output folder) and extra switches
kinds=(
  "ico|icons|-iconindex=0 -desttype=ICO"
  "png|pictures|-iconindex=0 -desttype=PNG"
  "html|page.htm|"
  "dbf|table.dbf|"
  "pdf|document.pdf|"
  "one icon|one.ico|-iconindex=1"
  "one picture|all.bmp|-alliconsasoneimage"
)

run() { # input, kind, destination, switches...
    local input=$1 kind=$2 dest=$3
    shift 3
    local out="$work/out"
    rm -rf "$out"
    mkdir -p "$out"
    local stats="$work/time.txt" errors="$work/stderr.txt"
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -v -o "$stats" timeout -s KILL "$limit" \
        "$program" -e "$input" "$out/$dest" "$@" -closewhendone >/dev/null 2>"$errors"
    local status=$?
    end=$(date +%s.%N)
    local seconds rss written lines
    seconds=$(echo "$end - $start" | bc -l)
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$stats")
    written=$(find "$out" -type f -printf '%s\n' | awk '{n += $1} END {printf "%.0f\n", n}')
    lines=$(wc -l <"$errors")
    local shown
    if [ "$status" = 137 ] || [ "$status" = 124 ]; then shown=">$limit s"; else shown=$(printf '%.2f s' "$seconds"); fi
    # A stopped run's memory is that of timeout itself: not shown.
    if [ "$status" = 137 ] || [ "$status" = 124 ]; then rss=-; else rss=$(printf '%d MB' $(( ${rss:-0} / 1024 ))); fi
    printf '%-30s %-12s %10s %9s %12s %6s %7s\n' "$(basename "$input")" "$kind" "$shown" "$rss" \
        "$(numfmt --to=iec --suffix=B "$written")" "$status" "$lines"
}

printf '%-30s %-12s %10s %9s %12s %6s %7s\n' input kind time "peak RSS" written exit stderr
for input in "$work"/in/*; do
    case $input in *.ini) continue ;; esac
    for k in "${kinds[@]}"; do
        IFS='|' read -r kind dest switches <<<"$k"
        [[ $kind =~ $only ]] || continue
        # shellcheck disable=SC2086
        run "$input" "$kind" "$dest" $switches
    done
done

# The settings file beside the program: 1 MiB of blank lines.
ini="$(dirname "$program")/gharv.ini"
saved=
[ -f "$ini" ] && saved="$work/gharv.ini.saved" && cp "$ini" "$saved"
cp "$work/in/gharv.ini" "$ini"
run "$work/in/plain_32.ico" "1 MiB ini" one.ico -iconindex=1
if [ -n "$saved" ]; then cp "$saved" "$ini"; else rm -f "$ini"; fi

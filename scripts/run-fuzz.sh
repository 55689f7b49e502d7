#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build side by side for a number of seconds;
# fails when any of them finds a crash.
set -euo pipefail
dir=$1
seconds=$2
status=0
pids=()
names=()
# Two things of AddressSanitizer's own would count against the 300 MB below: its
# quarantine of freed memory (256 MB by default) fills within seconds on a fast
# target, and the stack of every allocation is kept for good; the system's Qt
# has no frame pointers, so those stacks hold stray frames, never repeat, and
# grow without end. A small quarantine still catches a use after free, and a
# finding's input rerun in the test build shows whole stacks.
export ASAN_OPTIONS="quarantine_size_mb=16:malloc_context_size=2${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
for target in "$dir"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$dir/fuzz/seeds/$name" ] && seeds=("$dir/fuzz/seeds/$name")
  echo "fuzz: $name for ${seconds}s"
  # A slow or greedy input is a finding: the cost bound of every input,
  # two seconds and 300 MB.
  "$target" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=300 -print_final_stats=0 \
    -artifact_prefix="$dir/$name-" "$corpus" "${seeds[@]}" >"$dir/$name.log" 2>&1 &
  pids+=($!)
  names+=("$name")
done
# The bound is one of wall time, and the targets run side by side on a
# machine that may be busy besides: an input that timed out there is run
# again on its own, and is a finding when it times out every time.
slow_alone() { # target, input
  for _ in 1 2 3; do
    "$1" -timeout=2 -rss_limit_mb=300 "$2" >/dev/null 2>&1 && return 1
  done
  return 0
}
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if wait "${pids[$i]}"; then
    echo "fuzz: $name ran clean"
    continue
  fi
  input=$(sed -n 's/^.*Test unit written to //p' "$dir/$name.log" | tail -n 1)
  if grep -q 'libFuzzer: timeout after' "$dir/$name.log" && [ -f "$input" ] \
    && ! slow_alone "$dir/fuzz/$name" "$input"; then
    echo "fuzz: $name timed out beside the others on $input, not on its own"
    continue
  fi
  echo "fuzz: $name FAILED"
  tail -n 60 "$dir/$name.log"
  status=1
done
exit $status

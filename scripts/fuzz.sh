#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
shopt -s nullglob
for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  # Every target keeps its seeds in the repository (scripts/fuzz-corpus.sh grows them).
  if [ ! -d "fuzz/corpus/$name" ]; then
    echo "fuzz: $name has no seed corpus (fuzz/corpus/$name)"
    exit 1
  fi
  seeds=("fuzz/corpus/$name")
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "${seeds[@]}" \
    2> "build/fuzz/$name.log" || { tail -n 60 "build/fuzz/$name.log"; exit 1; }
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "build/fuzz/$name.log")
  echo "fuzz: $name ran ${seconds}s, ${rate:-?} inputs/s"
done
echo "fuzz: every target ran clean"

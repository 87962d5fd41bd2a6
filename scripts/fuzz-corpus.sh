#!/usr/bin/env bash
# Grows the seed corpora kept in the repository (fuzz/corpus/<target>/) from what the fuzz targets
# found: every input of build/fuzz/corpus/<target>/ (scripts/fuzz.sh fills it), the current seeds and
# the generated recordings and WAV files of make-fuzz-seeds are merged with -merge=1, which keeps only inputs that add coverage, and the seeds are replaced by
# the result. Inputs larger than the limit (bytes, default 4096) are left out. A target left with more
# than 300 inputs is merged again counting covered edges only (not how often each ran), so the seeds
# stay a few hundred small files.
#   scripts/fuzz-corpus.sh [max-bytes] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
max_len=${1:-4096}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build/fuzz/bin/fuzz_*; do targets+=("$(basename "$t")"); done
fi
generated=$(mktemp -d)
trap 'rm -rf "$generated"' EXIT
ASAN_OPTIONS=detect_leaks=0 build/fuzz/tools/make-fuzz-seeds "$generated" >/dev/null
for name in "${targets[@]}"; do
  found="build/fuzz/corpus/$name"
  seeds="fuzz/corpus/$name"
  mkdir -p "$found" "$seeds"
  merged=$(mktemp -d)
  "build/fuzz/bin/$name" -merge=1 -max_len="$max_len" -rss_limit_mb=2048 "$merged" "$seeds" "$found" \
    $([ -d "$generated/$name" ] && echo "$generated/$name") \
    > "build/fuzz/$name.merge.log" 2>&1 || { tail -n 30 "build/fuzz/$name.merge.log"; exit 1; }
  if [ "$(find "$merged" -type f | wc -l)" -gt 300 ]; then
    fewer=$(mktemp -d)
    "build/fuzz/bin/$name" -merge=1 -use_counters=0 -max_len="$max_len" -rss_limit_mb=2048 "$fewer" "$merged" \
      >> "build/fuzz/$name.merge.log" 2>&1 || { tail -n 30 "build/fuzz/$name.merge.log"; exit 1; }
    rm -rf "$merged"
    merged=$fewer
  fi
  rm -rf "$seeds"
  mv "$merged" "$seeds"
  chmod 755 "$seeds"
  echo "fuzz-corpus: $name keeps $(find "$seeds" -type f | wc -l) inputs ($(du -sb "$seeds" | cut -f1) bytes)"
done

#!/usr/bin/env bash
# Side by side: recdesk-cli convert (IM2 -> 16-bit WAV) against ffmpeg -threads 1 decoding the same
# audio as IMA ADPCM WAV -> 16-bit WAV. Both inputs come from the same PCM (bench_convert
# --write-sample: a 60-minute 4-bit mono 8000 Hz recording). Prints the best of N runs of each.
#   bench/compare_convert_ffmpeg.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/default}
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/bench_convert" --write-sample "$work" >/dev/null
ffmpeg -v error -f s16le -ar 8000 -ac 1 -i "$work/bench60.s16" -c:a adpcm_ima_wav "$work/ima.wav"
pages=$(( $(stat -c %s "$work/bench60.im2") / 528 - 1 ))

best() {  # best wall time in seconds of "$@" over $runs runs (bash's time, millisecond resolution)
  local best=999999 t TIMEFORMAT=%R
  for _ in $(seq "$runs"); do
    t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
    best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
  done
  echo "$best"
}

ours=$(best "$build/bin/recdesk-cli" --yes convert "$work/bench60.im2" "$work/ours.wav")
theirs=$(best ffmpeg -v error -threads 1 -y -i "$work/ima.wav" -c:a pcm_s16le "$work/theirs.wav")
echo "pages: $pages (IM2 $(stat -c %s "$work/bench60.im2") bytes, IMA ADPCM WAV $(stat -c %s "$work/ima.wav") bytes)"
echo "recdesk-cli convert: ${ours} s  ($(awk -v p="$pages" -v t="$ours" 'BEGIN{printf "%.0f", p/t}') pages/s)"
echo "ffmpeg -threads 1:   ${theirs} s"
echo "speed ratio (ffmpeg time / ours): $(awk -v a="$ours" -v b="$theirs" 'BEGIN{printf "%.2f", b/a}')"
sox --i "$work/ours.00.wav" | grep -E "Channels|Sample Rate|Precision|Duration" || true

#!/usr/bin/env bash
# Builds and runs every test: the default build, a check of the installed programs, the fuzz targets
# for a bounded time, the sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) and the
# threaded tests under ThreadSanitizer. Used by the README and by CI.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
# The tests of a preset: first those that keep the processor busy, one a core; then the end-to-end
# tests (label "waits"), which mostly wait for the link's paced bytes, several at a time on their own
# (four; two under ThreadSanitizer, where each program takes several times the processor).
run_tests() {  # <preset> [how many end-to-end tests at a time]
  ctest --preset "$1" -j "$jobs" -LE waits
  ctest --preset "$1" -j "${2:-4}" -L waits
}

# CI builds everything once from scratch: there the default build compiles in batches (preset "ci",
# the same options), which takes about half the time; here it is the developer's incremental build.
main=default
if [ -n "${CI:-}" ]; then main=ci; fi
cmake --preset "$main" >/dev/null
cmake --build --preset "$main" -j "$jobs"
run_tests "$main"
./scripts/install-check.sh "build/$main"

./scripts/fuzz.sh "${FUZZ_SECONDS:-5}"

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
# The system's SDL library keeps a few blocks of its audio thread for the life of the process.
(
  export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1
  run_tests asan
)

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
run_tests tsan 2

#!/usr/bin/env bash
# Builds RecDesk and runs the main job against the built-in simulated recorder.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target recdesk-cli
exec build/default/bin/recdesk-cli --demo "$@"

#!/usr/bin/env bash
# Checks that an installed copy works on its own: installs the given build (default build/default)
# into a temporary prefix, moves that prefix elsewhere, and runs recdesk-cli --demo from an unrelated
# folder with the user's folders pointed into a temporary folder. Nothing may come from the source
# tree or the build tree. A second run finds the language files through XDG_DATA_HOME alone.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}

work=$(mktemp -d "${TMPDIR:-/tmp}/recdesk-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/recdesk-cli bin/recdesk-sim share/recdesk/lang/english.lang lib/udev/rules.d/60-recdesk.rules; do
  [ -e "$work/prefix/$f" ] || { echo "install-check: $f was not installed"; exit 1; }
done
# The desktop program, where it was built: its desktop entry, its icon and a --version that needs no
# display.
if [ -e "$build/bin/recdesk" ]; then
  for f in bin/recdesk share/applications/recdesk.desktop share/icons/hicolor/scalable/apps/recdesk.svg; do
    [ -e "$work/prefix/$f" ] || { echo "install-check: $f was not installed"; exit 1; }
  done
  env -u DISPLAY -u WAYLAND_DISPLAY "$work/prefix/bin/recdesk" --version | grep -q "^RecDesk " ||
    { echo "install-check: recdesk --version failed"; exit 1; }
fi
# Another place than the one installed to: the program must find its files relative to itself.
mv "$work/prefix" "$work/moved"

run_demo() {  # <program> <description>
  local home="$work/home-$RANDOM"
  mkdir -p "$home/run" "$work/cwd"
  chmod 700 "$home/run"
  if ! (cd "$work/cwd" && env -u RECDESK_LANG_DIR -u RECDESK_LANGUAGE HOME="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" \
        XDG_DATA_HOME="${2:-$home/data}" XDG_DATA_DIRS="$work/no-data" XDG_RUNTIME_DIR="$home/run" \
        "$1" --demo >"$work/demo.out" 2>&1); then
    echo "install-check: $1 --demo failed:"
    tail -n 40 "$work/demo.out"
    exit 1
  fi
}

run_demo "$work/moved/bin/recdesk-cli"
echo "install-check: installed recdesk-cli --demo runs from $work/moved"

# The program alone, with no language files anywhere it looks, must fail: nothing leads it back to
# the source or build tree.
mkdir -p "$work/alone" "$work/data/recdesk"
cp "$work/moved/bin/recdesk-cli" "$work/alone/"
if (cd "$work/cwd" && env -u RECDESK_LANG_DIR HOME="$work/alone" XDG_DATA_HOME="$work/alone" \
    XDG_DATA_DIRS="$work/no-data" "$work/alone/recdesk-cli" --demo >"$work/alone.out" 2>&1); then
  echo "install-check: recdesk-cli without language files ran; it found them somewhere unexpected"
  exit 1
fi
grep -q "Unable to load english.lang" "$work/alone.out" || { cat "$work/alone.out"; exit 1; }

# The same program with its language files in the user's data folder.
cp -r "$work/moved/share/recdesk/lang" "$work/data/recdesk/"
run_demo "$work/alone/recdesk-cli" "$work/data"
echo "install-check: recdesk-cli --demo finds its language files in XDG_DATA_HOME"

#!/usr/bin/env bash
# Builds the launcher, lays out a demo install folder and starts the launcher in it.
#
#   ./run.sh
#
# On a fresh Debian 12 machine it first installs the packages it needs. The build is a Release
# build in build-release/, the demo install folder is build-release/demo/ (a second run
# refreshes its programs and keeps its configuration), and the registry is kept inside the demo
# folder. Without an X display the launcher runs on a virtual one, saves its main dialog as a
# picture in build-release/demo-snapshots/ and ends; the picture's path is printed. The exit
# status is the launcher's.
set -euo pipefail
cd "$(dirname "$0")"

. tools/packages.sh
ensure_packages "${build_packages[@]}" "${window_packages[@]}" "${run_packages[@]}"

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DENGINE_TESTS=OFF >/dev/null
cmake --build "$build" --target BrisaldeLauncher game_standin

demo="$PWD/$build/demo"
apps/launcher/demo/make-demo.sh "$build/apps/launcher/BrisaldeLauncher" \
  "$build/apps/game-standin/game_standin" "$demo"
export ENGINE_REGISTRY_DIR="$demo/registry"

status=3
if [ -n "${DISPLAY:-}" ]; then
  set +e
  "$demo/BrisaldeLauncher"
  status=$?
  set -e
fi
# The launcher ends with status 3 when it cannot open the display.
if [ "$status" -eq 3 ]; then
  echo "No X display: running the launcher on a virtual display and saving its main dialog."
  snapshots="$PWD/$build/demo-snapshots"
  rm -rf "$snapshots"
  set +e
  BRISALDE_UI_SNAPSHOT="$snapshots" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$demo/BrisaldeLauncher" >/dev/null
  status=$?
  set -e
  if [ -f "$snapshots/102.png" ]; then
    echo "The main dialog: $snapshots/102.png"
  else
    echo "The main dialog was not saved (the launcher ended with status $status)." >&2
  fi
fi
exit "$status"

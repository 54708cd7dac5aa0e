#!/usr/bin/env bash
# Starts the demo station with its windows on a virtual display (Xvfb) with a
# window manager (openbox), in each of the four languages, lets a P100 alarm,
# an SMS alarm and a voice call arrive at once, writes PNG pictures of the main
# window, each alarm dialog and the system information panel, and checks the
# windows: no missing text, every alarm dialog in sight, no column cut short.
#
#   bash tools/screenshots/take-screenshots.sh [OUTPUT-FOLDER] [screenshots.py options]
#        (default folder: screenshots; e.g. --languages de --no-check)
#
# Needs the packages of scripts/install-deps.sh; builds $ORVA_BUILD (default
# build/) when the programs are missing. ctest runs the same check as the
# test "gui_screenshots" (label gui).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${ORVA_BUILD:-build}
if [ ! -x "$build/orva" ] || [ ! -x "$build/tools/screenshots/orva_grab_window" ] || [ ! -x "$build/tools/demo/orva_demo_setup" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF
  cmake --build "$build" --parallel "$(nproc)" --target orva orva_grab_window orva_demo_setup
fi
out=${1:-screenshots}
shift || true
exec xvfb-run -a -s "-screen 0 1600x1000x24" \
  /usr/bin/python3 tools/screenshots/screenshots.py --build "$build" --out "$out" --start-wm "$@"

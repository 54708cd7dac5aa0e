#!/usr/bin/env bash
# Starts the demo station with its windows on a virtual display (Xvfb), with
# the simulated modems, lets a P100 alarm and a voice call arrive and writes
# PNG pictures of the main window and the alarm dialogs.
#
#   bash tools/screenshots/take-screenshots.sh [OUTPUT-FOLDER]   (default: screenshots)
#
# Needs the packages of scripts/install-deps.sh; builds build/ when the
# programs are missing.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${ORVA_BUILD:-build}
if [ ! -x "$build/orva" ] || [ ! -x "$build/tools/screenshots/orva_grab_window" ] || [ ! -x "$build/tools/demo/orva_demo_setup" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF
  cmake --build "$build" --parallel "$(nproc)"
fi
exec xvfb-run -a -s "-screen 0 2800x1400x24" \
  /usr/bin/python3 tools/screenshots/screenshots.py --build "$build" --out "${1:-screenshots}"

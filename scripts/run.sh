#!/usr/bin/env bash
# Sets up the machine, builds the station (optimised) and starts a ready
# station in the local data folder ./orva-demo: a database with sample lifts,
# both modems attached to the project's simulators and a local mail server
# whose mails land in orva-demo/mail (see tools/demo/demo.py --help).
# --help and --version are answered by the station itself; other arguments go
# to the demo script (e.g. --real-modems, --headless, -- STATION-ARGS).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF
cmake --build "$build" --parallel "$(nproc)"

case "${1:-}" in
  --help|-h|--version) exec "$build/orva" "$@" ;;
esac
exec /usr/bin/python3 tools/demo/demo.py --build "$build" "$@"

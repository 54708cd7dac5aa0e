#!/usr/bin/env bash
# Sets up the machine, builds the station (optimised) and starts it on its
# embedded defaults. Arguments are handed to the station (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_BUILD_TESTS=OFF
cmake --build "$build" --parallel "$(nproc)"

exec "$build/orva" "$@"

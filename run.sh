#!/usr/bin/env bash
# Sets up what is missing, builds Clipmoor and starts it. Arguments go to the application
# (for instance a clipmoor://url?... address).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh run
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLIPMOOR_BUILD_TESTS=OFF
cmake --build build-release -j"$(nproc)" --target clipmoor
exec build-release/src/app/clipmoor "$@"

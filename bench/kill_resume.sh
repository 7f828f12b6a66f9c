#!/usr/bin/env bash
# Crash-safe resume under kill -9: the real application (a Release build) downloads a 200 MiB
# file that the tests' local nginx sends at a throttled rate, is killed with SIGKILL 100 times at
# random moments while the bytes flow and started again each time, then finishes at full speed.
# Prints the bytes each kill cost (bytes in the partial file when the process died minus the
# offset the next start continued from) as median and maximum, whether every start continued
# from the record's last checkpoint and whether the finished file is byte-identical; the last
# line is "median bytes lost per kill: N (S s at the throttled rate)". Exits non-zero on a
# failure to resume or a corrupt file.
#   CYCLES=100 SIZE_MIB=200 RATE=1048576 bench/kill_resume.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh bench
cmake -S . -B build-bench-kill -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLIPMOOR_BUILD_TESTS=ON \
      -DCLIPMOOR_BUILD_BENCH=ON >/dev/null
cmake --build build-bench-kill -j"$(nproc)" --target clipmoor kill_resume >/dev/null
exec build-bench-kill/bench/kill_resume --cycles "${CYCLES:-100}" --size-mib "${SIZE_MIB:-200}" \
     --rate "${RATE:-1048576}"

#!/usr/bin/env bash
# The object store beside the sqlite3 command-line tool, in one run: builds store_bench and runs
# it. It prints medians of opening and fetching 10,000 and 100,000 download records (the store
# with plain records, with Video records woken as at start, and the tool), of saving 1,000
# changed records and of one change notification over 1,000, 10,000 and 100,000 records, and,
# last, "fetch ratio clipmoor/sqlite3: X.XX". Exits 1 when a target is missed.
#   RUNS=15 bench/store_vs_sqlite3.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLIPMOOR_BUILD_TESTS=OFF \
      -DCLIPMOOR_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target store_bench >/dev/null
exec build-bench/bench/store_bench --runs "${RUNS:-11}"

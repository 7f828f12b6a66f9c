#!/usr/bin/env bash
# The download list's benchmark at two sizes, each store filled by a process of its own so the
# measuring process holds only what opening the list costs.
#   bench/list_scroll.sh BUILD_DIR      (a build with -DCLIPMOOR_BUILD_BENCH=ON)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
for records in 10000 100000; do
  home=$(mktemp -d)
  export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache
  "$build/bench/list_scroll" --fill "$records"
  echo "== $records records"
  "$build/bench/list_scroll" --measure | tee "$home/report.txt"
  rm -rf "$home"
done

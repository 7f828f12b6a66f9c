#!/usr/bin/env bash
# Parser throughput beside Python's urllib.parse.parse_qsl on the same ~1 MB answer, in one run.
# Prints MB/s of both and, last, "parser ratio clipmoor/python: X.XX".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLIPMOOR_BUILD_TESTS=OFF \
      -DCLIPMOOR_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target form_parser_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build-bench/bench/form_parser_bench --write-sample "$work/answer.txt"
bytes=$(stat -c %s "$work/answer.txt")

build-bench/bench/form_parser_bench --benchmark_format=json --benchmark_min_time=1 \
  >"$work/clipmoor.json"
python3 - "$work/answer.txt" "$work/clipmoor.json" "$bytes" <<'PY'
import json, sys, time, urllib.parse
text = open(sys.argv[1], encoding="ascii").read()
size = int(sys.argv[3])
runs, start = 0, time.perf_counter()
while time.perf_counter() - start < 2.0:
    urllib.parse.parse_qsl(text, keep_blank_values=True)
    runs += 1
python_mbps = size * runs / (time.perf_counter() - start) / 1e6
ours = {b["name"]: b["bytes_per_second"] / 1e6 for b in json.load(open(sys.argv[2]))["benchmarks"]}
print(f"answer size: {size} bytes")
print(f"python parse_qsl:                 {python_mbps:8.1f} MB/s")
print(f"clipmoor form parse (same work):  {ours['BM_FormParse']:8.1f} MB/s")
print(f"clipmoor whole answer (+entries): {ours['BM_WholeAnswer']:8.1f} MB/s")
print(f"parser ratio clipmoor/python: {ours['BM_FormParse'] / python_mbps:.2f}")
PY

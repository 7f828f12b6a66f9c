#!/usr/bin/env bash
# Line coverage of src/ by the whole test suite: builds the tests with gcov instrumentation in
# build-coverage/, runs them, and prints gcovr's summary (last line: "lines: NN.N% (...)").
#   scripts/coverage.sh [ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
command -v gcovr >/dev/null || { sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo;
  $sudo apt-get install -y -q gcovr; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPMOOR_COVERAGE=ON \
      "${launcher[@]}" >/dev/null
cmake --build build-coverage -j"$(nproc)"
find build-coverage -name '*.gcda' -delete
QT_QPA_PLATFORM=offscreen ctest --test-dir build-coverage -j"$(( $(nproc) * 2 ))" "$@" |
  tail -n 3
gcovr --root . --filter 'src/' --object-directory build-coverage --print-summary \
  -j"$(nproc)" -o build-coverage/coverage.txt 2>/dev/null |
  grep -E '^(lines|functions|branches):'

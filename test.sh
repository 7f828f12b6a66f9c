#!/usr/bin/env bash
# Sets up what is missing, builds the test suites with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them all; then runs every fuzz target for a short smoke
# period (fuzz/run.sh, which says so and passes where clang is missing).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPMOOR_SANITIZE=ON
cmake --build build-test -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure -j"$(( $(nproc) * 2 ))" "$@"
fuzz/run.sh 10

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each of them for SECONDS seconds, one after the other:
#   fuzz/run.sh SECONDS [TARGET...]
# Every target starts from its seeds in fuzz/corpus/TARGET (which also hold the inputs of
# earlier findings, so they are checked again first); what a run learns goes to
# build-fuzz/corpus/TARGET. Any finding (crash, broken check, leak, time-out, memory blow-up)
# fails the run and leaves its input in build-fuzz/findings/TARGET/. Without a clang that can
# build fuzzers this says so and succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: fuzz/run.sh SECONDS [TARGET...]" >&2
  exit 2
fi
shift
all_targets=(video_info_answer_fuzzer address_fuzzer resume_data_fuzzer instance_message_fuzzer
             store_file_fuzzer)
targets=("${@:-${all_targets[@]}}")

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  > "$probe/probe.cpp"
if ! command -v clang++ > /dev/null ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2> /dev/null; then
  echo "fuzz: skipped: clang++ with libFuzzer is not installed" \
       "(Debian packages clang and libclang-rt-14-dev; scripts/install-deps.sh test installs them)"
  exit 0
fi

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCLIPMOOR_BUILD_TESTS=OFF -DCLIPMOOR_BUILD_FUZZ=ON "${launcher[@]}" > /dev/null
cmake --build build-fuzz -j"$(nproc)" --target clipmoor_fuzzers

# Per target: the longest input worth trying, and a dictionary of its format's words.
declare -A options=(
  [video_info_answer_fuzzer]="-max_len=65536 -dict=fuzz/dictionaries/video_info_answer.dict"
  [address_fuzzer]="-max_len=4096 -dict=fuzz/dictionaries/address.dict"
  [resume_data_fuzzer]="-max_len=8192 -dict=fuzz/dictionaries/resume_data.dict"
  [instance_message_fuzzer]="-max_len=70000"
  [store_file_fuzzer]="-max_len=65536"
)

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
failed=()
for target in "${targets[@]}"; do
  if [ -z "${options[$target]+set}" ]; then
    echo "fuzz: no such target: $target" >&2
    exit 2
  fi
  mkdir -p "build-fuzz/corpus/$target" "build-fuzz/findings/$target" build-fuzz/logs
  log="build-fuzz/logs/$target.log"
  # shellcheck disable=SC2086  # the options are words
  if build-fuzz/fuzz/"$target" ${options[$target]} -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$target/" \
       "build-fuzz/corpus/$target" "fuzz/corpus/$target" > "$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target: ${executions:-?} executions in ${seconds} s, no finding"
  else
    echo "fuzz: $target: FINDING (input in build-fuzz/findings/$target/); end of $log:"
    tail -n 40 "$log"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in: ${failed[*]}"
  exit 1
fi

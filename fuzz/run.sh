#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time.
# usage: fuzz/run.sh [seconds per target, default 60] [target ...]
# A finding (crash, sanitizer report, timeout) stops the script with status 1;
# the input is left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=fuzzer >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build build-fuzz -j2 --target "${targets[@]}" >/dev/null
mkdir -p build-fuzz/findings
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0
status=0
for t in "${targets[@]}"; do
  name="${t#fuzz_}"
  work="build-fuzz/corpus/$name"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "== $t: ${seconds}s"
  if ! ./build-fuzz/"$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -artifact_prefix=build-fuzz/findings/"$name"- -print_final_stats=1 "$work" \
      > build-fuzz/"$t".log 2>&1; then
    echo "finding in $t:"; tail -40 build-fuzz/"$t".log; status=1
  fi
  grep -E "stat::number_of_executed_units|cov:" build-fuzz/"$t".log | tail -2 || true
done
exit $status

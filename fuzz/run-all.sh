#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan) in build-fuzz and runs each for DURATION seconds.
# Usage: fuzz/run-all.sh [DURATION]   (default 45; FUZZ_TARGETS="a b" picks targets). Non-zero exit on a finding.
set -euo pipefail

duration="${1:-45}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
cc="${CC_FUZZ:-clang-14}"
cxx="${CXX_FUZZ:-clang++-14}"
"$root/scripts/setup" checks >/dev/null

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DQL_FUZZ=ON -DQL_TESTS=OFF -DQL_BENCH=OFF -DQL_HOST=OFF >/dev/null

targets=(${FUZZ_TARGETS:-fuzz_dib_stream fuzz_dib_rle fuzz_dib_lzh fuzz_picture fuzz_desc_binary fuzz_template})
ninja -C "$build" -j"${FUZZ_JOBS:-2}" "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/$t"
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t/"
  mkdir -p "$work" "$artifacts"
  echo "== $t: ${duration}s"
  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
       "$build/bin/$t" -max_total_time="$duration" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$artifacts" -print_final_stats=1 "$work" "$seeds" 2>"$build/$t.log"; then
    echo "!! $t found a fault; see $build/$t.log and $artifacts"
    tail -40 "$build/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/$t.log" | tail -2
  fi
done
exit "$status"

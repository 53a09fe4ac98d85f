#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs them.
#   bash scripts/fuzz.sh            each target for its short fixed number of inputs (as CTest tests)
#   bash scripts/fuzz.sh 600 [NAME] each target (or the one named) for 600 seconds, keeping what it
#                                   finds in build-fuzz/corpus/NAME
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed; the fuzz targets are not built" >&2
  exit 0
fi
dir=build-fuzz
# Warnings are errors with TALVO_WERROR=ON (scripts/test.sh sets it), as in scripts/build.sh.
opts=(-DCMAKE_BUILD_TYPE=Debug -DTALVO_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
      "-DTALVO_WERROR=${TALVO_WERROR:-OFF}")
command -v ccache >/dev/null && opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "${TALVO_JOBS:-$(nproc)}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}
export QT_QPA_PLATFORM=offscreen
if [[ $# -eq 0 ]]; then
  ctest --test-dir "$dir" --output-on-failure -j "${TALVO_JOBS:-$(nproc)}" -L fuzz
  exit
fi
seconds=$1
names=("${@:2}")
if [[ ${#names[@]} -eq 0 ]]; then
  mapfile -t names < <(find "$dir/tests/fuzz" -maxdepth 1 -type f -executable -name '*_fuzz' -printf '%f\n' | sort)
fi
for name in "${names[@]}"; do
  corpus=$dir/corpus/$name
  mkdir -p "$corpus"
  seeds=tests/fuzz/corpus/$name
  [[ -d $seeds ]] || seeds=
  echo "== $name for $seconds s"
  "$dir/tests/fuzz/$name" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 -timeout=10 \
    "$corpus" ${seeds:+"$seeds"}
done

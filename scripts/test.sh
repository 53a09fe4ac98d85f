#!/usr/bin/env bash
# Installs what is missing, the tests' packages and their independent ADIF reader included; builds
# Talvo twice (plain, and with AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole
# test suite on both builds, headless; then builds the libFuzzer targets with clang and runs each
# for a short fixed number of inputs. Every build here fails on a compiler warning.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TALVO_WERROR=ON
jobs=$(nproc)

for flavour in release sanitize; do
  echo "== $flavour build"
  bash scripts/build.sh "$flavour"
  dir=build; [[ $flavour == sanitize ]] && dir=build-sanitize
  echo "== $flavour tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
done

echo "== fuzz targets"
bash scripts/fuzz.sh

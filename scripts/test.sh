#!/usr/bin/env bash
# Installs what is missing, builds Kalvo with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test, then builds and checks the Debian package (scripts/package-check.sh).
# Extra arguments go to ctest and skip the package check; KALVO_PACKAGE_CHECK=0 skips it too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKALVO_SANITIZE=ON -DKALVO_BUILD_BENCH=OFF
cmake --build build-test
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-test && ctest --output-on-failure --timeout 600 "$@")

# The whole suite passed: build the Release package and check it. CI installs it for real
# (KALVO_PACKAGE_INSTALL=1); elsewhere it is unpacked into a private folder instead.
if [ "$#" -eq 0 ] && [ "${KALVO_PACKAGE_CHECK:-1}" = 1 ]; then
  if [ "${KALVO_PACKAGE_INSTALL:-0}" = 1 ]; then
    bash scripts/package-check.sh
  else
    bash scripts/package-check.sh --extract
  fi
fi

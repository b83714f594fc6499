#!/usr/bin/env bash
# Builds everything and runs every test: the plain build (with Valgrind's
# memcheck of a client session), the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, the Windows build and its ZIP package, whose
# end-to-end suites run against the .exe under Wine, then each fuzz target
# for FUZZ_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in default asan windows; do
  echo "=== $preset build"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  if [ "$preset" = windows ]; then
    cmake --build --preset windows --target package
  fi
  ctest --preset "$preset"
done

echo "=== fuzz"
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, the whole suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows build and its ZIP package, whose end-to-end suite runs against the
# .exe under Wine.
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

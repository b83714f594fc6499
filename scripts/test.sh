#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, then the whole
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in default asan; do
  echo "=== $preset build"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

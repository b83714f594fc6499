#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time
# (seconds, default 60). Fails on the first finding; the input that caused it
# is left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz

run() {
  local fuzzer=$1 corpus=$2
  local work="build-fuzz/corpus/$corpus" findings="build-fuzz/findings/$fuzzer"
  mkdir -p "$work" "$findings"
  echo "=== $fuzzer for ${seconds}s"
  # New inputs go to the work corpus; the seeds and saved findings are read too.
  "build-fuzz/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 \
    "$work" "fuzz/corpus/$corpus" "fuzz/regressions/$corpus"
}

run reply_reporter_fuzzer reply
run command_parser_fuzzer command

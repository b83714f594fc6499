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

passed=0
failed=0
run() {
  local fuzzer=$1 corpus=$2
  local work="build-fuzz/corpus/$corpus" findings="build-fuzz/findings/$fuzzer"
  local log="build-fuzz/$fuzzer.log"
  mkdir -p "$work" "$findings"
  echo "=== $fuzzer for ${seconds}s (log: $log)"
  # New inputs go to the work corpus; the seeds and saved findings are read too.
  if "build-fuzz/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$findings/" -print_final_stats=1 \
      "$work" "fuzz/corpus/$corpus" "fuzz/regressions/$corpus" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    passed=$((passed + 1))
  else
    tail -n 60 "$log"
    echo "FINDING in $fuzzer: see $findings/; save the input under fuzz/regressions/$corpus/"
    failed=$((failed + 1))
  fi
}

run reply_reporter_fuzzer reply
run command_parser_fuzzer command
run sim_session_fuzzer sim

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

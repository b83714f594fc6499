#!/usr/bin/env bash
# Builds the client and runs it against the server at the given address and
# port (without them: 127.0.0.1 2020).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target talvoW6Client >/dev/null
exec build/console/talvoW6Client "$@"

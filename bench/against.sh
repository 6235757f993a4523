#!/usr/bin/env bash
# Builds the command-line tool of an earlier commit beside this checkout and runs the load
# benchmark against it, so that the two are timed in one run on the same machine:
#   bench/against.sh [REV] [document_bench options]     (REV defaults to e42cc28)
# The earlier code is checked out under build/against-REV/src (a git worktree) and built
# there without its viewer, tests or benchmarks.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:-e42cc28}
shift || true
dir="$source/build/against-$rev"
if [ ! -e "$dir/src/CMakeLists.txt" ]; then
  mkdir -p "$dir"
  git -C "$source" worktree add --detach "$dir/src" "$rev" >/dev/null
fi
cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLADORAMA_GUI=OFF \
  -DCLADORAMA_TESTS=OFF -DCLADORAMA_BENCH=OFF >/dev/null
cmake --build "$dir/build" -j "$(nproc 2>/dev/null || echo 2)" --target cladorama-cli >/dev/null
cmake --build "$source/build/release" -j "$(nproc 2>/dev/null || echo 2)" --target document_bench cladorama-cli >/dev/null
exec "$source/build/release/bench/document_bench" --dir "$source/bench/out" \
  --against "$dir/build/tools/cladorama-cli" --ours "$source/build/release/tools/cladorama-cli" "$@"

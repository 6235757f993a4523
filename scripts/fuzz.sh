#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build/fuzz and runs each for SECONDS_PER_TARGET seconds
# (default 60) on a copy of its seed corpus, with its dictionary. Any finding (a crash, a
# failed check, a leak, a hang, too much memory) fails the script; the input that showed it
# is copied to tests/fuzz/regressions/<target>/, where the ordinary test builds replay it.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] &&
  targets=(classification_fuzz classification_split_fuzz treefile_fuzz table_fuzz delimited_fuzz dwca_fuzz
           coldp_fuzz taxdump_fuzz opentree_fuzz partners_fuzz lineage_fuzz newick_fuzz)

for tool in clang++ cmake; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is needed (Debian: clang, libclang-rt-dev, cmake)" >&2; exit 1; }
done
cmake -S tests/fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

dictionary_of() {
  case $1 in
    treefile_fuzz) echo tests/fuzz/treefile.dict ;;
    table_fuzz | delimited_fuzz) echo tests/fuzz/table.dict ;;
    dwca_fuzz) echo tests/fuzz/dwca.dict ;;
    coldp_fuzz) echo tests/fuzz/coldp.dict ;;
    taxdump_fuzz) echo tests/fuzz/taxdump.dict ;;
    opentree_fuzz) echo tests/fuzz/opentree.dict ;;
    partners_fuzz) echo tests/fuzz/partners.dict ;;
    lineage_fuzz) echo tests/fuzz/lineage.dict ;;
    newick_fuzz) echo tests/fuzz/newick.dict ;;
    *) echo tests/fuzz/classification.dict ;;
  esac
}

# CLADORAMA_FUZZ_SEED fixes libFuzzer's seed, so that a short run (./test's) walks the same
# inputs every time and passes or fails alike; without it every run explores anew.
seed=()
[ -n "${CLADORAMA_FUZZ_SEED:-}" ] && seed=(-seed="$CLADORAMA_FUZZ_SEED")
# CLADORAMA_FUZZ_RUNS bounds the executions as well as the time: with a fixed seed, the
# same inputs whatever the machine's speed.
[ -n "${CLADORAMA_FUZZ_RUNS:-}" ] && seed+=(-runs="$CLADORAMA_FUZZ_RUNS")

failed=()
for target in "${targets[@]}"; do
  work=$(mktemp -d "${TMPDIR:-/tmp}/cladorama-fuzz-$target-XXXXXX")
  mkdir -p "$work/corpus" "$work/findings"
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
  echo "== $target: $seconds s"
  # Diagnostics of rejected inputs go to the target's standard error, closed here
  # (-close_fd_mask=2); libFuzzer and the sanitizers still report.
  set +e
  # The allocator's bookkeeping is half of a run's cost: no allocation stacks in reports (the
  # kept input replays with them in the sanitizer test build), and a quarantine of 4 MB,
  # many runs' worth of freed memory, so a use after free within a run is still caught.
  # -reload=0: one process alone has no other's findings to reload.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:malloc_context_size=0:quarantine_size_mb=4 \
  UBSAN_OPTIONS=print_stacktrace=1 \
    build/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -reload=0 "${seed[@]}" \
      -dict="$(dictionary_of "$target")" -close_fd_mask=2 -print_final_stats=1 \
      -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log" 2>&1
  status=$?
  set -e
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::peak_rss_mb|^Done' "$work/log" || true
  findings=("$work"/findings/*)
  if [ $status -ne 0 ] || [ -e "${findings[0]}" ]; then
    tail -n 40 "$work/log" >&2
    mkdir -p tests/fuzz/regressions/"$target"
    for f in "${findings[@]}"; do
      [ -e "$f" ] && cp "$f" tests/fuzz/regressions/"$target"/ && echo "kept $f in tests/fuzz/regressions/$target/" >&2
    done
    failed+=("$target")
  fi
  rm -rf "$work"
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: no findings"

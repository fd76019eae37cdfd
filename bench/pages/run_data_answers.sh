#!/usr/bin/env bash
# The data answers against the pages, on the large demo database of the page
# benchmarks (100,000 properties; made once under BUILD/bench/):
#   - each data page as HTML and as JSON on the same session and request
#     (median of REPS interleaved runs), and the writing alone of data read
#     once (BM_RenderOnly);
#   - the CSV export of every listed property, its resident memory sampled at
#     every chunk of the last of three runs (the first warms the cache).
#   bench/pages/run_data_answers.sh [build-dir]   (REPS, default 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/functions.sh"
. "$root/bench/pages/pages_db.sh"
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)

build_targets "$build" qvdemo qv_bench_pages
make_pages_db "$build" 6
export QV_BENCH_DB="$pages_db"

"$build/qv_bench_pages" --benchmark_filter='BM_(DataPage|RenderOnly)' \
  --benchmark_repetitions="${REPS:-9}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '^(Benchmark|BM_.*_median)'
"$build/qv_bench_pages" --benchmark_filter='BM_PropertyListCsv' 2>/dev/null | grep -E '^(Benchmark|BM_)'

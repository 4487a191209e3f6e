#!/usr/bin/env bash
# Builds the benchmarks with optimisation and prints every figure beside its
# baseline and the ratio.
#   bench/run.sh              one run of every benchmark
#   bench/run.sh --quick      each once, briefly, as CI does so they never rot
#   bench/run.sh --runs 10    ten whole runs, each kept in build-bench/runs/,
#                             then every ratio summarised across the runs:
#                             median, range, and in how many runs its target
#                             held (summary.txt, and summary.md: the table
#                             docs/performance.md publishes, where a target
#                             counts as met when it held in 8 of 10);
#                             bench/publish_figures.py then writes them into
#                             the guide
# VANTREL_BENCH_DIR names an existing build folder to use instead of
# build-bench (test.sh passes its own).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=1
args=()
while (($#)); do
    case $1 in
    --runs)
        runs=${2:?--runs needs a number}
        shift 2
        ;;
    *)
        args+=("$1")
        shift
        ;;
    esac
done

benches=(bench_config bench_send bench_remote bench_startup bench_editor bench_bigfile)
dir=${VANTREL_BENCH_DIR:-build-bench}
if [[ -z ${VANTREL_BENCH_DIR:-} ]]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$dir" --target "${benches[@]}"

# Qt wants a private runtime folder; a fresh one keeps its warning quiet.
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

# The panels the benchmarks start keep their take log there too, not in the
# user's state folder.
export XDG_STATE_HOME=$XDG_RUNTIME_DIR/state

# Every benchmark runs even when one fails; the status says whether any did.
run_all() {
    local status=0
    for bench in "${benches[@]}"; do
        echo
        "$dir/bench/$bench" "${args[@]+"${args[@]}"}" || status=1
    done
    return $status
}

if ((runs == 1)); then
    run_all
    exit
fi

# Every benchmark appends "figure<TAB>value<TAB>limit<TAB>unit" for each of
# its ratios (and absolute targets) to the file VANTREL_BENCH_RECORD names
# (absolute: some benchmarks work in a folder of their own)
out="$(cd "$dir" && pwd)/runs"
rm -rf "$out"
mkdir -p "$out"
for ((run = 1; run <= runs; ++run)); do
    echo "run $run of $runs (output in $out/run-$run.txt)"
    VANTREL_BENCH_RECORD="$out/figures-$run.tsv" run_all >"$out/run-$run.txt" 2>&1 ||
        echo "run $run: a benchmark failed, see $out/run-$run.txt"
done

echo
echo "$runs runs: each figure's median, its range over the runs, and in how many runs its target held"
cat "$out"/figures-*.tsv | sort -t $'\t' -k1,1 -k2,2g | awk -F '\t' -v runs="$runs" -v md="$out/summary.md" '
function flush() {
    if (n == 0) return
    median = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    if (unit == "x") {
        line = sprintf("%.2fx  (%.2f-%.2f)", median, v[1], v[n])
        target = limit > 0 ? sprintf("<= %.2fx", limit) : "-"
    } else {
        line = sprintf("%.1f %s  (%.1f-%.1f)", median, unit, v[1], v[n])
        target = limit > 0 ? sprintf("< %g %s", limit, unit) : "-"
    }
    held = limit > 0 ? sprintf("%d of %d", ok, n) : "-"
    printf "%-72s  %-24s  %-10s  %s\n", name, line, target, held
    # The same line for the performance guide, where a target counts as
    # met when it held in at least 8 runs of 10.
    if (limit > 0)
        held = held (ok * 10 >= n * 8 ? ": met" : ": missed")
    printf "| `%s` | %s | %s | %s |\n", name, line, target, held > md
}
BEGIN {
    printf "| Figure (as the summary names it) | Median of %d runs (range) | Target | Held |\n", runs > md
    print "|---|---|---|---|" > md
}
{
    if ($1 != name) { flush(); name = $1; n = 0; ok = 0 }
    v[++n] = $2 + 0; limit = $3 + 0; unit = $4
    if (limit > 0 && ((unit == "x" && $2 + 0 <= limit) || (unit != "x" && $2 + 0 < limit))) ok++
}
END { flush() }' | (
    printf "%-72s  %-24s  %-10s  %s\n" "figure" "median (range)" "target" "held"
    cat
) | tee "$out/summary.txt"

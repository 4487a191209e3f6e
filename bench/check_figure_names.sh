#!/usr/bin/env bash
# The published figures and the benchmarks name the same ones: every name
# in the figure tables of the performance guide (a first cell in backticks)
# is a figure some benchmark records, and every figure recorded is
# published. Names only: the benchmarks run with --names, which measures
# nothing.
#   check_figure_names.sh docs/performance.md bench_program...
set -euo pipefail
guide=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The figures of both platforms, whatever the caller's.
unset QT_QPA_PLATFORM
for program in "$@"; do
    VANTREL_BENCH_RECORD=$work/record.tsv "$program" --names >/dev/null
done
cut -f1 "$work/record.tsv" | sort -u >"$work/recorded"
# The first cells of the tables headed "Figure ...".
awk '/^\| Figure/ { table = 1; next } !/^\|/ { table = 0 }
     table && match($0, /^\| `[^`]*` \|/) { print substr($0, 4, RLENGTH - 6) }' "$guide" |
    sort -u >"$work/published"

if ! diff -u --label recorded --label "published in $guide" "$work/recorded" "$work/published"; then
    echo "The figures above are recorded but not published (-) or published but not recorded (+):"
    echo "regenerate the tables from bench/run.sh --runs N (build-bench/runs/summary.md)."
    exit 1
fi
# The figures the prose quotes (<!--fig NAME--> and <!--held NAME-->) are
# recorded ones too.
grep -o '<!--\(fig\|held\) [^>]*-->' "$guide" | sed -E 's/^<!--(fig|held) //; s/-->$//' |
    sort -u >"$work/quoted"
unknown=$(comm -23 "$work/quoted" "$work/recorded")
if [[ -n $unknown ]]; then
    echo "The guide quotes figures no benchmark records:"
    echo "$unknown"
    exit 1
fi
echo "$(wc -l <"$work/recorded") figures, published under the names the benchmarks record"

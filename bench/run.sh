#!/usr/bin/env bash
# Builds the benchmarks with optimisation and prints every figure beside its
# baseline and the ratio. "bench/run.sh --quick" runs each once, briefly, as
# CI does so they never rot. VANTREL_BENCH_DIR names an existing build folder
# to use instead of build-bench (test.sh passes its own).
set -euo pipefail
cd "$(dirname "$0")/.."

benches=(bench_config bench_send bench_startup bench_editor bench_bigfile)
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
for bench in "${benches[@]}"; do
    echo
    "$dir/bench/$bench" "$@"
done

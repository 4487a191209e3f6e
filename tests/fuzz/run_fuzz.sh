#!/usr/bin/env bash
# Fuzzes the configuration file's reading and writing with libFuzzer.
#
#   tests/fuzz/run_fuzz.sh [seconds]     (default 60)
#
# Builds build-fuzz with clang, replays every file of the committed corpus
# once, then fuzzes for the given time on one core from a temporary copy of
# that corpus (the committed one is never changed). Exits non-zero on any
# finding and says where the input that caused it was saved. Exits 77 when
# clang or its libFuzzer is not installed, so callers can skip the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds]" >&2
    exit 2
fi

cxx=${VANTREL_FUZZ_CXX:-clang++}
build=build-fuzz
corpus=tests/fuzz/corpus
findings=$build/findings

probe=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$probe" "$work"' EXIT

if ! command -v "$cxx" >/dev/null; then
    echo "fuzzing skipped: $cxx is not installed" >&2
    exit 77
fi
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }' \
    >"$probe/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    echo "fuzzing skipped: $cxx cannot build a libFuzzer target (is libclang-rt installed?)" >&2
    exit 77
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx" \
    -DVANTREL_FUZZ=ON -DVANTREL_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_config
fuzzer=$build/tests/fuzz/fuzz_config

# Only this run's findings, so what is listed below is what this run found.
rm -rf "$findings"
mkdir -p "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
options=(-max_len=65536 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/")

report() {
    echo "FUZZING FOUND A FAULT: the input that caused it is in $findings/:" >&2
    ls -1 "$findings" >&2
    echo "Replay it with: $fuzzer $findings/<file>" >&2
    exit 1
}

echo "-- Replaying the committed corpus"
"$fuzzer" "${options[@]}" "$corpus"/* 2>"$work/replay.log" || {
    tail -n 60 "$work/replay.log" >&2
    report
}

echo "-- Fuzzing for $seconds s"
mkdir "$work/corpus"
cp "$corpus"/* "$work/corpus/"
"$fuzzer" "${options[@]}" -max_total_time="$seconds" -dict=tests/fuzz/vantrel.dict \
    -print_final_stats=1 "$work/corpus" 2>"$work/fuzz.log" || {
    tail -n 80 "$work/fuzz.log" >&2
    report
}
grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' \
    "$work/fuzz.log" || true
echo "-- No findings"

#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with warnings as errors,
# runs the suites, then builds and runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and fuzzes the configuration file for a minute.
# "./test.sh --quick" skips the sanitizer pass and the fuzzing.
set -euo pipefail
cd "$(dirname "$0")"

quick=0
[[ ${1:-} == --quick ]] && quick=1

tools/install-deps.sh --test

jobs=$(nproc)

# The suites need line tables (for the sanitizers' reports and a backtrace),
# not the full debugging information, which is most of what the compiler and
# the linker write; lld links the many suites faster than the default linker.
build_flags=(-DCMAKE_CXX_FLAGS_DEBUG=-g1)
if command -v ld.lld >/dev/null; then
    build_flags+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
fi

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON \
        "${build_flags[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Build and test"
run_suite build

echo "== Benchmarks, once each in quick mode (figures only, never a failure on timing)"
VANTREL_BENCH_DIR=build bench/run.sh --quick

if ((!quick)); then
    echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
    run_suite build-sanitize -DVANTREL_SANITIZE=ON -DVANTREL_BUILD_BENCH=OFF
fi

if ((!quick)); then
    echo "== Fuzz the configuration file for 60 s"
    fuzz_status=0
    tests/fuzz/run_fuzz.sh 60 || fuzz_status=$?
    if ((fuzz_status == 77)); then
        echo "Fuzzing skipped: clang with libFuzzer is not available"
    elif ((fuzz_status != 0)); then
        exit "$fuzz_status"
    fi
fi

if command -v clang-format >/dev/null; then
    echo "== Format check"
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
fi

#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, one after the other (they share the machine
# with builds), under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     default 60 s, every target
#
# Seeds come from fuzz/corpus/<target>/ (read only); what the fuzzer learns goes to
# build/fuzz/corpus/<target>/, findings to build/fuzz/findings/<target>/. A finding makes
# the script fail: fix it, then copy the input into fuzz/regressions/<target>/ so that the
# native tests replay it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
build=build/fuzz

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz.sh: installing clang" >&2
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang >/dev/null
fi

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTARNWICK_NATIVE=ON -DTARNWICK_FUZZ=ON >/dev/null
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do
        t="$(basename "$src" .cpp)"
        targets+=("${t#fuzz_}")
    done
fi

nice cmake --build "$build" --target native_test "${targets[@]/#/fuzz_}" >/dev/null
# The replay of seeds and kept findings first: a regression there needs no fuzzing to show.
"$build/native/native_test" --gtest_brief=1

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for t in "${targets[@]}"; do
    work="$build/corpus/$t"
    findings="$build/findings/$t"
    mkdir -p "$work" "$findings"
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds+=("fuzz/corpus/$t")
    [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
    echo "== $t: ${seconds}s"
    if nice "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" \
            "$work" "${seeds[@]}" >"$build/$t.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$build/$t.log" | tr '\n' ' '; echo
    else
        echo "FINDING in $t: see $build/$t.log and $findings/"
        tail -20 "$build/$t.log"
        failed+=("$t")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz.sh: findings in: ${failed[*]}"
    exit 1
fi
echo "fuzz.sh: ${#targets[@]} targets, ${seconds}s each, no findings"

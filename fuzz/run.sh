#!/usr/bin/env bash
# Builds the fuzz targets if needed, writes their seeds and runs each for SECONDS:
#   fuzz/run.sh SECONDS [TARGET...]
# Targets: fuzz_archive_index fuzz_extraction fuzz_reimport (all when none is named).
# Corpora grow in build-fuzz/corpus/<target>, logs go to build-fuzz/logs/<target>.log and crashing inputs to
# build-fuzz/artifacts/. Exits non-zero when a target crashes, leaks, hangs or prints a sanitizer report.
# Environment: VORSK_FUZZ_BUILD (build directory), CXX (clang++ by default), VORSK_FUZZ_JOBS (build jobs).
set -uo pipefail

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "usage: fuzz/run.sh SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VORSK_FUZZ_BUILD:-$root/build-fuzz}"
all_targets=(fuzz_archive_index fuzz_extraction fuzz_reimport)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
    case " ${all_targets[*]} " in
    *" $target "*) ;;
    *)
        echo "fuzz/run.sh: unknown target $target" >&2
        exit 2
        ;;
    esac
done

# The longest input each target is given: archives, header libraries and content directories up to
# 64 KiB; the reimport target's shapes and edits need few bytes.
max_len() {
    case "$1" in
    fuzz_reimport) echo 256 ;;
    *) echo 65536 ;;
    esac
}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" || exit 1
fi
cmake --build "$build" -j"${VORSK_FUZZ_JOBS:-2}" --target "${targets[@]}" vorsk_fuzz_seeds || exit 1

rm -rf "$build/seeds"
"$build/vorsk_fuzz_seeds" "$build/seeds" || exit 1
mkdir -p "$build/logs" "$build/artifacts"

failed=()
summary=()
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus"
    inputs=("$corpus" "$build/seeds/$target")
    [ -d "$root/fuzz/regressions/$target" ] && inputs+=("$root/fuzz/regressions/$target")
    echo "== $target: $seconds s"
    # Standard input is closed so that nothing the target opens can wait on the terminal.
    (cd "$build" && "./$target" -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "${inputs[@]}") \
        </dev/null >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(grep -o 'DONE .*cov: [0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    corpus_size=$(find "$corpus" -type f | wc -l)
    if [ $status -ne 0 ] || grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:|==vorsk-fuzz==' "$log"; then
        failed+=("$target")
        result="FAILED (exit $status, see $log)"
        grep -E 'ERROR:|runtime error:|==vorsk-fuzz==|SUMMARY:|Test unit written' "$log" | head -20
    else
        result="ok"
    fi
    summary+=("$(printf '%-20s %12s execs %8s/s  cov %6s  corpus %6s  %s' "$target" "${runs:-?}" "${rate:-?}" \
        "${cov:-?}" "$corpus_size" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz/run.sh: failed: ${failed[*]}" >&2
    exit 1
fi

#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for a while from its seed
# corpus in fuzz/corpus/<target>/. Exits non-zero when a target finds a crash, a sanitizer
# report or a failed check; the input that did it is left in build-fuzz/findings/<target>/.
#
#   fuzz/run.sh [-t seconds] [target...]     default: 20 seconds each, every target
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=20
if [ "${1:-}" = "-t" ]; then
    seconds=$2
    shift 2
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTESSARY_FUZZ=ON -DTESSARY_SANITIZE=ON -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_measurement_file fuzz_enr_tab fuzz_enr_store fuzz_config fuzz_engvalue
             fuzz_enr_lookup fuzz_receive_lines fuzz_reply fuzz_tcp_lines fuzz_limits
             fuzz_calibration_file fuzz_lan_replies fuzz_enr_data_file fuzz_nfm_file)
fi
cmake --build build-fuzz -j "$jobs" --target "${targets[@]}"

# A report of the undefined-behaviour sanitizer is a finding, not a note; leaks are findings too.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1

failed=()
for t in "${targets[@]}"; do
    work=build-fuzz/corpus/$t
    findings=build-fuzz/findings/$t
    mkdir -p "$work" "$findings"
    echo "== $t: ${seconds} s"
    # New inputs go to the work corpus; the seeds in the tree stay as they are.
    if ! build-fuzz/fuzz/$t -max_total_time="$seconds" -print_final_stats=0 \
            -artifact_prefix="$findings/" "$work" "fuzz/corpus/$t" \
            >"build-fuzz/$t.log" 2>&1; then
        failed+=("$t")
        tail -n 40 "build-fuzz/$t.log"
        echo "== $t: FINDING, input in $findings/"
    else
        grep -E '^Done|^#[0-9]+ *DONE' "build-fuzz/$t.log" | tail -n 1 || true
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "Fuzz findings in: ${failed[*]}"
    exit 1
fi
echo "No fuzz findings."

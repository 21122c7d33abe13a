#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (with ASan and UBSan) and runs each
# for a bounded time from its seed corpus. Skips, saying so, where clang or its
# fuzzer runtime is missing; under CI (CI set) that fails instead.
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH="${FUZZ_SECONDS:-60}"
BUILD_DIR="${FUZZ_BUILD_DIR:-build-fuzz}"

TARGETS="listfile commandline installertype"

# A fuzz step that cannot run is a failure in CI, where setup.sh installed clang.
skip() {
    if [ -n "${CI:-}" ] && [ "${CI}" != "false" ]; then
        echo "fuzz: $1, and CI is set: FAILED"
        exit 1
    fi
    echo "fuzz: $1, fuzzing skipped"
    exit 0
}

command -v clang++ >/dev/null 2>&1 || skip "clang++ not found"
probe="$(mktemp -d)"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' > "$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    rm -rf "$probe"
    skip "clang has no libFuzzer runtime (libclang-rt-dev)"
fi
rm -rf "$probe"

export CCACHE_BASEDIR="$PWD"
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSETUPREEL_FUZZ=ON -DSETUPREEL_SANITIZE=ON -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
# shellcheck disable=SC2046,SC2086 # one target name per word
cmake --build "$BUILD_DIR" --target $(printf 'fuzz_%s ' $TARGETS) -j"$(nproc)"

for target in $TARGETS; do
    work="$(mktemp -d)"
    echo "fuzz: $target for ${SECONDS_EACH} s"
    # A crash or a broken property aborts and leaves the input in $BUILD_DIR.
    status=0
    TMPDIR=/dev/shm "$BUILD_DIR/fuzz/fuzz_$target" -max_total_time="$SECONDS_EACH" -max_len=4096 \
        -artifact_prefix="$BUILD_DIR/crash-$target-" -print_final_stats=1 \
        "$work" "fuzz/corpus/$target" > "$BUILD_DIR/fuzz-$target.log" 2>&1 || status=$?
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$BUILD_DIR/fuzz-$target.log"
        echo "fuzz: $target FAILED (status $status)"
        exit 1
    fi
    grep -E 'number_of_executed_units|new_units_added' "$BUILD_DIR/fuzz-$target.log"
done

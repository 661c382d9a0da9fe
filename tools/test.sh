#!/usr/bin/env bash
# Builds and runs every test: a plain build, AddressSanitizer+UBSan, and the
# threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_dependencies.sh

jobs=$(nproc)
build() {  # directory, sanitizer, extras, compiler flags of the build type
  cmake -S . -B "$1" -DVANTLE_SANITIZER="$2" -DVANTLE_BUILD_EXTRAS="$3" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$4" >/dev/null
  cmake --build "$1" -j "$jobs"
}

# Full debug information is most of the compile and link time and nobody reads
# it here; the sanitizers get line tables for their reports. The benchmarks and
# the example program are built once, in the plain build.
build build/plain "" ON "-O2 -DNDEBUG"
build build/asan address OFF "-g1 -DNDEBUG"
build build/tsan thread OFF "-g1 -DNDEBUG"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

status=0
echo "== plain"
ctest --test-dir build/plain --output-on-failure -j "$jobs" || status=1
echo "== address,undefined"
ctest --test-dir build/asan --output-on-failure -j "$jobs" || status=1
echo "== thread (threaded tests)"
ctest --test-dir build/tsan -L threaded --output-on-failure -j "$jobs" || status=1

echo "== fuzz (each target for a bounded time)"
tools/fuzz.sh 20 || status=1
exit $status

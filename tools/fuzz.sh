#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang and runs each for a
# bounded time (seconds per target: first argument, default 20) through ctest.
# A finding fails the run; its input is kept in build/fuzz/findings/.
# Skipped, with a message, where clang's fuzzer runtime is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=$(nproc)

clang=$(command -v clang++-14 || command -v clang++ || true)
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if [ -z "$clang" ] ||
  ! "$clang" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: skipped: no clang with libFuzzer here (Debian: clang-14 libclang-rt-14-dev)"
  exit 0
fi

# libstdc++ shows std::expected only to compilers with all of C++20's concepts;
# clang before 16 lacks just the choice between a defaulted and a constrained
# destructor. A copy of the header with one plain destructor each serves it.
flags=""
header=$(echo '#include <expected>' | "$clang" -std=c++2b -x c++ -M - | grep -o '[^ ]*/expected\b' | head -n1 || true)
if [ "$("$clang" -dumpversion | cut -d. -f1)" -lt 16 ] && [ -n "$header" ]; then
  mkdir -p build/fuzz/compat
  perl -0pe 's/constexpr ~expected\(\) = default;//g; s/~expected\(\)[^{;]*requires[^{]*\{/~expected() {/g' \
    "$header" >build/fuzz/compat/expected
  flags="-I$PWD/build/fuzz/compat -D__cpp_concepts=202002L -Wno-macro-redefined"
fi

cmake -S tests/fuzz -B build/fuzz -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_CXX_FLAGS="$flags" \
  -DVANTLE_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build build/fuzz -j "$jobs"
ctest --test-dir build/fuzz --output-on-failure -j "$jobs"

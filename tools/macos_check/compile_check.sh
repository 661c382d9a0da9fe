#!/usr/bin/env bash
# Compiles the macOS build of the helper on Linux, as far as Linux allows:
# clang compiles every given source in its macOS configuration (__APPLE__
# defined, .mm files as Objective-C++ with blocks, warnings as errors) against
# GNUstep's Foundation, the blocks runtime and the check-only SDK declarations
# beside this script. Then every symbol of the helper's own namespace that an
# object needs, and every operation the platform headers declare, must be
# defined by one of them: an operation that the macOS binding lacks, or defines
# with other argument types, fails here as it would fail to link on a Mac.
#
# usage: compile_check.sh [--compile-only] WORK_DIR SOURCE_ROOT FILE...
# --compile-only stops after the compile, for a single file or a few.
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing).
set -uo pipefail

compile_only=false
if [ "${1:-}" = --compile-only ]; then
  compile_only=true
  shift
fi
work=$1
root=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

skip() {
  echo "macos compile check skipped: $1"
  exit 77
}

# Clang 19 is the first whose concepts let libstdc++ offer std::expected.
clang=${VANTLE_CHECK_CLANG:-clang++-19}
command -v "$clang" >/dev/null || skip "$clang not found (Debian: clang-19)"

gnustep=/usr/include/GNUstep
[ -f "$gnustep/Foundation/Foundation.h" ] ||
  skip "GNUstep Foundation headers not found in $gnustep (Debian: libgnustep-base-dev)"

# The GNU Objective-C runtime headers sit in GCC's own include folder, beside
# GCC's C headers, which must not take the place of clang's: expose objc/ alone.
runtime_headers=""
for include in $(gcc -print-file-name=include 2>/dev/null) /usr/lib/gcc/*/*/include; do
  if [ -f "$include/objc/objc.h" ]; then
    runtime_headers=$include/objc
    break
  fi
done
[ -n "$runtime_headers" ] || skip "GNU Objective-C runtime headers not found (Debian: gobjc, which brings libobjc-N-dev)"
command -v python3 >/dev/null || skip "python3 not found (Debian: python3)"
echo '#include <Block.h>' | "$clang" -x c -fsyntax-only - 2>/dev/null ||
  skip "Block.h not found (Debian: libblocksruntime-dev)"

rm -rf "$work"
mkdir -p "$work/runtime" "$work/objects"
ln -s "$runtime_headers" "$work/runtime/objc"

common=(-std=c++2b -fblocks -D__APPLE__ -Wall -Wextra -Wpedantic -Wshadow -Werror
  -ffp-contract=off -isystem "$here/sdk" -isystem "$work/runtime" -I "$root/src")
# GNUstep defines a DEALLOC macro unless one exists; Apple's Foundation has
# none, so it is defined here as itself, which changes nothing.
objcxx=(-x objective-c++ -fobjc-runtime=gcc -fconstant-string-class=NSConstantString
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1 -DOS_OBJECT_USE_OBJC=0 -DDEALLOC=DEALLOC
  -isystem "$here/gnustep" -isystem "$gnustep"
  # As in the macOS build: a method's types must be those it was declared
  # with, and a forwarding function one that the headers declare.
  -Wmethod-signatures -Wmissing-prototypes)

# One compiler a core; each file's messages are shown together afterwards.
compile() {  # source, object
  local language=(-x c++)
  [[ $1 == *.mm ]] && language=("${objcxx[@]}")
  "$clang" "${language[@]}" "${common[@]}" -c "$1" -o "$2" >"$2.log" 2>&1
}
objects=()
for source in "$@"; do
  object=$work/objects/$(echo "${source#"$root"/}" | tr / _).o
  objects+=("$object")
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n; done
  compile "$source" "$object" &
done
wait
failed=0
sources=("$@")
for index in "${!objects[@]}"; do
  object=${objects[$index]}
  if [ ! -f "$object" ] || [ -s "$object.log" ]; then
    cat "$object.log"
    echo "macos compile check: ${sources[$index]} does not compile"
    failed=1
  fi
done
[ $failed -eq 0 ] || exit 1
if $compile_only; then
  echo "macos compile check: ${#objects[@]} files compiled"
  exit 0
fi

# Symbols of the helper's own namespace, needed but defined nowhere.
nm --defined-only "${objects[@]}" | awk 'NF >= 3 {print $3}' | sort -u >"$work/defined.txt"
nm --undefined-only "${objects[@]}" | awk '$1 == "U" {print $2}' | grep '^_ZN12system_audio' |
  sort -u >"$work/needed.txt"

# Every operation the platform headers declare, called by a backend or not.
for header in "$root"/src/system_audio/apple/*.h; do
  echo "#include \"${header#"$root"/src/}\""
done >"$work/apple_headers.cpp"
"$clang" -x c++ "${common[@]}" -fsyntax-only -Xclang -ast-dump=json "$work/apple_headers.cpp" |
  python3 "$here/declared_operations.py" >>"$work/needed.txt" || {
  echo "macos compile check: the platform headers' operations could not be listed"
  exit 1
}

missing=$(sort -u "$work/needed.txt" | comm -23 - "$work/defined.txt")
if [ -n "$missing" ]; then
  echo "macos compile check: needed or declared, but not defined by any macOS source:"
  echo "$missing" | c++filt
  exit 1
fi
echo "macos compile check passed: ${#objects[@]} files"

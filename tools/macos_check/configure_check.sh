#!/usr/bin/env bash
# Configures the project as for macOS (CMake's Darwin platform, clang aimed at
# arm64-apple-macos, nothing compiled or linked), so that the Apple half of the
# build files is read on Linux too: it must configure, the helper must link
# the macOS binding and no other, with the frameworks, for macOS 14.2.
#
# usage: configure_check.sh WORK_DIR SOURCE_ROOT [GTEST_CMAKE_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing).
set -uo pipefail

work=$1
root=$2
gtest_dir=${3:-}

clang=$(command -v "${VANTLE_CHECK_CLANG:-clang++-19}") || {
  echo "macos configure check skipped: ${VANTLE_CHECK_CLANG:-clang++-19} not found (Debian: clang-19)"
  exit 77
}

rm -rf "$work"
target=arm64-apple-macos14.2
# install_name_tool is a Mac tool that CMake asks for but never runs here.
if ! cmake -S "$root" -B "$work" -DCMAKE_SYSTEM_NAME=Darwin -DCMAKE_INSTALL_NAME_TOOL=/bin/true \
  -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_OBJCXX_COMPILER="$clang" \
  -DCMAKE_CXX_COMPILER_TARGET=$target -DCMAKE_OBJCXX_COMPILER_TARGET=$target \
  -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY -DVANTLE_BUILD_EXTRAS=OFF \
  ${gtest_dir:+-DGTest_DIR="$gtest_dir"} >"$work.log" 2>&1; then
  cat "$work.log"
  echo "macos configure check: the project does not configure for macOS"
  exit 1
fi

link=$work/src/bin/CMakeFiles/vantle_audio_helper.dir/link.txt
failed=0
expect() {  # description, pattern, file
  if ! grep -q -- "$2" "$3"; then
    echo "macos configure check: $1"
    failed=1
  fi
}
expect "the helper does not link the macOS binding" "apple_macos" "$link"
for framework in CoreAudio CoreFoundation CoreMedia Foundation ScreenCaptureKit; do
  expect "the helper does not link $framework" "-framework $framework" "$link"
done
if grep -qE "apple_(linux|fake|standin)" "$link"; then
  echo "macos configure check: the helper links a Linux binding too"
  failed=1
fi
expect "the binding is not built for macOS 14.2" "mmacosx-version-min=14.2" \
  "$work/src/system_audio/apple/macos/CMakeFiles/apple_macos.dir/flags.make"
expect "the helper's test on macOS does not require the one ERROR line and status 1" \
  "expect_one_error.sh" "$work/tests/CTestTestfile.cmake"
[ $failed -eq 0 ] && echo "macos configure check passed"
exit $failed

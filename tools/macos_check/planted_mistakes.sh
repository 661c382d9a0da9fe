#!/usr/bin/env bash
# The compile check must catch the mistakes that a transcription of the SDK
# sharing the code's assumptions once let through to a Mac: each is planted
# into a copy of the tap binding, which must then fail to compile, with the
# compiler naming the mistake. The unplanted binding must compile, so that each
# failure is the mistake's own.
#
# usage: planted_mistakes.sh WORK_DIR SOURCE_ROOT
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing).
set -uo pipefail

work=$1
root=$2
here=$(cd "$(dirname "$0")" && pwd)
binding=$root/src/system_audio/apple/macos/core_audio.mm

# "what the binding sends|the mistake planted in its place"
mistakes=(
  "setPrivate:|setPrivateTap:"                  # the property's name, not its setter
  "initWithProcesses:|initExcludingProcesses:"  # not in the 14.2 SDK nor its runtime
)

compile() {  # name, source
  bash "$here/compile_check.sh" --compile-only "$work/$1" "$root" "$2" >"$work/$1.log" 2>&1
}

rm -rf "$work"
mkdir -p "$work"
compile unplanted "$binding"
status=$?
if [ $status -ne 0 ]; then
  cat "$work/unplanted.log"
  [ $status -eq 77 ] && exit 77
  echo "planted mistakes: the binding does not compile as it is"
  exit 1
fi

failed=0
for row in "${mistakes[@]}"; do
  right=${row%%|*}
  wrong=${row#*|}
  name=${wrong%:}
  sed "s/$right/$wrong/g" "$binding" >"$work/$name.mm"
  if cmp -s "$binding" "$work/$name.mm"; then
    echo "planted mistakes: the binding no longer sends $right; plant -$wrong elsewhere"
    failed=1
    continue
  fi
  compile "$name" "$work/$name.mm"
  status=$?
  if [ $status -ne 1 ] || ! grep -q -- "'-$wrong" "$work/$name.log"; then
    cat "$work/$name.log"
    echo "planted mistakes: the check does not fail on -$wrong (status $status)"
    failed=1
  else
    echo "planted mistakes: -$wrong fails the check"
  fi
done
exit $failed

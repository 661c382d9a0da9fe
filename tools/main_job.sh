#!/usr/bin/env bash
# The helper's main job, from a fresh machine: install what it needs, build it,
# and capture a few seconds of computer audio the way an application does,
# showing what came out.
#
# With an audio server running, it captures whatever the machine plays for
# about 5 s. Without one (a headless machine), it starts a private server with
# a null sink, plays a 440 Hz tone at -12 dBFS into it and captures that: the
# report should show about 440 Hz, a peak near -12 dBFS and an RMS near -15 dBFS.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

echo "== installing dependencies"
tools/install_dependencies.sh

echo "== building (build/plain)"
cmake -S . -B build/plain >/dev/null
cmake --build build/plain -j"$(nproc)" --target vantle_audio_helper vantle_listen
helper=$root/build/plain/src/bin/vantle_audio_helper
listen=$root/build/plain/examples/vantle_listen

work=$(mktemp -d)
server_dir=""
player=""
cleanup() {
  if [ -n "$player" ]; then
    kill "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
  fi
  if [ -n "$server_dir" ]; then
    tools/private_audio_server.sh stop "$server_dir" || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Never let the check itself start a sound server: one started just for it
# would only ever capture silence.
printf 'autospawn = no\n' >"$work/client.conf"
if PULSE_CLIENTCONFIG="$work/client.conf" timeout 10 pactl info >/dev/null 2>&1; then
  echo "== an audio server answers: capturing what this machine plays for 5 s"
  "$listen" "$helper" 5
  exit $?
fi

echo "== no audio server: starting a private one with a null sink"
server_dir=$work/server
address=$(tools/private_audio_server.sh start "$server_dir")
export "${address?}"
echo "$address"

# The tone outlasts the capture, so that every captured sample is tone.
"$listen" --tone 440 -12 6 >"$work/tone.raw"
tools/private_audio_server.sh play "$server_dir" "$work/tone.raw" 2>"$work/pacat.log" &
player=$!
sleep 0.3

echo "== capturing for 4 s while a 440 Hz tone at -12 dBFS plays"
status=0
"$listen" "$helper" 4 || status=$?
exit $status

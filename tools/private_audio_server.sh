#!/bin/sh
# A private PulseAudio server in DIR: its own socket, runtime directory and HOME,
# one null sink (float32le, 48000 Hz, stereo) as the default sink.
#
#   private_audio_server.sh start DIR   starts it, waits until it answers and
#                                       prints the line  PULSE_SERVER=unix:DIR/native
#   private_audio_server.sh stop DIR    stops it and removes DIR
#
# Demo:  eval "export $(private_audio_server.sh start /tmp/vantle-demo)"
#        pacat --playback --raw --format=float32le --rate=48000 --channels=2 < sound.raw
#        private_audio_server.sh stop /tmp/vantle-demo
set -eu

sink=vantle_null

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}

[ $# -eq 2 ] || usage
action=$1
dir=$2

case $action in
start)
  if [ -e "$dir" ] && [ -n "$(ls -A "$dir")" ]; then
    echo "$0: $dir exists and is not empty" >&2
    exit 1
  fi
  mkdir -p "$dir/runtime" "$dir/home" "$dir/state" "$dir/config"
  dir=$(cd "$dir" && pwd)
  cat >"$dir/server.pa" <<PA
load-module module-null-sink sink_name=$sink format=float32le rate=48000 channels=2
set-default-sink $sink
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
PA
  env -i HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" PATH=/usr/bin:/bin \
    pulseaudio -n --file="$dir/server.pa" --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --system=no --fail=yes --high-priority=no --realtime=no \
    --no-cpu-limit=yes --log-target=stderr </dev/null >"$dir/server.log" 2>&1 &
  echo $! >"$dir/pid"
  # Bounded wait until the server answers on its socket.
  tries=0
  until PULSE_SERVER="unix:$dir/native" HOME="$dir/home" pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ] || ! kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
      echo "$0: pulseaudio did not start; log:" >&2
      cat "$dir/server.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "PULSE_SERVER=unix:$dir/native"
  ;;
stop)
  [ -f "$dir/pid" ] || { echo "$0: no server in $dir" >&2; exit 1; }
  pid=$(cat "$dir/pid")
  kill -TERM "$pid" 2>/dev/null || true
  tries=0
  while kill -0 "$pid" 2>/dev/null && [ $tries -lt 30 ]; do
    tries=$((tries + 1))
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$dir/runtime" "$dir/home" "$dir/state" "$dir/config" "$dir/native" \
    "$dir/server.pa" "$dir/server.log" "$dir/pid"
  rmdir "$dir" 2>/dev/null || true
  ;;
*)
  usage
  ;;
esac

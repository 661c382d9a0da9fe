#!/bin/sh
# A private PulseAudio server in DIR: its own socket, runtime directory and HOME,
# so it never meets the user's server and several can run at once. It holds one
# null sink, "vantle_null" (float32le, 48000 Hz, stereo), as the default sink.
#
#   private_audio_server.sh start DIR [--no-sink | --rate=HZ]
#       Starts it (DIR must be new or empty), waits until it answers (at most
#       10 s) and prints one line: PULSE_SERVER=unix:DIR/native
#       --no-sink: a server without any sink, hence without a default sink.
#       --rate=HZ: the sink runs at HZ instead of 48000.
#       The server's pid is in DIR/pid, its log in DIR/server.log.
#   private_audio_server.sh play DIR FILE
#       Plays FILE (raw float32le, 48000 Hz, interleaved stereo) into the sink
#       and returns once it has been played.
#   private_audio_server.sh kill-record-streams DIR
#       Ends every record stream of the server's clients, as a volume control
#       or a policy module may, while the server and its sink stay up.
#   private_audio_server.sh stop DIR
#       Stops it (also when frozen with SIGSTOP) and removes DIR.
#
# Exit status 0 on success; otherwise 1 with the reason on standard error.
# Demo:  eval "export $(tools/private_audio_server.sh start /tmp/vantle-demo)"
#        tools/private_audio_server.sh play /tmp/vantle-demo sound.raw
#        tools/private_audio_server.sh stop /tmp/vantle-demo
set -eu

sink=vantle_null

usage() {
  echo "usage: $0 start DIR [--no-sink | --rate=HZ] | play DIR FILE | kill-record-streams DIR | stop DIR" >&2
  exit 1
}

# Running and not a zombie: an orphaned server may never be reaped.
alive() {
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [ "${state#Z}" = "$state" ]
}

client_env() {
  env HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PULSE_SERVER="unix:$dir/native" "$@"
}

[ $# -ge 2 ] || usage
action=$1
dir=$2

case $action in
start)
  [ $# -le 3 ] || usage
  if [ -e "$dir" ] && [ -n "$(ls -A "$dir")" ]; then
    echo "$0: $dir exists and is not empty" >&2
    exit 1
  fi
  mkdir -p "$dir/runtime" "$dir/home" "$dir/state" "$dir/config"
  dir=$(cd "$dir" && pwd)
  # The command socket lets kill-record-streams act as the server itself would.
  echo "load-module module-cli-protocol-unix socket=$dir/cli" >"$dir/server.pa"
  rate=48000
  case ${3:-} in
  --rate=*) rate=${3#--rate=} ;;
  --no-sink | "") ;;
  *) usage ;;
  esac
  if [ "${3:-}" != "--no-sink" ]; then
    cat >>"$dir/server.pa" <<PA
load-module module-null-sink sink_name=$sink format=float32le rate=$rate channels=2
set-default-sink $sink
PA
  fi
  # The socket comes last, so a client that reaches it finds the sink in place.
  echo "load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    >>"$dir/server.pa"
  env -i HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" PATH=/usr/bin:/bin \
    pulseaudio -n --file="$dir/server.pa" --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --system=no --fail=yes --high-priority=no --realtime=no \
    --no-cpu-limit=yes --log-target=stderr </dev/null >"$dir/server.log" 2>&1 &
  echo $! >"$dir/pid"
  tries=0
  until [ -S "$dir/native" ] && client_env pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -ge 200 ] || ! alive "$(cat "$dir/pid")"; then
      echo "$0: pulseaudio did not start; log:" >&2
      cat "$dir/server.log" >&2
      exit 1
    fi
    sleep 0.05
  done
  echo "PULSE_SERVER=unix:$dir/native"
  ;;
play)
  [ $# -eq 3 ] || usage
  client_env pacat --playback --raw --format=float32le --rate=48000 --channels=2 \
    --device=$sink "$3"
  ;;
kill-record-streams)
  [ $# -eq 2 ] || usage
  streams=$(client_env pactl list short source-outputs | cut -f1)
  for stream in $streams; do
    python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(b"kill-source-output " + sys.argv[2].encode() + b"\n")
s.shutdown(socket.SHUT_WR)
while s.recv(4096): pass' "$dir/cli" "$stream"
  done
  ;;
stop)
  [ $# -eq 2 ] || usage
  [ -f "$dir/pid" ] || { echo "$0: no server in $dir" >&2; exit 1; }
  pid=$(cat "$dir/pid")
  kill -TERM "$pid" 2>/dev/null || true
  kill -CONT "$pid" 2>/dev/null || true
  tries=0
  while alive "$pid" && [ $tries -lt 60 ]; do
    tries=$((tries + 1))
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$dir"
  ;;
*)
  usage
  ;;
esac

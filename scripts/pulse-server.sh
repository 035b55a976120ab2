# A private PulseAudio server for the tests, sourced by the test scripts: a null sink and a null
# source, which run in real time as a sound card does, on a socket in a runtime directory of its own.
#   pulse_start DIR   starts it and exports what clients (SDL, Wine) need to reach it
#   pulse_streams KIND DEVICE   the streams clients opened on a device: see below
#   pulse_stop        stops it and removes nothing but its own runtime directory

pulse_start() {
  PULSE_TEST_DIR=$1
  mkdir -p "$PULSE_TEST_DIR/runtime" "$PULSE_TEST_DIR/state"
  printf 'autospawn = no\n' >"$PULSE_TEST_DIR/client.conf"
  export PULSE_RUNTIME_PATH=$PULSE_TEST_DIR/runtime PULSE_STATE_PATH=$PULSE_TEST_DIR/state
  export PULSE_SERVER=unix:$PULSE_TEST_DIR/runtime/native PULSE_CLIENTCONFIG=$PULSE_TEST_DIR/client.conf
  export PULSE_COOKIE=$PULSE_TEST_DIR/cookie
  # -n: no default script, so nothing but these modules (no real cards, no X11, no D-Bus). At the
  # info level the log names every stream a client opens, which pulse_streams reads.
  pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 --system=no --log-target=stderr --log-level=info \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_TEST_DIR/runtime/native" \
    --load="module-null-sink sink_name=brivane_sink" \
    --load="module-null-source source_name=brivane_source" \
    2>"$PULSE_TEST_DIR/pulseaudio.log" &
  PULSE_TEST_PID=$!
  local waited=0
  until pactl info >/dev/null 2>&1; do
    if ! kill -0 "$PULSE_TEST_PID" 2>/dev/null || [ $waited -ge 100 ]; then
      echo "FAIL: the test PulseAudio server did not start:" >&2
      tail -n 20 "$PULSE_TEST_DIR/pulseaudio.log" >&2
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  pactl set-default-sink brivane_sink && pactl set-default-source brivane_source
  echo "ok: PulseAudio test server on $PULSE_SERVER (null sink and source)"
}

# One line per stream of KIND (input: playback, output: recording) that a client opened on DEVICE
# since the server started: the process id of that client.
pulse_streams() {
  awk -v kind="$1" -v device="$2" '
    / Created (input|output) [0-9]+ / { want = $0 ~ ("Created " kind " [0-9]+ .* on " device " with "); next }
    want && /application\.process\.id = / { gsub(/"/, "", $NF); print $NF; want = 0 }' "$PULSE_TEST_DIR/pulseaudio.log"
}

pulse_stop() {
  [ -n "${PULSE_TEST_PID:-}" ] || return 0
  kill "$PULSE_TEST_PID" 2>/dev/null || true
  wait "$PULSE_TEST_PID" 2>/dev/null || true
  rm -rf "$PULSE_TEST_DIR/runtime"
  unset PULSE_TEST_PID PULSE_SERVER PULSE_COOKIE PULSE_RUNTIME_PATH PULSE_STATE_PATH PULSE_CLIENTCONFIG
}

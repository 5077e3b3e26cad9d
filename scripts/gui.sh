#!/usr/bin/env bash
# make gui: starts galdera-sim on loopback in the background, opens the Sequora window and
# stops the server again when the window closes. Connect with "127.0.0.1" (or this
# computer's name when it resolves to loopback). Exits with the window's status.
set -uo pipefail
cd "$(dirname "$0")/.."

bin=${SEQUORA_BIN_DIR:-build/bin}
sim_log=$(mktemp -t galdera-sim-gui.XXXXXX)
sim_pid=""

cleanup() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -f "$sim_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for exe in galdera-sim sequora; do
  if [[ ! -x "$bin/$exe" ]]; then
    echo "gui: $bin/$exe is missing; run 'make build' first" >&2
    exit 2
  fi
done

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "gui: no display found; set DISPLAY (or QT_QPA_PLATFORM=offscreen to try it headless)" >&2
  exit 2
fi

"$bin/galdera-sim" --bind 127.0.0.1 --handout-port 26200 --command-port 26100 --quiet \
  >"$sim_log" 2>&1 &
sim_pid=$!

# The simulator announces itself once both ports are bound.
for _ in $(seq 1 100); do
  grep -q "listening" "$sim_log" 2>/dev/null && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "gui: galdera-sim did not start:" >&2
    cat "$sim_log" >&2
    exit 1
  fi
  sleep 0.1
done

echo "gui: galdera-sim listens on 127.0.0.1:26200; the client log is $bin/Sequora Comlux Client Log File.txt"
"$bin/sequora"

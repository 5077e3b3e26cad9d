#!/usr/bin/env bash
# make gui: starts galdera-sim on loopback in the background, opens the Sequora window and
# stops the server again when the window closes. Connect with "127.0.0.1" (or this
# computer's name when it resolves to loopback). Exits with the window's status.
set -uo pipefail
cd "$(dirname "$0")/.."

tool=gui
bin=${SEQUORA_BIN_DIR:-build/bin}
source scripts/sim-background.sh

require_executables galdera-sim sequora

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "gui: no display found; set DISPLAY (or QT_QPA_PLATFORM=offscreen to try it headless)" >&2
  exit 2
fi

# A window may sit connected and idle for as long as the user likes.
start_sim --quiet --idle-timeout 86400 || exit 1

echo "gui: galdera-sim listens on 127.0.0.1:26200; the client log is $bin/Sequora Comlux Client Log File.txt"
"$bin/sequora"

#!/usr/bin/env bash
# make screenshot: redraws docs/sequora-window.png, the window in the middle of a run of
# examples/demo.cfg (five trials) against galdera-sim on loopback. The window draws the
# picture itself, off screen, with settings and journals kept in a temporary folder.
set -uo pipefail
cd "$(dirname "$0")/.."

tool=screenshot
bin=${SEQUORA_BIN_DIR:-build/bin}
source scripts/sim-background.sh

require_executables galdera-sim sequora
start_sim --quiet || exit 1

home=$(mktemp -d -t sequora-screenshot.XXXXXX)
trap 'rm -rf "$home"; stop_sim' EXIT
mkdir -p "$home/config/Sequora"
printf '[run]\ntrialCount=5\n' >"$home/config/Sequora/Sequora.ini"

XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
  "$bin/sequora" --server 127.0.0.1 --connect --start examples/demo.cfg \
  --screenshot docs/sequora-window.png --screenshot-after 1700
status=$?
[[ $status -eq 0 ]] && echo "screenshot: wrote docs/sequora-window.png"
exit $status

#!/usr/bin/env bash
# make demo: runs examples/demo.cfg for three trials against galdera-sim on loopback and
# shows what the server received. Needs no display. Exits with sequora-run's status.
set -uo pipefail
cd "$(dirname "$0")/.."

tool=demo
bin=build/bin
source scripts/sim-background.sh

require_executables galdera-sim sequora-run
start_sim || exit 1

# The server is named by its loopback address: the computer's own name may resolve to
# another local address than the one the simulator listens on.
echo "== sequora-run --server 127.0.0.1 --trials 3 examples/demo.cfg"
"$bin/sequora-run" --server 127.0.0.1 --trials 3 examples/demo.cfg
status=$?

echo "== what galdera-sim received (microseconds, connection, command)"
# The simulator flushes per line, so everything sent so far is in the file.
cat "$sim_out"
echo "== sequora-run exited with status $status"
exit $status

#!/usr/bin/env bash
# make demo: runs examples/demo.cfg for three trials against galdera-sim on loopback and
# shows what the server received. Needs no display. Exits with sequora-run's status.
set -uo pipefail
cd "$(dirname "$0")/.."

bin=build/bin
sim_out=$(mktemp -t galdera-sim-out.XXXXXX)
sim_err=$(mktemp -t galdera-sim-err.XXXXXX)
sim_pid=""

cleanup() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -f "$sim_out" "$sim_err"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for exe in galdera-sim sequora-run; do
  if [[ ! -x "$bin/$exe" ]]; then
    echo "demo: $bin/$exe is missing; run 'make build' first" >&2
    exit 2
  fi
done

"$bin/galdera-sim" --bind 127.0.0.1 --handout-port 26200 --command-port 26100 >"$sim_out" 2>"$sim_err" &
sim_pid=$!

# The simulator announces itself once both ports are bound.
for _ in $(seq 1 100); do
  grep -q "listening" "$sim_err" 2>/dev/null && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "demo: galdera-sim did not start:" >&2
    cat "$sim_err" >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q "listening" "$sim_err"; then
  echo "demo: galdera-sim is not listening after 10 s" >&2
  exit 1
fi

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

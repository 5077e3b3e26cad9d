# Sourced by demo.sh and gui.sh: galdera-sim on loopback in the background for the lifetime
# of the calling script. The caller sets `tool` (its name in messages) and `bin`.
sim_pid=""
sim_out=$(mktemp -t galdera-sim-out.XXXXXX)
sim_err=$(mktemp -t galdera-sim-err.XXXXXX)

stop_sim() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -f "$sim_out" "$sim_err"
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

# Exits with 2 unless every named executable has been built.
require_executables() {
  for exe in "$@"; do
    if [[ ! -x "$bin/$exe" ]]; then
      echo "$tool: $bin/$exe is missing; run 'make build' first" >&2
      exit 2
    fi
  done
}

# Starts galdera-sim on the default ports (extra flags as arguments; its command lines go to
# $sim_out) and waits until it has announced that both ports are bound.
start_sim() {
  "$bin/galdera-sim" --bind 127.0.0.1 --handout-port 26200 --command-port 26100 "$@" \
    >"$sim_out" 2>"$sim_err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    grep -q "listening" "$sim_err" 2>/dev/null && return 0
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "$tool: galdera-sim did not start:" >&2
      cat "$sim_err" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "$tool: galdera-sim is not listening after 10 s" >&2
  return 1
}

# Steps the packaging tests share, sourced by them: they expect $work, $source and fail().

# Starts the galdera-sim at $1 on ports the system picks and sets $sim_pid, $handout and
# $command from what it announces on stderr.
start_sim_on_free_ports() {
    : >"$work/sim.err"
    "$1" --quiet --handout-port 0 --command-port 0 2>"$work/sim.err" &
    sim_pid=$!
    local ports=""
    # A loaded machine may take a while to start it: wait up to 30 s while it lives.
    for _ in $(seq 300); do
        ports=$(sed -n 's/.*hand-out port \([0-9]*\), command port \([0-9]*\).*/\1 \2/p' "$work/sim.err")
        [[ -n "$ports" ]] && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    [[ -n "$ports" ]] || fail "galdera-sim did not start: $(cat "$work/sim.err")"
    read -r handout command <<<"$ports"
}

# Builds examples/comlux-consumer through the CMake package under the prefix $1, runs it
# against the started server and leaves what it listed in $work/cmake.out.
run_cmake_consumer() {
    cmake -S "$source/examples/comlux-consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$1" \
        >"$work/configure.log" 2>&1 || fail "configuring the consumer: $(cat "$work/configure.log")"
    cmake --build "$work/consumer" >"$work/build.log" 2>&1 || fail "building the consumer: $(cat "$work/build.log")"
    "$work/consumer/comlux-consumer" 127.0.0.1 "$handout" "$command" >"$work/cmake.out" ||
        fail "the consumer built with CMake failed"
}

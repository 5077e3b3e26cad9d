#!/usr/bin/env bash
# Part of `make test`: runs the tests that use the fixed ports 26200/26100 once more while a
# galdera-sim holds those ports, as a user's server or `make gui` would. They must pass (in a
# network namespace of their own) or skip naming the busy port, never fail.
set -uo pipefail
cd "$(dirname "$0")/.."

tool=test-busy-ports
bin=build/bin
source scripts/sim-background.sh

require_executables galdera-sim
if (exec 3<>/dev/tcp/127.0.0.1/26200) 2>/dev/null; then
  echo "$tool: another program already holds port 26200; testing against it"
else
  start_sim --quiet || exit 1
fi
ctest --preset default -L fixed_ports

#!/usr/bin/env bash
# Runs a command in a network namespace of its own with only loopback up, so that tests on
# the fixed ports 26200/26100 never meet another program holding them (a user's galdera-sim,
# `make gui`). Where the system allows no such namespace, the command runs as it is and the
# tests skip themselves when a port is busy.
if command -v unshare >/dev/null && command -v ip >/dev/null &&
   unshare --user --map-root-user --net true 2>/dev/null; then
  exec unshare --user --map-root-user --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"

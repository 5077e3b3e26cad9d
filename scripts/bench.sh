#!/usr/bin/env bash
# Runs every benchmark program; each prints its figures as "BENCH <benchmark> <figure> <value>".
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for b in build/bin/bench_*; do
  [[ -x "$b" ]] || continue
  echo "== ${b##*/}"
  "$b" || status=1
done
exit $status

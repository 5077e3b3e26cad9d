#!/usr/bin/env bash
# Compares the ABI of a built libcomlux.so.1 with the committed baseline (abidiff, from
# abigail-tools). An incompatible change fails and prints the report; a compatible one (an
# added function, say) passes and prints it. Only the public headers' types count.
#   abi-check.sh LIBRARY            check
#   abi-check.sh --update LIBRARY   write LIBRARY's ABI as the new baseline
# The baseline changes with a deliberate ABI change only; an incompatible one also needs a new
# SONAME (COMLUX_SOVERSION in comlux/CMakeLists.txt) and package name.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
baseline=$source_dir/packaging/abi/libcomlux.so.1.abi

update=false
if [[ "${1:-}" == "--update" ]]; then
    update=true
    shift
fi
library=${1:?usage: abi-check.sh [--update] LIBRARY}
# The public headers: comlux/include/ and the generated ones beside the library.
generated=$(dirname "$(realpath "$library")")/../comlux/include
headers=(--headers-dir "$source_dir/comlux/include" --headers-dir "$generated")

if $update; then
    mkdir -p "$(dirname "$baseline")"
    abidw "${headers[@]}" --drop-private-types --no-corpus-path --no-comp-dir-path --short-locs \
        --out-file "$baseline" "$library"
    echo "abi-check: wrote $baseline"
    exit 0
fi

status=0
report=$(abidiff --headers-dir2 "$source_dir/comlux/include" --headers-dir2 "$generated" --drop-private-types \
    "$baseline" "$library") || status=$?
# abidiff's status is a bit set: 1 error, 2 usage error, 4 ABI change, 8 incompatible change.
if ((status & 11)); then
    echo "abi-check: libcomlux.so.1 is not compatible with the baseline $baseline (abidiff status $status):"
    echo "$report"
    exit 1
fi
if ((status & 4)); then
    echo "abi-check: compatible ABI change:"
    echo "$report"
else
    echo "abi-check: the ABI matches the baseline"
fi

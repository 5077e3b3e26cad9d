#!/usr/bin/env bash
# Prints debian/libcomlux1.symbols for a built libcomlux.so.1: every exported symbol,
# demangled, with the version it first appeared in. Symbols already in the current file keep
# their version; new ones get VERSION (default: the project's version).
#   symbols-file.sh LIBRARY [VERSION] > debian/libcomlux1.symbols
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
library=$1
version=${2:-$(sed -n 's/^project(Sequora VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")}
current=$source_dir/debian/libcomlux1.symbols

echo "libcomlux.so.1 libcomlux1 #MINVER#"
echo "* Build-Depends-Package: libcomlux-dev"
nm -D --defined-only "$library" | awk '{print $3}' | c++filt | LC_ALL=C sort -u | while IFS= read -r name; do
    known=""
    [[ -f "$current" ]] && known=$(grep -F " (c++)\"$name@Base\" " "$current" | awk '{print $NF}' | head -n1 || true)
    echo " (c++)\"$name@Base\" ${known:-$version}"
done

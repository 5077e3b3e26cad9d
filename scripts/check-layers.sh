#!/usr/bin/env bash
# Part of `make test`: the includes follow the layers. comlux, cmdfile <- app/core <- app/gui,
# app/cli; galdera stands apart; the Python module (python/src) on Comlux's public headers; Qt only in the window, its tests and its benchmarks
# (bench/window_*); Comlux's internals only inside Comlux, its tests and benchmarks, and never
# from its public headers; every project header included by its path from the top of the tree,
# except Comlux's public headers (comlux/include/comlux/X.h), which everyone includes as
# "comlux/X.h", the name they are installed under.
# Prints each offending line as "file:line: rule: include" and exits 1 if there is any.
# Usage: check-layers.sh [TREE]   (default: the tree this script is in)
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  list_sources() { git ls-files --cached --others --exclude-standard -- '*.h' '*.hpp' '*.cpp'; }
else
  list_sources() {
    { find app bench cmdfile comlux galdera python tests examples \
        \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) 2>/dev/null || true; } | LC_ALL=C sort
  }
fi
mapfile -t files < <(list_sources)

# Headers the build generates: they are included by path like the sources.
generated_headers() { printf "%s\n" comlux/ComluxExport.h comlux/Version.h; }

# The first input is the list of sources and generated headers (to tell whether a quoted
# include names one of them from the top of the tree); the rest are the sources themselves.
{ list_sources; generated_headers; } | awk '
  function report(rule) {
    printf "%s:%d: %s: %s\n", FILENAME, FNR, rule, $0
    failures++
  }
  NR == FNR {
    known[$0] = 1
    if ($0 ~ /^comlux\/include\/comlux\//) { public = $0; sub(/^comlux\/include\//, "", public); known[public] = 1 }
    next
  }
  !/^[ \t]*#[ \t]*include[ \t]*[<"]/ { next }
  {
    text = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", text)
    quoted = substr(text, 1, 1) == "\""
    path = substr(text, 2)
    sub(/[>"].*$/, "", path)
    project = path ~ /^(app|bench|cmdfile|comlux|galdera|python|tests)\//
    file = FILENAME

    if (quoted && !(path in known)) { report("not included by its path from the top of the tree"); next }
    if (!quoted && project && file !~ /^examples\//) report("project header in angle brackets")
    if (path ~ /^Q[A-Za-z]*(\/|$)/ && file !~ /^(app\/gui|tests\/app\/gui)\// && file !~ /^bench\/window_/)
      report("Qt outside the window (app/gui)")
    if (path ~ /^comlux\/internal\// && file !~ /^(comlux|tests|bench)\//)
      report("Comlux internals outside comlux/, tests/ and bench/")
    if (path ~ /^comlux\/include\//) report("Comlux public header not by its installed name comlux/...")
    if (file ~ /^comlux\/include\// && path ~ /^(comlux\/internal|app|bench|cmdfile|galdera|python|tests)\//)
      report("Comlux public headers include only public headers")
    if (!project) next

    if (file ~ /^comlux\// && path !~ /^comlux\//) report("comlux includes only comlux/")
    if (file ~ /^cmdfile\// && path !~ /^cmdfile\//) report("cmdfile includes only cmdfile/")
    if (file ~ /^galdera\// && path !~ /^galdera\//) report("galdera includes only galdera/")
    if (file ~ /^python\/src\// && path !~ /^(python|comlux)\//) report("python includes only python and comlux")
    if (file ~ /^app\/core\// && path !~ /^(app\/core|comlux|cmdfile)\//)
      report("app/core includes only app/core, comlux and cmdfile")
    if (file ~ /^app\/cli\// && path !~ /^(app\/cli|app\/core|comlux|cmdfile)\//)
      report("app/cli includes only app/cli, app/core, comlux and cmdfile")
    if (file ~ /^app\/gui\// && path !~ /^(app\/gui|app\/core|comlux|cmdfile)\//)
      report("app/gui includes only app/gui, app/core, comlux and cmdfile")
  }
  END {
    if (failures > 0) {
      printf "check-layers: %d include(s) run against the layers\n", failures > "/dev/stderr"
      exit 1
    }
  }
' - "${files[@]}"

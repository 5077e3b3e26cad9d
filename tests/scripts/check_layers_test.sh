#!/usr/bin/env bash
# scripts/check-layers.sh on a small tree of its own: a tree that keeps the layers passes, and
# each include that runs against them is reported once, with its file, line and rule.
set -uo pipefail
check=$(cd "$(dirname "$0")/../../scripts" && pwd)/check-layers.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cd "$tree" || exit 1

put() {  # file, then its lines
  mkdir -p "$(dirname "$1")"
  local file=$1
  shift
  printf '%s\n' "$@" >"$file"
}

put comlux/include/comlux/Client.h '#include <string>'
put comlux/Client.cpp '#include "comlux/Client.h"' '#include "comlux/internal/Channel.h"'
put comlux/internal/Channel.h '#include <vector>' '#include "comlux/Client.h"'
put cmdfile/Reader.h '#include "cmdfile/Reader.h"'
put galdera/Server.cpp '#include "galdera/Server.h"' '#include <thread>'
put galdera/Server.h ''
put app/core/Items.h '#include "comlux/Client.h"' '#include "cmdfile/Reader.h"'
put app/gui/Window.cpp '#include <QDialog>' '#include <QtWidgets/QLabel>' '#include "app/gui/Window.h"'
put app/gui/Window.h '#include "app/core/Items.h"'
put app/cli/Run.cpp '#include "app/cli/Run.h"'
put app/cli/Run.h '#include "app/core/Items.h"'
put tests/comlux/channel_test.cpp '#include "comlux/internal/Channel.h"' '#include "tests/support/Peer.h"'
put tests/support/Peer.h ''
put examples/consumer/main.cpp '#include <comlux/Client.h>'
put bench/window_load.cpp '#include <QApplication>' '#include "app/gui/Window.h"'

if ! out=$(bash "$check" "$tree" 2>&1); then
  echo "FAIL: a tree that keeps the layers was refused:"
  echo "$out"
  exit 1
fi

put app/core/Bad.cpp '#include "Items.h"' '#include <QString>' '#include "app/gui/Window.h"' \
  '#include <comlux/Client.h>' '#include "comlux/internal/Channel.h"' '#include "comlux/include/comlux/Client.h"' \
  '#include "comlux/Channel.h"'
put comlux/Bad.cpp '#include "app/core/Items.h"'
put comlux/include/comlux/Leak.h '#include "comlux/internal/Channel.h"'
put cmdfile/Bad.cpp '#include "comlux/Client.h"'
put galdera/Bad.cpp '#include "comlux/Client.h"'
put app/cli/Bad.cpp '#include "app/gui/Window.h"'
put app/gui/Bad.cpp '#include "app/cli/Run.h"'
put bench/cfg_load.cpp '#include <QTimer>'

expected='app/cli/Bad.cpp:1: app/cli includes only app/cli, app/core, comlux and cmdfile: #include "app/gui/Window.h"
app/core/Bad.cpp:1: not included by its path from the top of the tree: #include "Items.h"
app/core/Bad.cpp:2: Qt outside the window (app/gui): #include <QString>
app/core/Bad.cpp:3: app/core includes only app/core, comlux and cmdfile: #include "app/gui/Window.h"
app/core/Bad.cpp:4: project header in angle brackets: #include <comlux/Client.h>
app/core/Bad.cpp:5: Comlux internals outside comlux/, tests/ and bench/: #include "comlux/internal/Channel.h"
app/core/Bad.cpp:6: Comlux public header not by its installed name comlux/...: #include "comlux/include/comlux/Client.h"
app/core/Bad.cpp:7: not included by its path from the top of the tree: #include "comlux/Channel.h"
app/gui/Bad.cpp:1: app/gui includes only app/gui, app/core, comlux and cmdfile: #include "app/cli/Run.h"
bench/cfg_load.cpp:1: Qt outside the window (app/gui): #include <QTimer>
cmdfile/Bad.cpp:1: cmdfile includes only cmdfile/: #include "comlux/Client.h"
comlux/Bad.cpp:1: comlux includes only comlux/: #include "app/core/Items.h"
comlux/include/comlux/Leak.h:1: Comlux public headers include only public headers: #include "comlux/internal/Channel.h"
galdera/Bad.cpp:1: galdera includes only galdera/: #include "comlux/Client.h"'
out=$(bash "$check" "$tree" 2>/dev/null)
status=$?
if [[ $status -ne 1 || $out != "$expected" ]]; then
  echo "FAIL: status $status, reports:"
  echo "$out"
  echo "expected:"
  echo "$expected"
  exit 1
fi
echo "check-layers: every breach reported"

#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages this project needs and the machine lacks.
# Safe to run again: it does nothing when all are present. Prints one line per step; the
# package manager's own output goes to build/deps.log and is shown only when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ make cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins libgl-dev
  fonts-dejavu-core
  iproute2 xvfb xauth
  dpkg-dev file desktop-file-utils libglib2.0-bin
  ccache libcpp-httplib-dev nlohmann-json3-dev
  pybind11-dev python3-dev python3-numpy python3-pytest
  debhelper dh-python fakeroot lintian abigail-tools shared-mime-info
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "deps: everything is installed"
  exit 0
fi

mkdir -p build
log=build/deps.log
: >"$log"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# Runs one step with its output in the log; on failure shows the log and stops.
step() {
  local what=$1
  shift
  echo "deps: $what … (full output: $log)"
  if ! "$@" >>"$log" 2>&1; then
    echo "deps: $what failed:" >&2
    cat "$log" >&2
    exit 1
  fi
}

step "updating the package lists" $sudo apt-get update
step "installing ${missing[*]}" $sudo apt-get install -y --no-install-recommends "${missing[@]}"
echo "deps: done"

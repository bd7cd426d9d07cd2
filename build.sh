#!/usr/bin/env bash
# Set-up on a fresh Debian 12 machine: installs what is missing, builds, then runs the program
# ("./build.sh run") or every test ("./build.sh test"). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES="build-essential cmake libgtest-dev libbenchmark-dev libopencv-dev opencv-data
  libnewmat10-dev qt6-base-dev xvfb xauth fonts-liberation fonts-dejavu-core"

install_missing() {
  local missing=()
  for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
  run)
    install_missing
    build build
    # The program loads its face cascade from the current directory: start it beside its copy.
    cd build
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
      exec ./pupiltrak08
    else
      exec xvfb-run -a ./pupiltrak08
    fi
    ;;
  test)
    install_missing
    build build
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

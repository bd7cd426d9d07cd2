#!/usr/bin/env bash
# Set-up on a fresh Debian 12 machine: installs what is missing, builds, then runs the program
# ("./build.sh run"; without a display, the built-in demo) or every test ("./build.sh test").
# Safe to run again.
# "./build.sh sanitize" runs every test again under AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan), fuzzes the frame pipeline there, and runs the threading tests under
# ThreadSanitizer (build-tsan); see docs/RELIABILITY.md.
# "./build.sh package" builds the Debian package pupiltrak08_<version>_amd64.deb in this folder
# (see the README's "Install").
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES="build-essential cmake libgtest-dev libbenchmark-dev libopencv-dev opencv-data
  libnewmat10-dev qt6-base-dev xvfb xauth fonts-liberation fonts-dejavu-core
  libzmq3-dev cppzmq-dev python3-zmq pkg-config help2man man-db desktop-file-utils
  appstream"

# What the package needs on top: dpkg-shlibdeps (in dpkg-dev) and Debian's checker.
PACKAGE_PACKAGES="dpkg-dev file lintian"

# What the sanitizer builds need on top: clang, its sanitizer and libFuzzer runtimes, and
# llvm-symbolizer for readable reports.
SANITIZER_PACKAGES="clang libclang-rt-14-dev llvm-14"

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

# --- sanitizer builds -----------------------------------------------------------------------
SANITIZER_DIR="$PWD/tests/sanitizers"
# Fuzzing budget: whichever ends first.
FUZZ_RUNS="${FUZZ_RUNS:-2000}"
FUZZ_SECONDS="${FUZZ_SECONDS:-120}"

phase_start() {
  PHASE_NAME=$1
  PHASE_START=$SECONDS
  echo "=== $PHASE_NAME"
}
phase_end() {
  echo "=== $PHASE_NAME: $((SECONDS - PHASE_START)) s"
}

# clang at -O1 with line tables: the speed the sanitizers are meant for, and readable stacks.
configure_sanitized() {
  local dir=$1 kind=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DSANITIZE="$kind" "$@" >/dev/null
}

sanitizer_environment() {
  export QT_QPA_PLATFORM=offscreen
  export ASAN_SYMBOLIZER_PATH TSAN_SYMBOLIZER_PATH
  ASAN_SYMBOLIZER_PATH="$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)"
  TSAN_SYMBOLIZER_PATH="$ASAN_SYMBOLIZER_PATH"
  export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=0"
  export LSAN_OPTIONS="suppressions=$SANITIZER_DIR/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$SANITIZER_DIR/ubsan.supp"
  export TSAN_OPTIONS="suppressions=$SANITIZER_DIR/tsan.supp:halt_on_error=1:second_deadlock_stack=1:print_suppressions=0"
  # OpenCV tries its gphoto2 backend on every video path it cannot open; libgphoto2's USB port
  # driver leaks there and is unloaded before the leak check, so no suppression can name it.
  # The program never uses gphoto2 cameras: leave that backend out of the sanitizer runs.
  export OPENCV_VIDEOIO_PRIORITY_GPHOTO2=0
}

# Every test of the project under ASan + UBSan, then the fuzzer over ProcessFrame.
sanitize_address() {
  phase_start "address build (ASan + UBSan, clang, whole project and fuzz target)"
  configure_sanitized build-asan address -DPUPILTRAK_FUZZ=ON
  cmake --build build-asan -j "$(nproc)"
  phase_end

  phase_start "address tests (every test)"
  (cd build-asan && ctest --output-on-failure -j "$(nproc)")
  phase_end

  phase_start "fuzzing ProcessFrame (at most $FUZZ_RUNS runs or $FUZZ_SECONDS s)"
  local seeds=build-asan/fuzz-seeds corpus=build-asan/fuzz-corpus
  rm -rf "$seeds" "$corpus"
  mkdir -p "$seeds" "$corpus"
  build-asan/fuzz/pupiltrak_fuzz_seeds "$seeds"
  # Inputs found go to a fresh corpus; a crash leaves its input in build-asan/fuzz-artifacts.
  mkdir -p build-asan/fuzz-artifacts
  local status=0
  build-asan/fuzz/pupiltrak_fuzz_process_frame -runs="$FUZZ_RUNS" -max_total_time="$FUZZ_SECONDS" \
    -timeout=120 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix=build-asan/fuzz-artifacts/ "$corpus" "$seeds" >build-asan/fuzz.log 2>&1 ||
    status=$?
  grep -E "^(#[0-9]+ +(INITED|DONE)|Done [0-9]+ runs|stat::|==[0-9]+==ERROR|SUMMARY)" \
    build-asan/fuzz.log || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 build-asan/fuzz.log >&2
    echo "the fuzzer found a fault (exit $status): see build-asan/fuzz.log" >&2
    return 1
  fi
  phase_end
}

# The threading tests under TSan: only the programs that hold them are built.
sanitize_thread() {
  local list="$SANITIZER_DIR/threading_tests.txt"
  local programs patterns
  programs=$(grep -v '^#' "$list" | awk 'NF {print $1}' | sort -u | tr '\n' ' ')
  patterns=$(grep -v '^#' "$list" | awk 'NF {print $2}')
  phase_start "thread build (TSan, clang: $programs)"
  # OpenCV's parallel loops run on TBB threads ThreadSanitizer cannot follow: one thread.
  configure_sanitized build-tsan thread -DCMAKE_CXX_FLAGS="-include $SANITIZER_DIR/SerialOpenCV.h"
  # shellcheck disable=SC2086
  cmake --build build-tsan -j "$(nproc)" --target $programs
  phase_end

  phase_start "thread tests"
  local regex="" p
  for p in $patterns; do
    # A renamed test must not silently drop out of the threading run.
    if (cd build-tsan && ctest -N -R "^($p)\$" | grep -q "Total Tests: 0"); then
      echo "no test matches '$p' from $list" >&2
      return 1
    fi
    regex="${regex:+$regex|}$p"
  done
  (cd build-tsan && ctest --output-on-failure -j "$(nproc)" -R "^($regex)\$")
  phase_end
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
      # The dialog would wait on a screen nobody sees: show what the tracker does instead.
      echo "No display (DISPLAY and WAYLAND_DISPLAY are not set): running the built-in demo"
      echo "instead of the dialog. Its outputs (frames.csv, CalibrationProtocol.txt, accuracy.png,"
      echo "mosaic.avi, dialog-client.png) go to $PWD/demo-out/."
      exec ./tools/replay/pupiltrak08-replay --output-dir "$PWD/demo-out" --mosaic mosaic.avi
    fi
    ;;
  test)
    install_missing
    build build
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
    ;;
  package)
    PACKAGES="$PACKAGES $PACKAGE_PACKAGES"
    install_missing
    build build
    # The package's own paths (/usr), whatever prefix the build folder was configured with.
    rm -f pupiltrak08_*_amd64.deb
    (cd build && cpack -G DEB >/dev/null)
    mv build/package/pupiltrak08_*_amd64.deb .
    ls -l pupiltrak08_*_amd64.deb
    ;;
  sanitize)
    PACKAGES="$PACKAGES $SANITIZER_PACKAGES"
    install_missing
    sanitizer_environment
    sanitize_address
    sanitize_thread
    ;;
  *)
    echo "usage: $0 run|test|sanitize|package" >&2
    exit 2
    ;;
esac

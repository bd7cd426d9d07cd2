#!/usr/bin/env bash
# The Debian package as a user meets it: built, checked by lintian, installed with apt-get, used
# from a folder that is not the build folder by a user who cannot write /usr/bin, then removed
# without leaving a file behind. Runs as root (apt-get), from the project's folder.
set -euo pipefail
cd "$(dirname "$0")/../.."

./build.sh package
deb=$(ls pupiltrak08_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "=== $deb: $(du -k "$deb" | cut -f1) KiB, Depends: $(dpkg-deb -f "$deb" Depends)"

# lintian exits non-zero on any error; warnings and notes are printed for the record.
lintian --display-info "$deb" || { echo "lintian found errors in $deb" >&2; exit 1; }

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null

user=pupiltrak08-ci
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
work=$(runuser -u "$user" -- mktemp -d)
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  bash -c "cd '$work' && $1"; }
fail() { echo "package check: $*" >&2; exit 1; }

as_user 'test ! -w /usr/bin' || fail "$user can write /usr/bin"
[ "$(as_user 'pupiltrak08-replay --version')" = "pupiltrak08-replay $version" ] ||
  fail "pupiltrak08-replay --version does not print $version"

# The demo into a folder of the user's: its protocol there, with the mapping and the accuracy.
as_user 'pupiltrak08-replay --quiet --output-dir demo-out > accuracy.txt 2> demo.log' ||
  { cat "$work/demo.log" >&2; fail "the demo failed"; }
protocol="$work/demo-out/CalibrationProtocol.txt"
[ -f "$protocol" ] || fail "the demo left no protocol in its output folder"
for line in "GazeLX = " "GazeRY = " "Accuracy (RMS) in pixels: " "Accuracy (RMS) in degrees"; do
  grep -qF "$line" "$protocol" || fail "the demo's protocol has no line '$line'"
done
for line in "Accuracy (RMS) in pixels: " "Accuracy (RMS) in degrees"; do
  grep -qF "$line" "$work/accuracy.txt" || fail "the demo printed no line '$line'"
done
cat "$work/accuracy.txt"

as_user 'man -w pupiltrak08-replay' | grep -q '^/usr/share/man/man1/pupiltrak08-replay.1.gz$' ||
  fail "man -w pupiltrak08-replay does not find the installed page"

# The program for a few seconds on a virtual screen, its event log on standard error.
as_user 'timeout 8 xvfb-run -a pupiltrak08 --print-log > program.log 2>&1' || [ $? -eq 124 ] ||
  fail "pupiltrak08 did not start: $(cat "$work/program.log")"
cascade=/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml
grep -qxF "Classifier cascade $cascade loaded" "$work/program.log" ||
  fail "the program did not load $cascade: $(cat "$work/program.log")"
grep -qxF "Calibrations are recorded in $home/.local/share/pupiltrak08/CalibrationProtocol.txt" \
  "$work/program.log" || fail "the protocol does not go to the user's folder"
[ -d "$home/.local/share/pupiltrak08" ] || fail "the user's data folder was not made"
grep -E "^(Loading|Classifier|Calibrations)" "$work/program.log"

# Removed, nothing of it is left (folders other packages share stay).
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq pupiltrak08 >/dev/null
left=0
while read -r path; do
  path=${path#.}
  [ -z "$path" ] || [ -d "$path" ] && continue
  if [ -e "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
[ -e /usr/share/pupiltrak08 ] && { echo "left behind: /usr/share/pupiltrak08" >&2; left=1; }
[ -e /usr/share/doc/pupiltrak08 ] && { echo "left behind: /usr/share/doc/pupiltrak08" >&2; left=1; }
[ "$left" -eq 0 ] || fail "files of the package are left after its removal"
rm -rf "$work"
userdel --remove "$user" 2>/dev/null || true
echo "=== package check passed"

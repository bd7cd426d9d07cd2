#!/usr/bin/env bash
# The installed tree: `cmake --install` into a scratch prefix, then from a folder of its own
# every program answers --version with the project's version, every option a program's --help
# lists is in its manual page, the installed makevideo finds its face photograph, and the
# desktop entry and AppStream file pass their validators.
# Usage: install_files_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

cmake --install "$build" --prefix "$scratch/usr" --strip >/dev/null
prefix=$scratch/usr
for f in bin/pupiltrak08 bin/pupiltrak08-replay bin/pupiltrak08-makevideo \
  share/pupiltrak08/help/Welcome.html share/pupiltrak08/faces/jesper_2.jpg \
  share/pupiltrak08/faces/eye_centres.csv share/applications/pupiltrak08.desktop \
  share/icons/hicolor/scalable/apps/pupiltrak08.svg share/metainfo/pupiltrak08.metainfo.xml \
  share/doc/pupiltrak08/README.md share/doc/pupiltrak08/docs/STREAM.md \
  share/doc/pupiltrak08/docs/demo_accuracy.png share/doc/pupiltrak08/copyright \
  share/doc/pupiltrak08/changelog.gz share/doc/pupiltrak08/examples/gaze_subscriber.py \
  share/man/man1/pupiltrak08.1.gz share/man/man1/pupiltrak08-replay.1.gz \
  share/man/man1/pupiltrak08-makevideo.1.gz; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done

mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
for program in pupiltrak08 pupiltrak08-replay pupiltrak08-makevideo; do
  [ "$("$prefix/bin/$program" --version)" = "$program $version" ] ||
    fail "$program --version does not print '$program $version'"
  page=$(gzip -dc "$prefix/share/man/man1/$program.1.gz")
  grep -q "^\.TH \"\?${program^^}\"\? \"\?1\"\?.*$version" <<<"$page" ||
    fail "the manual page of $program is not that of version $version"
  # troff writes every '-' of an option as '\-'.
  for option in $("$prefix/bin/$program" --help | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u); do
    grep -qF -- "${option//-/\\-}" <<<"$page" || fail "$program(1) does not mention $option"
  done
done

# The installed makevideo paints the installed photograph.
"$prefix/bin/pupiltrak08-makevideo" --frames 2 --size 160x120 frame%02d.png >/dev/null ||
  fail "the installed pupiltrak08-makevideo cannot make frames"
[ -f frame00.png ] || fail "pupiltrak08-makevideo wrote no frame"

desktop-file-validate "$prefix/share/applications/pupiltrak08.desktop" ||
  fail "the desktop entry does not validate"
# The one warning allowed: the id is the program's name, not a reverse domain name (the project
# has no domain of its own).
appstream=$(appstreamcli validate --no-net "$prefix/share/metainfo/pupiltrak08.metainfo.xml" 2>&1 ||
  true)
if grep -E '^[EW]:' <<<"$appstream" | grep -qv 'cid-desktopapp-is-not-rdns'; then
  echo "$appstream" >&2
  fail "the AppStream file does not validate"
fi
exit "$status"

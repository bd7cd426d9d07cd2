#!/usr/bin/env bash
# Fails when the folders' #include lines form a cycle (say capture includes display and display
# includes capture), and prints the folder graph it checked. A folder may only build on the
# folders below it, so each can be read, tested and reused without the ones above.
# Usage: tools/ci/check_folder_cycles.sh [source root]   (exit 0: no cycle, 1: a cycle)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
folders="app capture tracking display calibration mapping resources platform tools fuzz tests"

edges=$(
  for from in $folders; do
    [ -d "$from" ] || continue
    # Every quoted include naming another of the folders above.
    grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' "$from" \
        --include='*.h' --include='*.cpp' 2>/dev/null |
      sed -E 's/.*"([a-z]+)\/$/\1/' | sort -u |
      while read -r to; do
        case " $folders " in *" $to "*) [ "$to" != "$from" ] && echo "$from $to" ;; esac
      done || true
  done
)

echo "folder -> folders it includes:"
for from in $folders; do
  deps=$(printf '%s\n' "$edges" | awk -v f="$from" '$1 == f { print $2 }' | sort | tr '\n' ' ')
  [ -d "$from" ] && printf '  %-12s %s\n' "$from" "${deps:--}"
done

# tsort reports the folders of any cycle on stderr.
if ! out=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null) || [ -n "$out" ]; then
  echo "include cycle between folders:" >&2
  printf '%s\n' "$out" | sed 's/^tsort: /  /' >&2
  exit 1
fi
echo "no include cycle between folders"

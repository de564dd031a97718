#!/usr/bin/env bash
# Kills a settings writer with SIGKILL again and again while it rewrites a
# large settings file, then reports how many temporary files were left behind,
# whether the file was whole after every kill, and what one clean write
# afterwards leaves.
# Usage: tools/kill-during-writes.sh WRITER [KILLS] [DIR]
#   WRITER  the moonglow-settings-writer program
#   KILLS   how many writers to kill (300)
#   DIR     where the file lives (a fresh temporary directory)
set -uo pipefail

writer=${1:?usage: kill-during-writes.sh WRITER [KILLS] [DIR]}
kills=${2:-300}
if [ -n "${3:-}" ]; then
  dir=$3
  mkdir -p "$dir"
else
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
fi
file="$dir/ZELMoonGlow3xx.ini"
rm -f "$file" "$dir"/.ZELMoonGlow3xx.ini.*.tmp

# A file of about 1.2 MB: every key, then a long section of the user's own
# notes, which every write has to copy.
"$writer" "$file" || { echo "kill-during-writes: the first write failed" >&2; exit 1; }
{
  echo
  echo "[Notes]"
  for i in $(seq 1 24000); do echo "; note $i: kept as it is by every write"; done
} >>"$file"
"$writer" "$file" || { echo "kill-during-writes: the second write failed" >&2; exit 1; }
size=$(stat -c %s "$file")

# Every write changes FireCount only, so a whole file equals the reference
# once that value is masked out.
mask() { sed 's/^FireCount=[0-9]*$/FireCount=N/' "$1"; }
mask "$file" >"$dir/reference"

leftovers() { find "$dir" -maxdepth 1 -name '.ZELMoonGlow3xx.ini.*.tmp' | wc -l; }
leftover_bytes() {
  find "$dir" -maxdepth 1 -name '.ZELMoonGlow3xx.ini.*.tmp' -printf '%s\n' | awk '{s += $1} END {print s + 0}'
}

broken=0
left=0   # kills after which there were more temporary files than before
most=0   # the most temporary files seen at once
count=0
for _ in $(seq 1 "$kills"); do
  "$writer" "$file" --loop &
  pid=$!
  sleep "0.$(printf '%03d' $((RANDOM % 60 + 5)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if ! mask "$file" | cmp -s - "$dir/reference"; then
    broken=$((broken + 1))
  fi
  now=$(leftovers)
  [ "$now" -gt "$count" ] && left=$((left + 1))
  [ "$now" -gt "$most" ] && most=$now
  count=$now
done
after_kills=$(leftovers)
after_kills_bytes=$(leftover_bytes)

"$writer" "$file"
clean_rc=$?
after_clean=$(leftovers)
mask "$file" | cmp -s - "$dir/reference" || broken=$((broken + 1))

echo "file size:                      $size bytes"
echo "kills:                          $kills"
echo "file not whole after a kill:    $broken"
echo "kills that left a temporary file: $left"
echo "most temporary files at once:   $most"
echo "temporary files after the kills: $after_kills ($after_kills_bytes bytes)"
echo "clean write afterwards:         exit $clean_rc"
echo "temporary files after it:       $after_clean"
[ "$broken" -eq 0 ] && [ "$clean_rc" -eq 0 ]

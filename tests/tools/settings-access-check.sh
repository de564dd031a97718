#!/usr/bin/env bash
# Checks from outside, with real files and real users, that a settings write
# never replaces a file it should not: one this user cannot read, one this
# user may not write, a directory in the file's place; and that a write
# removes the temporary files killed writers left, but not one a live writer
# holds, nor anything not named as ours.
# Usage: tests/tools/settings-access-check.sh WRITER
# The checks as another user need root and setpriv; without them they are
# skipped with a message (exit 77 when nothing else ran).
set -uo pipefail

writer=${1:?usage: settings-access-check.sh WRITER}
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
chmod 755 "$base"
failures=0
fail() { echo "settings-access-check: $*" >&2; failures=$((failures + 1)); }

name=ZELMoonGlow3xx.ini
own=$'[Environment]\nFireCount=7\ngFactor=12345\n\n[Kiku]\nSeedCount=499\n'

# Expects a refused write of $1 by the user in $2 (empty: this one), with the
# refusal message and the file left byte for byte.
expect_refused() {
  local file=$1 as=$2 what=$3 before after rc
  before=$(cat "$file" 2>/dev/null; echo x)
  if [ -n "$as" ]; then
    setpriv --reuid="$as" --regid="$as" --clear-groups "$writer" "$file" 2>"$base/err"
  else
    "$writer" "$file" 2>"$base/err"
  fi
  rc=$?
  after=$(cat "$file" 2>/dev/null; echo x)
  [ "$rc" -eq 1 ] || fail "$what: exit $rc, not a refused write"
  grep -q "$name に書き込めません" "$base/err" || fail "$what: no refusal message"
  [ "$before" = "$after" ] || fail "$what: the file changed"
}

# A directory in the file's place.
mkdir -p "$base/dir/$name"
expect_refused "$base/dir/$name" "" "a directory in the file's place"
[ -d "$base/dir/$name" ] || fail "the directory in the file's place went"

# Leftovers: killed writers' files go, a held one and foreign names stay.
mkdir -p "$base/left"
printf '%s' "$own" >"$base/left/$name"
dead="$base/left/.$name.0123456789abcdef.tmp"
held="$base/left/.$name.fedcba9876543210.tmp"
foreign=("$base/left/.$name.backup.tmp" "$base/left/.other.ini.0123456789abcdef.tmp"
         "$base/left/$name.0123456789abcdef.tmp")
for f in "$dead" "$held" "${foreign[@]}"; do echo leftover >"$f"; done
exec 9<"$held"
flock -x 9  # this script is the live writer of $held
"$writer" "$base/left/$name" || fail "a write beside leftovers failed"
[ -e "$dead" ] && fail "a dead writer's temporary file was not removed"
[ -e "$held" ] || fail "a live writer's temporary file was removed"
for f in "${foreign[@]}"; do [ -e "$f" ] || fail "$(basename "$f") was removed"; done
exec 9<&-
"$writer" "$base/left/$name" || fail "the second write beside leftovers failed"
[ -e "$held" ] && fail "a released temporary file was not removed"
grep -q '^gFactor=12345$' "$base/left/$name" || fail "the writes lost gFactor"

if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "settings-access-check: not root or no setpriv: the checks as another user are skipped"
  [ "$failures" -eq 0 ] || exit 1
  exit 77
fi
nobody=65534

# A file of nobody's own with write permission only: nobody cannot read it.
mkdir -p "$base/wo"
printf '%s' "$own" >"$base/wo/$name"
chown -R "$nobody:$nobody" "$base/wo"
chmod 200 "$base/wo/$name"
expect_refused "$base/wo/$name" "$nobody" "a 0200 file of the user's own"

# root's 0644 file in root's 0755 directory: nobody may write neither.
mkdir -p "$base/root"
printf '%s' "$own" >"$base/root/$name"
chmod 644 "$base/root/$name"
expect_refused "$base/root/$name" "$nobody" "root's 0644 file in root's 0755 directory"

# root's 0644 file in a directory everybody may write: nobody could replace
# the file by a rename, but may not write it, so must not.
mkdir -p "$base/open"
chmod 777 "$base/open"
printf '%s' "$own" >"$base/open/$name"
chmod 644 "$base/open/$name"
expect_refused "$base/open/$name" "$nobody" "root's 0644 file in an open directory"
[ -z "$(find "$base/open" -name '*.tmp')" ] || fail "a refused write left a temporary file"

# The same user may write a 0644 file of their own there.
chown "$nobody:$nobody" "$base/open/$name"
setpriv --reuid=$nobody --regid=$nobody --clear-groups "$writer" "$base/open/$name" ||
  fail "nobody could not write their own file"
grep -q '^FirstRun=0' "$base/open/$name" || fail "nobody's write did not store the file"

[ "$failures" -eq 0 ] || exit 1
echo "settings-access-check: all passed"

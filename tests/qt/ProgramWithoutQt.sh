#!/bin/sh
# The program links no Qt library: Qt comes only with the front end's module,
# which the program loads for a run that takes Qt, from beside itself, also
# when it is started through a link from another folder. Without the module
# such a run says so in one line and exits 1.
#
#   ProgramWithoutQt.sh <moonglow executable> <moonglow-qt.so>
# Exit code 77 (skipped) only when readelf or nm is missing.
set -u
exe=$1
module=$2
for tool in readelf nm; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: no $tool (package binutils)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
needed "$exe" >"$work/exe-needed"
if grep -q '^libQt' "$work/exe-needed"; then
  fail "$exe needs Qt: $(tr '\n' ' ' <"$work/exe-needed")"
fi
needed "$module" | grep -q '^libQt6Widgets' || fail "$module does not need Qt's widgets"
# Nothing of the module's own copy of the core can stand in for the program's.
exported=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TDBWVRuiG]$/ { print $3 }' |
  grep -v '^_\(edata\|end\|_bss_start\)$' | tr '\n' ' ')
[ "$exported" = "moonglow_qt_main " ] || fail "the module exports more than its entry: $exported"

# run DIR/PROGRAM: `/s` with no display at all, which only the Qt front end
# answers; its output in $work/out, its exit status in $status.
run() {
  env -i PATH=/usr/bin:/bin HOME="$work" MOONGLOW_CONFIG_DIR="$work/config" "$1" /s \
    >"$work/out" 2>&1
  status=$?
}

mkdir "$work/alone" "$work/beside" "$work/link"
cp "$exe" "$work/alone/moonglow"
run "$work/alone/moonglow"
[ "$status" -eq 1 ] || fail "without its module the program exits $status, not 1"
[ "$(wc -l <"$work/out")" -eq 1 ] || fail "without its module, not one line: $(cat "$work/out")"
grep -q "cannot load moonglow-qt.so: .*moonglow-qt.so: cannot open shared object file" "$work/out" ||
  fail "the line does not name the module and the loader's reason: $(cat "$work/out")"

cp "$exe" "$work/beside/moonglow"
cp "$module" "$work/beside/moonglow-qt.so"
ln -s ../beside/moonglow "$work/link/moonglow"
for program in "$work/beside/moonglow" "$work/link/moonglow"; do
  run "$program"
  if [ "$status" -ne 1 ] || ! grep -q "^moonglow: no display:" "$work/out" ||
    grep -q "cannot load" "$work/out"; then
    fail "$program did not reach the Qt front end (exit $status): $(cat "$work/out")"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the program needs no Qt: $(tr '\n' ' ' <"$work/exe-needed")"

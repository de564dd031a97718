#!/bin/sh
# The saver on the fake compositor costs next to nothing while frame
# callbacks are withheld, as they are for a surface nobody can see: its own
# CPU time (user + system, from /proc) over a few seconds after the
# callbacks stop stays under 0.01 s per second. Prints that figure beside
# the one while it draws, and checks that it ends with exit 0 afterwards.
# Usage: park-cpu.sh FAKE_COMPOSITOR MOONGLOW
set -u
fake=$1
moonglow=$2
limit=0.01
window=3

work=$(mktemp -d /tmp/moonglow-park-XXXXXX) || exit 1
mkdir -m 700 "$work/run" && mkdir "$work/config" || exit 1
fake_pid=""
saver_pid=""
cleanup() {
  [ -n "$saver_pid" ] && kill -KILL "$saver_pid" 2>/dev/null
  [ -n "$fake_pid" ] && kill -KILL "$fake_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "park-cpu: $*" >&2
  for f in "$work/saver.err" "$work/fake.out"; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}

# Clock ticks the process has used, user and system; its name may hold
# spaces, so the fields are counted from the closing parenthesis.
ticks() {
  sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}
# CPU seconds per second over the window, from two tick counts.
rate() {
  awk -v a="$1" -v b="$2" -v hz="$(getconf CLK_TCK)" -v w="$window" \
    'BEGIN { printf "%.4f", (b - a) / hz / w }'
}

"$fake" --runtime-dir "$work/run" >"$work/fake.out" 2>&1 &
fake_pid=$!
i=0
until [ -S "$work/run/wayland-fake" ]; do
  i=$((i + 1))
  [ $i -gt 50 ] && fail "the fake compositor did not start"
  sleep 0.1
done

env -u DISPLAY -u WAYLAND_SOCKET -u SWAYLOCK_PLUGIN_OUTPUT_NAME WAYLAND_DISPLAY=wayland-fake \
  XDG_RUNTIME_DIR="$work/run" MOONGLOW_CONFIG_DIR="$work/config" \
  "$moonglow" /s >/dev/null 2>"$work/saver.err" &
saver_pid=$!

# Drawing first, then parked: the callbacks stop, the show is given a moment
# to notice, and the window is measured after that.
sleep 2
kill -0 "$saver_pid" 2>/dev/null || fail "the saver ended at once"
t0=$(ticks "$saver_pid")
sleep "$window"
t1=$(ticks "$saver_pid")
kill -USR1 "$fake_pid"
sleep 2
t2=$(ticks "$saver_pid")
sleep "$window"
t3=$(ticks "$saver_pid")
drawing=$(rate "$t0" "$t1")
parked=$(rate "$t2" "$t3")
echo "park-cpu: moonglow /s on the fake compositor: drawing $drawing s/s," \
  "frame callbacks withheld $parked s/s (limit $limit)"

kill -TERM "$saver_pid"
i=0
while kill -0 "$saver_pid" 2>/dev/null; do
  i=$((i + 1))
  [ $i -gt 50 ] && fail "the saver did not end within 5 s of SIGTERM"
  sleep 0.1
done
wait "$saver_pid"
status=$?
saver_pid=""
[ "$status" -eq 0 ] || fail "the saver ended with $status after SIGTERM"
grep -q "^FirstRun=0" "$work/config/ZELMoonGlow3xx.ini" 2>/dev/null ||
  fail "the saver left no settings with FirstRun=0"
kill -TERM "$fake_pid"
wait "$fake_pid"
fake_pid=""
summary=$(cat "$work/fake.out")
echo "park-cpu: the fake compositor saw: $summary"

commits=$(echo "$summary" | sed -n 's/.* commits=\([0-9]*\).*/\1/p')
before=$(echo "$summary" | sed -n 's/.*commits-when-withheld=\([0-9-]*\).*/\1/p')
[ -n "$commits" ] && [ -n "$before" ] || fail "no summary from the fake compositor"
[ "$before" -gt 10 ] || fail "the saver drew only $before frames before the callbacks stopped"
# The frame already answered when the callbacks stopped may still come.
[ "$commits" -le $((before + 1)) ] ||
  fail "the saver committed $((commits - before)) frames with no frame callback"
awk -v p="$parked" -v l="$limit" 'BEGIN { exit !(p < l) }' ||
  fail "the parked show used $parked CPU s/s, not under $limit"
grep -q "Error sending request" "$work/saver.err" && fail "a request failed to go out"
exit 0

#!/bin/sh
# The saver on every screen, and idle when unseen, with the real program on
# private virtual X servers:
#  - two X screens (800x600 and 640x480) give Qt two screens: /s puts one
#    window on each, both draw fireworks of their own (screenshots kept), a
#    click on the second screen ends the run with exit status 0 and the
#    settings file is written exactly once (counted with strace);
#  - with both windows unmapped the process uses under 0.01 s of CPU a
#    second, and mapped again they draw on;
#  - at QT_SCALE_FACTOR=2 the show is drawn in device pixels: the screenshot
#    is not made of 2x2 blocks and reaches beyond the top left quarter (kept
#    for people to look at); wholly covered
#    by another window the saver parks, and uncovered it draws again;
#  - in host mode (--root in a host's window), the host's window unmapped
#    parks the show and mapped again it runs;
#  - on a server without MIT-SHM the show is seen and moves all the same.
#
#   ScreensXvfb.sh <moonglow executable> <screenshot directory>
# Exit code 77 (skipped) when there is no Xvfb.
set -u
. "$(dirname "$0")/../x-preamble.sh"

exe=$1
shots=$2
skip_without Xvfb
require xdotool xwininfo xmessage import convert compare strace
mkdir -p "$shots"
start_work pid server cover host
private_runtime

# Starts Xvfb with the given screens on a free display; sets DISPLAY.
start_server() {
  n=70
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -noreset "$@" >/dev/null 2>&1 &
  server=$!
  export DISPLAY=":$n"
  i=0
  while [ $i -lt 300 ] && ! xwininfo -root >/dev/null 2>&1; do sleep 0.1; i=$((i + 1)); done
}

stop_server() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  server=""
}

# The saver window on X screen $1, or nothing.
saver_on() {
  xwininfo -display "$DISPLAY.$1" -root -tree 2>/dev/null |
    awk '/"The Real Moonglow Screen Saver": \("moonglow"/ { print $1; exit }'
}

# Whether the show draws on screen 0.
draws_on() { wait_drawn "$DISPLAY.0" 30; }

# The id of the xmessage window once it is on screen (up to 30 s).
xmessage_window() {
  i=0
  while [ $i -lt 300 ]; do
    w=$(xdotool search --onlyvisible --name '^xmessage$' 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# ---- Two screens
start_server -screen 0 800x600x24 -screen 1 640x480x24
strace -f -qq -e trace=rename,renameat,renameat2 -o "$work/renames" "$exe" /s &
pid=$!
w0="" w1=""
i=0
while [ $i -lt 300 ]; do
  w0=$(saver_on 0)
  w1=$(saver_on 1)
  [ -n "$w0" ] && [ -n "$w1" ] && break
  sleep 0.1
  i=$((i + 1))
done
[ -n "$w0" ] || fail "no saver window on screen 0"
[ -n "$w1" ] || fail "no saver window on screen 1"
wait_lit "$shots/screen0.png" "$DISPLAY.0" 500 30 || fail "screen 0 shows no fireworks"
wait_lit "$shots/screen1.png" "$DISPLAY.1" 500 30 || fail "screen 1 shows no fireworks"
[ "$(identify -format %wx%h "$shots/screen1.png")" = 640x480 ] || fail "screen 1 has the wrong size"

# Unseen: both windows unmapped, the show parks.
if [ -n "$w0" ] && [ -n "$w1" ]; then
  xdotool windowunmap --sync "$w0"
  xdotool windowunmap --sync "$w1"
  wait_idle "$pid" 5 unmapped
  xdotool windowmap --sync "$w0"
  xdotool windowmap --sync "$w1"
  wait_drawn "$DISPLAY.1" 30 || fail "mapped again, screen 1 does not change"
fi

# A click on the second screen ends both.
xdotool mousemove --screen 1 320 240 click 1
i=0
while [ $i -lt 300 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; i=$((i + 1)); done
if kill -0 "$pid" 2>/dev/null; then
  fail "a click on screen 1 did not end the saver"
else
  wait "$pid"
  status=$?
  [ $status -eq 0 ] || fail "the saver exited with $status"
  pid=""
  [ -z "$(saver_on 0)$(saver_on 1)" ] || fail "a saver window outlived the run"
  writes=$(grep -c 'ZELMoonGlow3xx.ini"' "$work/renames")
  [ "$writes" -eq 1 ] || fail "the settings file was written $writes times"
  grep -q 'FirstRun=0' "$ini" || fail "the run did not end the first run"
fi
stop_server

# ---- A server that cannot share memory (as a remote display): the frames go
# through the connection, and the show is still seen.
start_server -screen 0 640x480x24 -extension MIT-SHM
"$exe" /s &
pid=$!
wait_lit "$shots/no-shared-memory.png" "$DISPLAY" 500 30 || fail "without MIT-SHM the show is not seen"
draws_on || fail "without MIT-SHM the show does not move"
kill "$pid"
wait "$pid"
[ $? -eq 0 ] || fail "without MIT-SHM the saver did not end cleanly on SIGTERM"
pid=""
stop_server

# ---- Device pixels at a scale factor of 2
start_server -screen 0 800x600x24
QT_SCALE_FACTOR=2 "$exe" /s &
pid=$!
# A shot with enough of the show in it to judge: between two themes there may
# be only a few rockets in the sky. The checks below judge the shot.
wait_lit "$shots/scale2.png" "$DISPLAY" 1500 30
# Wholly covered by another window, the show parks too; uncovered, it runs.
xmessage -geometry 1000x800+-100+-100 covering 2>/dev/null &
cover=$!
xmessage_window >/dev/null || fail "the covering window did not appear"
wait_idle "$pid" 3 "wholly covered"
kill "$cover"
wait "$cover" 2>/dev/null
cover=""
draws_on || fail "uncovered, the saver does not draw again"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
pid=""
# Drawn at half size and doubled, the picture would survive a halving and
# doubling unchanged; and the show reaches the bottom right quarter.
convert "$shots/scale2.png" -sample 50% -sample 200% "$work/doubled.png"
[ "$(compare -metric AE "$shots/scale2.png" "$work/doubled.png" null: 2>&1)" -gt 100 ] ||
  fail "at scale 2 the show is drawn in 2x2 blocks"
# Drawn at the logical size, the show would stay in the top left quarter.
convert "$shots/scale2.png" -crop 400x300+0+0 "$work/quarter.png"
[ "$(lit "$shots/scale2.png")" -gt "$(lit "$work/quarter.png")" ] ||
  fail "at scale 2 the show stays in the top left quarter"

# Host mode: the host's window unmapped parks the show; mapped again, it runs.
xmessage -geometry 640x480+0+0 host 2>/dev/null &
host=$!
if hw=$(xmessage_window); then
  XSCREENSAVER_WINDOW=$hw "$exe" --root &
  pid=$!
  draws_on || fail "in the host's window the saver does not draw"
  xdotool windowunmap --sync "$hw"
  wait_idle "$pid" 3 "with the host's window unmapped"
  xdotool windowmap --sync "$hw"
  draws_on || fail "with the host's window mapped again, the saver stays idle"
  kill "$pid"
  wait "$pid" 2>/dev/null
  pid=""
else
  fail "the host's window did not appear"
fi
kill "$host"
wait "$host" 2>/dev/null
host=""
stop_server

[ $failures -eq 0 ] && echo "ScreensXvfb: all checks passed"
[ $failures -eq 0 ]

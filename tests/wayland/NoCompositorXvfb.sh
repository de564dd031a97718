#!/bin/sh
# `moonglow /s` with WAYLAND_DISPLAY naming a socket nobody listens on, as in
# a session whose compositor has gone or a variable left over from one:
#  - with DISPLAY naming a running X server, the saver runs there, and
#    SIGTERM ends it with exit status 0;
#  - with no DISPLAY, it prints one line on standard error, nothing on
#    standard output, and exits with status 1.
#
#   NoCompositorXvfb.sh <moonglow executable>
# Exit code 77 (skipped) without Xvfb.
set -u
. "$(dirname "$0")/../x-preamble.sh"

exe=$1
skip_without Xvfb
require xwininfo
start_work pid xvfb
private_runtime
WAYLAND_DISPLAY=moonglow-test-no-such-socket
export WAYLAND_DISPLAY

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 640x480x24 3>"$work/display" 2>/dev/null &
xvfb=$!
i=0
while [ ! -s "$work/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }

# ---- X11 there: the saver's window on it.
DISPLAY=":$(cat "$work/display")" "$exe" /s 2>"$work/x11.err" &
pid=$!
window=""
i=0
while [ -z "$window" ] && [ $i -lt 100 ] && kill -0 "$pid" 2>/dev/null; do
  sleep 0.1
  window=$(DISPLAY=":$(cat "$work/display")" xwininfo -root -tree 2>/dev/null |
    grep '"The Real Moonglow Screen Saver": ("moonglow"')
  i=$((i + 1))
done
if [ -z "$window" ]; then
  fail "with no compositor and DISPLAY set, the saver showed no window on X11"
  sed 's/^/  saver: /' "$work/x11.err"
fi
kill -TERM "$pid" 2>/dev/null
wait "$pid"
status=$?
pid=""
[ $status -eq 0 ] || fail "on X11, SIGTERM ended the saver with status $status"

# ---- Nowhere to draw.
env -u DISPLAY "$exe" /s >"$work/none.out" 2>"$work/none.err"
status=$?
[ $status -eq 1 ] || fail "with no compositor and no DISPLAY, the exit status is $status, not 1"
[ "$(wc -l <"$work/none.err")" -eq 1 ] || {
  fail "with no compositor and no DISPLAY, standard error holds $(wc -l <"$work/none.err") lines, not one:"
  sed 's/^/  /' "$work/none.err"
}
[ -s "$work/none.out" ] && fail "with no compositor and no DISPLAY, it wrote on standard output"

[ $failures -eq 0 ] && echo "NoCompositorXvfb: all checks passed"
[ $failures -eq 0 ]

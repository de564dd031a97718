#!/bin/sh
# The saver idles while the display is off, on a real X server whose display
# power state really changes: Xorg with the dummy video driver, given a power
# hook by the audit library XorgDpmsHook (Xvfb has no DPMS at all).
#  - `moonglow /s` draws fireworks;
#  - the screen blanked by the server's screen saver while the display stays
#    on: the show draws on (so the idling below comes from the power state);
#  - `xset dpms force off`: after the one-second poll, the process uses under
#    0.01 s of CPU a second;
#  - `xset dpms force on`: the show draws again, and fireworks are on the
#    screen (screenshot kept);
#  - SIGTERM ends the saver with exit status 0.
#
#   DpmsXorg.sh <moonglow executable> <hook library> <screenshot directory>
# Exit code 77 (skipped) when Xorg or its dummy driver is not installed
# (Debian packages xserver-xorg-core and xserver-xorg-video-dummy). Runs as
# any user: the server binary is started directly, with no console.
set -u
. "$(dirname "$0")/../x-preamble.sh"

exe=$1
hook=$2
shots=$3
xorg=/usr/lib/xorg/Xorg
[ -x "$xorg" ] || { echo "$xorg not found: skipped"; exit 77; }
[ -f /usr/lib/xorg/modules/drivers/dummy_drv.so ] || { echo "no dummy video driver: skipped"; exit 77; }
require xset import convert compare getconf
mkdir -p "$shots"
start_work pid server
private_runtime
mkdir -p "$work/conf.d"

cat >"$work/xorg.conf" <<'EOF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
EndSection
Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 16384
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1024x768"
  EndSubSection
EndSection
EOF

# A display of our own: -displayfd names a free one. The empty configdir keeps
# the machine's own configuration snippets out.
LD_AUDIT="$hook" "$xorg" -displayfd 3 -config "$work/xorg.conf" -configdir "$work/conf.d" \
  -noreset -nolisten tcp -logfile "$work/Xorg.log" 3>"$work/display" >/dev/null 2>&1 &
server=$!
i=0
while [ ! -s "$work/display" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
if [ ! -s "$work/display" ]; then
  tail -n 20 "$work/Xorg.log" 2>/dev/null
  echo "FAIL: Xorg did not start"
  exit 1
fi
export DISPLAY=":$(cat "$work/display")"

monitor() { xset q 2>/dev/null | sed -n 's/^ *Monitor is //p'; }

# Blanking, not a window over the screen, when the server's saver is on; and
# nothing switches on its own during the test.
xset s off s blank dpms 0 0 0
[ "$(monitor)" = On ] || {
  grep -i dpms "$work/Xorg.log"
  echo "FAIL: the server offers no DPMS to switch"
  exit 1
}

"$exe" /s &
pid=$!
wait_lit "$work/first.png" "$DISPLAY" 500 30 || fail "no fireworks on the screen"

# The server's screen saver blanks the screen but the display stays on.
xset s activate
sleep 1.5
n=$(cpu_used "$pid" 2)
echo "blanked, display on: $n ticks of CPU in 2 s"
[ "$n" -gt 0 ] || fail "with the screen blanked and the display on, the show stopped"
xset s reset

# Display off: the show parks within the one-second poll.
xset dpms force off
[ "$(monitor)" = Off ] || fail "xset dpms force off left the monitor $(monitor)"
wait_idle "$pid" 5 "with the display off"

# Display on again: the show draws on.
xset dpms force on
[ "$(monitor)" = On ] || fail "xset dpms force on left the monitor $(monitor)"
n=$(wait_busy "$pid" 30)
echo "display on again: $n ticks of CPU in a second"
[ "$n" -gt 0 ] || fail "with the display on again, the show stays parked"
wait_lit "$shots/resumed.png" "$DISPLAY" 500 30 || fail "with the display on again, no fireworks show"
wait_drawn "$DISPLAY" 30 || fail "with the display on again, the screen does not change"

# Running, and not yet ended: an ended child stays a zombie until waited for.
running() { [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" != Z ] && [ -e "/proc/$1" ]; }

kill -TERM "$pid"
i=0
while [ $i -lt 300 ] && running "$pid"; do sleep 0.1; i=$((i + 1)); done
if running "$pid"; then
  fail "SIGTERM did not end the saver"
else
  wait "$pid"
  status=$?
  [ $status -eq 0 ] || fail "after SIGTERM the saver exited with $status"
  pid=""
fi

[ $failures -eq 0 ] && echo "DpmsXorg: all checks passed"
[ $failures -eq 0 ]

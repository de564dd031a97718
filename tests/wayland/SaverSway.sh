#!/bin/sh
# `moonglow /s` as a Wayland user meets it, on one headless sway (no
# XWayland, so nothing but the native front end can draw), every run starting
# without a settings file:
#  - the saver covers the output with fireworks of two hues or more; an
#    output added while it runs gets fireworks too; that output set to
#    800x600 at scale 2 shows stars of single device pixels (screenshots
#    kept);
#  - a pointer move of 50 pixels leaves it running, one of more than 200
#    pixels ends it: exit status 0, the settings written once, all 46 keys,
#    FirstRun=0;
#  - a key typed with wtype ends it so, and so does SIGTERM;
#  - `--layer` with SWAYLOCK_PLUGIN_OUTPUT_NAME draws on that output only,
#    a copy for each output runs at once, no input ends them, and SIGTERM
#    does, with exit status 0 and the settings saved;
#  - swayidle with a 2 s timeout starts it, and a pointer button ends it.
#
# The headless seat has no input devices of its own: keys come from wtype's
# virtual keyboard, the pointer is virtual-pointer.py's, moved and clicked
# with swaymsg.
#
#   SaverSway.sh <moonglow executable> <screenshot folder>
# Exit code 77 (skipped) without sway.
set -u
. "$(dirname "$0")/sway-preamble.sh"

exe=$1
shots=$2
start_sway_work pid other idle
require grim wtype swayidle strace convert identify python3
mkdir -p "$shots"
exe=$(user_file "$exe")

# Two small outputs keep the screenshots and the compositor's work small.
start_sway "output HEADLESS-1 resolution 800x600 position 0 0" \
  "output HEADLESS-2 resolution 640x480 position 800 0"
start_pointer

# ended PID WHAT: the saver ended within 5 s with exit status 0 and saved.
ended() {
  if ! wait_gone "$1" 50; then
    fail "$2 did not end the saver"
    kill "$1" 2>/dev/null
    wait "$1"
    pid=""
    return 1
  fi
  wait "$1"
  e_status=$?
  pid=""
  [ $e_status -eq 0 ] || fail "$2: the saver exited with $e_status"
  settings_saved "$2"
}

# ---- Every output, device pixels, and a pointer move, from the middle of
# the first output.
sway_msg seat seat0 cursor set 400 300
(user_exec strace -f -qq -e trace=rename,renameat,renameat2 -o "$shot/renames" "$exe" /s \
  2>"$work/saver.err") &
pid=$!
watch=$pid
wait_for_fireworks HEADLESS-1 "$shots/first-output.png"
sway_msg create_output &&
  wait_for_fireworks HEADLESS-2 "$shots/added-output.png"
if sway_msg output HEADLESS-2 resolution 800x600 scale 2; then
  # Taken until one holds fireworks of many single-pixel stars, for up to 10 s.
  single=0
  i=0
  while [ $i -lt 20 ]; do
    if shows_fireworks HEADLESS-2 "$shots/scale2.png"; then
      single=$(single_pixels "$shots/scale2.png")
      [ "$single" -ge 100 ] && break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
    i=$((i + 1))
  done
  size=$(identify -format %wx%h "$shots/scale2.png" 2>/dev/null)
  if [ "$size" != 800x600 ]; then
    fail "at scale 2 the output's screenshot is '$size', not 800x600"
  elif [ "$(uncovered "$shots/scale2.png")" != 0 ] || [ "$(hues "$shots/scale2.png")" -lt 2 ]; then
    fail "at scale 2 no fireworks cover the output"
  elif [ "$single" -lt 100 ]; then
    fail "at scale 2 only $single stars are single device pixels"
  else
    echo "scale 2: $single single-pixel stars"
  fi
fi
sway_msg seat seat0 cursor move 50 0
sleep 1
kill -0 "$pid" 2>/dev/null || fail "a pointer move of 50 pixels ended the saver"
sway_msg seat seat0 cursor move 0 250
if ended "$pid" "a pointer move of 250 pixels"; then
  writes=$(grep -c 'ZELMoonGlow3xx.ini"' "$shot/renames")
  [ "$writes" -eq 1 ] || fail "the settings file was written $writes times"
fi
[ -s "$work/saver.err" ] && sed 's/^/  saver: /' "$work/saver.err"

# ---- A key
(user_exec "$exe" /s) &
pid=$!
watch=$pid
# wtype's keyboard joins the seat as it starts, and a client binds it only
# when told: the key comes after a pause, so that it does not come first.
wait_for_fireworks HEADLESS-1 "$work/key.png" && as_user wtype -s 500 x
ended "$pid" "a key typed with wtype"

# ---- SIGTERM
(user_exec "$exe" /s) &
pid=$!
watch=$pid
wait_for_fireworks HEADLESS-1 "$work/term.png" && kill -TERM "$pid"
ended "$pid" "SIGTERM"

# ---- --layer, as swaylock-plugin's --command-each runs it: one copy per
# output, each naming its own.
(user_exec SWAYLOCK_PLUGIN_OUTPUT_NAME=HEADLESS-2 "$exe" --layer) &
pid=$!
watch=$pid
if wait_for_fireworks HEADLESS-2 "$work/layer2.png"; then
  grab HEADLESS-1 "$work/layer1.png"
  [ "$(uncovered "$work/layer1.png")" -gt 0 ] || fail "--layer for HEADLESS-2 drew on HEADLESS-1 too"
fi
# No single-instance lock: the second copy runs beside the first.
(user_exec SWAYLOCK_PLUGIN_OUTPUT_NAME=HEADLESS-1 "$exe" --layer) &
other=$!
watch=$other
wait_for_fireworks HEADLESS-1 "$shots/layer.png"
# No input ends it.
as_user wtype -s 500 x
sway_msg -- seat seat0 cursor move 0 -250
sway_msg seat seat0 cursor press button1
sway_msg seat seat0 cursor release button1
sleep 1
kill -0 "$pid" 2>/dev/null || fail "--layer ended on input"
kill -0 "$other" 2>/dev/null || fail "a second --layer copy did not run beside the first"
kill -TERM "$other" 2>/dev/null
wait "$other"
status=$?
other=""
[ $status -eq 0 ] || fail "SIGTERM ended the second --layer copy with status $status"
kill -TERM "$pid"
ended "$pid" "SIGTERM to --layer"

# ---- swayidle: the command it runs records the saver's id and exit status.
(user_exec swayidle -w timeout 2 \
  "\"$exe\" /s & echo \$! >\"$shot/idle.pid\"; wait \$!; echo \$? >\"$shot/idle.status\"" \
  2>"$work/swayidle.log") &
idle=$!
i=0
while [ ! -s "$shot/idle.pid" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
watch=$(cat "$shot/idle.pid" 2>/dev/null)
if [ -z "$watch" ]; then
  fail "swayidle did not start the saver within 10 s"
elif wait_for_fireworks HEADLESS-1 "$shots/swayidle.png"; then
  sway_msg seat seat0 cursor press button1
  sway_msg seat seat0 cursor release button1
  i=0
  while [ ! -s "$shot/idle.status" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
fi
# Ended before it is idle again, or it would start another saver.
kill "$idle" 2>/dev/null
wait "$idle" 2>/dev/null
idle=""
if [ -n "$watch" ] && [ ! -s "$shot/idle.status" ]; then
  fail "a pointer button did not end the saver swayidle started"
  kill "$watch" 2>/dev/null
elif [ -n "$watch" ]; then
  [ "$(cat "$shot/idle.status")" = 0 ] ||
    fail "started by swayidle, the saver exited with $(cat "$shot/idle.status")"
  settings_saved "swayidle and a pointer button"
fi

[ $failures -eq 0 ] && echo "SaverSway: all checks passed"
[ $failures -eq 0 ]

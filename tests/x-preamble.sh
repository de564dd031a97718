# shellcheck shell=sh
# Sourced by the tests that run the saver on a private X server (tests/qt/*.sh
# and tests/win32/gui-run): the check for the tools a test needs, its work
# folder and the clean-up at exit, and a settings and runtime folder of its
# own; what the tests measure of the saver's pictures and CPU, and the waits
# until those show what a test expects. POSIX sh, as the tests that source it.

# skip_without TOOL...: ends the test as skipped (77) when a tool is missing
# without which it cannot run on this machine at all.
skip_without() {
  for x_tool in "$@"; do
    command -v "$x_tool" >/dev/null 2>&1 || { echo "$x_tool not found: skipped"; exit 77; }
  done
}

# require TOOL...: fails the test when a tool is missing that every machine
# able to run it should have.
require() {
  for x_tool in "$@"; do
    command -v "$x_tool" >/dev/null 2>&1 || { echo "FAIL: $x_tool is missing"; exit 1; }
  done
}

# on_xvfb_run EXTRA_SERVER_ARGS COMMAND [ARG...]: runs COMMAND in this
# script's place on a private display of xvfb-run's, one 1024x768 screen and
# the extra server arguments (a string, maybe empty). -noreset: by default the
# server resets when its last client leaves, and a program started during that
# reset finds no display.
on_xvfb_run() {
  x_extra=$1
  shift
  exec xvfb-run -a -s "-noreset -screen 0 1024x768x24${x_extra:+ $x_extra}" "$@"
}

# start_work [VAR...]: $work, a fresh folder removed at exit. Each VAR, empty
# to begin with, is for the test to hold the process id of something it
# started, and to empty again once that has ended; at exit those still set are
# killed, by their ids and nothing else, and waited for before the folder goes.
start_work() {
  work=$(mktemp -d)
  x_started="$*"
  for x_var in $x_started; do eval "$x_var="; done
  trap x_clean_up EXIT
}
x_clean_up() {
  x_pids=""
  for x_var in $x_started; do
    eval "x_pid=\${$x_var:-}"
    [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null && x_pids="$x_pids $x_pid"
  done
  for x_pid in $x_pids; do wait "$x_pid" 2>/dev/null; done
  rm -rf "$work"
}

# private_runtime: the saver's settings folder and runtime folder (where its
# single-instance lock lives) inside $work, so the test meets neither the
# user's settings nor another running copy. $ini is the settings file there.
private_runtime() {
  mkdir -p "$work/config" "$work/run"
  chmod 700 "$work/run"
  XDG_RUNTIME_DIR="$work/run"
  MOONGLOW_CONFIG_DIR="$work/config"
  export XDG_RUNTIME_DIR MOONGLOW_CONFIG_DIR
  ini="$work/config/ZELMoonGlow3xx.ini"
}

# lit PNG: how many pixels of the picture are not black.
lit() { convert "$1" -fill white +opaque black -format '%[fx:round(mean*w*h)]' info:; }

# The waits below look again and again until what they wait for is on the
# screen, up to a deadline far beyond what an idle machine needs: on a loaded
# one the saver and the X server may take many times as long, and a single
# look after a fixed pause would fail there. They return as soon as it holds.

# x_now: the time in whole seconds.
x_now() { date +%s; }

# wait_lit PNG DISPLAY MIN SECONDS: screenshots of the root window of DISPLAY
# (a display or one of its screens, as $DISPLAY.1) into PNG every half second
# until more than MIN pixels are lit; fails when none has that many within
# SECONDS. PNG keeps the last.
wait_lit() {
  x_end=$(($(x_now) + $4))
  while :; do
    if import -display "$2" -window root "$1" 2>/dev/null; then
      x_lit=$(lit "$1" 2>/dev/null)
      [ "${x_lit:-0}" -gt "$3" ] && return 0
    fi
    [ "$(x_now)" -lt "$x_end" ] || return 1
    sleep 0.5
  done
}

# wait_drawn DISPLAY SECONDS: whether the picture on the root window of
# DISPLAY changes twice within SECONDS, screenshots half a second apart: the
# show draws. One change alone may be a window's single repaint on being
# mapped or uncovered.
wait_drawn() {
  x_end=$(($(x_now) + $2))
  x_changes=0
  rm -f "$work/x-last.png"
  while :; do
    if import -display "$1" -window root "$work/x-next.png" 2>/dev/null; then
      if [ -e "$work/x-last.png" ] &&
        [ "$(compare -metric AE "$work/x-last.png" "$work/x-next.png" null: 2>&1)" != 0 ]; then
        x_changes=$((x_changes + 1))
        [ $x_changes -ge 2 ] && return 0
      fi
      mv "$work/x-next.png" "$work/x-last.png"
    fi
    [ "$(x_now)" -lt "$x_end" ] || return 1
    sleep 0.5
  done
}

# cpu_used PID SECONDS: the clock ticks of CPU (user and system) the process
# uses over that many seconds.
cpu_used() {
  x_ticks=$(awk '{ print $14 + $15 }' "/proc/$1/stat")
  sleep "$2"
  echo $(($(awk '{ print $14 + $15 }' "/proc/$1/stat") - x_ticks))
}

# expect_idle PID SECONDS WHEN: the parked saver uses under 0.01 s of CPU a
# second over that many seconds; WHEN names the state in the messages.
expect_idle() {
  x_used=$(cpu_used "$1" "$2")
  x_hz=$(getconf CLK_TCK)
  echo "$3: $x_used ticks of CPU in $2 s (CLK_TCK $x_hz)"
  [ $((x_used * 100)) -lt $(($2 * x_hz)) ] || fail "$3, the saver used $x_used ticks of CPU in $2 s"
}

# wait_idle PID SECONDS WHEN: expect_idle once the saver has had its chance
# to park: first, for up to 30 s, until a second passes in which it uses no
# CPU at all.
wait_idle() {
  x_end=$(($(x_now) + 30))
  while [ "$(cpu_used "$1" 1)" -gt 0 ] && [ "$(x_now)" -lt "$x_end" ]; do :; done
  expect_idle "$@"
}

# wait_busy PID SECONDS: whether the process uses CPU in some second within
# SECONDS (the show runs); echoes the ticks of the last second measured.
wait_busy() {
  x_end=$(($(x_now) + $2))
  while :; do
    x_used=$(cpu_used "$1" 1)
    [ "$x_used" -gt 0 ] && break
    [ "$(x_now)" -lt "$x_end" ] || break
  done
  echo "$x_used"
  [ "$x_used" -gt 0 ]
}

# fail MESSAGE: records a failed check and goes on with the next.
failures=0
# wait_gone PID TENTHS: waits up to TENTHS tenths of a second for the process
# to end; fails (status 1) when it is still there.
wait_gone() {
  x_i=0
  while kill -0 "$1" 2>/dev/null; do
    [ $x_i -ge "$2" ] && return 1
    sleep 0.1
    x_i=$((x_i + 1))
  done
  return 0
}

# check_settings FILE WHAT: the settings file after a saver run: there, all
# 46 keys, the first run over.
check_settings() {
  if [ ! -f "$1" ]; then
    fail "$2: no settings file"
  elif ! grep -q '^FirstRun=0' "$1"; then
    fail "$2: FirstRun=0 not saved"
  elif [ "$(grep -c '=' "$1")" != 46 ]; then
    fail "$2: the settings file holds $(grep -c '=' "$1") keys, not 46"
  fi
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

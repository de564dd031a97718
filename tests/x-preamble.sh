# shellcheck shell=sh
# Sourced by the tests that run the saver on a private X server (tests/qt/*.sh
# and tests/win32/gui-run): the check for the tools a test needs, its work
# folder and the clean-up at exit, and a settings and runtime folder of its
# own; what the tests measure of the saver's pictures and CPU. POSIX sh, as
# the tests that source it.

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

# fail MESSAGE: records a failed check and goes on with the next.
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

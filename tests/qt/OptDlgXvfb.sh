#!/bin/sh
# Runs `moonglow /c` on a private virtual X server: the options dialog must
# open with a 367 x 434 client area, close on Escape without writing, and
# write the settings file when OK is clicked or Enter is pressed at once.
# Screenshots of the dialog are kept for people to look at: the given path as
# it opens, and the path with -tab2 ... -tab5 before .png for the other pages.
#
#   OptDlgXvfb.sh <moonglow executable> <screenshot.png>
# Exit code 77 (skipped) only when there is no xvfb-run.
set -u
. "$(dirname "$0")/../x-preamble.sh"

if [ "${1:-}" != "--inner" ]; then
  skip_without xvfb-run
  on_xvfb_run "-dpi 96" "$0" --inner "$@"
fi
shift
exe=$1
shot=$2

require xdotool xwininfo import
start_work
private_runtime

# Starts the dialog and sets $pid and $wid once its window is mapped.
open_dialog() {
  "$exe" /c &
  pid=$!
  wid=""
  i=0
  while [ $i -lt 100 ]; do
    wid=$(xdotool search --onlyvisible --name '^Moonglow Setup$' 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.1
    i=$((i + 1))
  done
  if [ -z "$wid" ]; then
    fail "the dialog window did not appear"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 1
  fi
  # Let it paint before anything looks at it.
  sleep 0.5
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  return 0
}

# Waits up to 10 s for the program to end and checks its exit code.
expect_exit_zero() {
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$1: the program is still running"
    kill "$pid"
  fi
  wait "$pid"
  rc=$?
  [ "$rc" -eq 0 ] || fail "$1: exit code $rc"
}

# Takes a picture of the dialog's client area.
screenshot() {
  import -window root -crop "${width}x${height}+${x}+${y}" +repage "$1" || fail "no screenshot $1"
  echo "screenshot: $1"
}

# 1. Size, a screenshot of every page, Escape.
if open_dialog; then
  info=$(xwininfo -id "$wid")
  width=$(echo "$info" | awk '/Width:/ {print $2}')
  height=$(echo "$info" | awk '/Height:/ {print $2}')
  echo "client area: ${width} x ${height}"
  [ "$width" = 367 ] && [ "$height" = 434 ] || fail "client area ${width} x ${height}, want 367 x 434"
  x=$(echo "$info" | awk '/Absolute upper-left X:/ {print $4}')
  y=$(echo "$info" | awk '/Absolute upper-left Y:/ {print $4}')
  screenshot "$shot"
  # The focus starts on OK; six Tabs on (initial values, cancel, the three
  # fields) it reaches the page tabs, where Right turns the page.
  xdotool key --delay 50 Tab Tab Tab Tab Tab Tab
  page=2
  while [ $page -le 5 ]; do
    xdotool key Right
    sleep 0.3
    screenshot "${shot%.png}-tab$page.png"
    page=$((page + 1))
  done
  xdotool key Escape
  expect_exit_zero "Escape"
  [ -e "$ini" ] && fail "Escape wrote the settings file"
fi

# Checks that the settings file holds every key but the first-run flag.
expect_full_file() {
  if [ -e "$ini" ]; then
    keys=$(grep -c '=' "$ini")
    [ "$keys" -eq 45 ] || fail "$1 wrote $keys keys, want 45"
    grep -q '^FirstRun' "$ini" && fail "$1 wrote FirstRun"
  else
    fail "$1 wrote no settings file"
  fi
}

# 2. OK writes every key but the first-run flag.
if open_dialog; then
  # The OK button's middle, in client coordinates.
  xdotool mousemove --window "$wid" 52 416 click 1
  expect_exit_zero "OK"
  expect_full_file "OK"
fi

# 3. Enter at once presses OK, which holds the focus at opening.
rm -f "$ini"
if open_dialog; then
  xdotool key Return
  expect_exit_zero "Enter"
  expect_full_file "Enter at opening"
fi

if [ "$failures" -eq 0 ]; then
  echo "1 passed, 0 failed"
  exit 0
fi
echo "0 passed, 1 failed"
exit 1

#!/bin/sh
# Runs `moonglow /c` on a private virtual X server: the options dialog must
# open with a 367 x 434 client area, close on Escape without writing, write
# the settings file when OK is clicked, and take Enter as the button with the
# focus does, or as cancel when no button has it: the keys go through the X
# server as a user's would.
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

# Starts the dialog and sets $pid and $wid once its window is mapped. With
# "pointer" the window is not given the X focus: with no window manager the
# keys then go where the server's focus follows the pointer, as when a user
# starts the dialog on a bare server.
open_dialog() {
  how=${1:-focus}
  "$exe" /c &
  pid=$!
  wid=""
  i=0
  while [ $i -lt 300 ]; do
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
  if [ "$how" = pointer ]; then
    xdotool mousemove --window "$wid" 180 200
  else
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
  fi
  return 0
}

# Waits up to 30 s for the program to end and checks its exit code.
expect_exit_zero() {
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do
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

# Presses Tab $1 times from the opening focus, then the keys that follow.
keys_after_tabs() {
  tabs=$1
  shift
  n=0
  while [ $n -lt "$tabs" ]; do
    xdotool key Tab
    sleep 0.05
    n=$((n + 1))
  done
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.05
  done
}

# 3. Enter presses the button that has the focus: OK at opening, then
# initial values and cancel one Tab further each; from the fields on, no
# button has it and Enter cancels, leaving the file as it was.
# Both with the X focus given to the window and without it.
start='[Environment]\nFireCount=7\n'
for how in focus pointer; do
  for tabs in 0 1 2 3 4 5; do
    printf "$start" >"$ini"
    cp "$ini" "$work/before.ini"
    open_dialog "$how" || continue
    keys_after_tabs "$tabs" Return
    what="$how: $tabs Tabs, then Enter"
    expect_exit_zero "$what"
    case $tabs in
      0) expect_full_file "$what"
         grep -q '^FireCount=7' "$ini" || fail "$what: FireCount=7 not kept" ;;
      1) expect_full_file "$what"
         grep -q '^FireCount=5' "$ini" || fail "$what: the defaults not written" ;;
      *) cmp -s "$work/before.ini" "$ini" || fail "$what: the file changed" ;;
    esac
  done
done

# 4. The fields come in the form's order after the buttons: Up steps the
# field the Tabs reached, and OK, as many Shift+Tabs back, saves its value.
for case in "3 FireCount=8" "4 gFactor=4" "5 kFactor=20"; do
  tabs=${case%% *}
  want=${case#* }
  printf "$start" >"$ini"
  open_dialog pointer || continue
  back=""
  n=0
  while [ $n -lt "$tabs" ]; do
    back="$back shift+Tab"
    n=$((n + 1))
  done
  # shellcheck disable=SC2086
  keys_after_tabs "$tabs" Up $back Return
  expect_exit_zero "Up after $tabs Tabs, then OK"
  grep -q "^$want" "$ini" || fail "Up after $tabs Tabs did not save $want: $(grep -E '^(FireCount|gFactor|kFactor)=' "$ini" | tr '\n' ' ')"
done

if [ "$failures" -eq 0 ]; then
  echo "1 passed, 0 failed"
  exit 0
fi
echo "0 passed, 1 failed"
exit 1

#!/usr/bin/env bash
# Checks the parts of tools/bench-cpu whose faults would give wrong figures
# without failing: reading /proc stat lines, spotting the first drawn pixel in
# the server's framebuffer, the exit status when a program does not start, and
# the Wayland comparison's compositor. Exits 77 (skipped) without Xvfb.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=tools/bench-cpu
. "$root/tools/bench-cpu"
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb not found: skipped"; exit 77; }

failures=0
check() { # description command...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

Tmp=$(mktemp -d)
Xpid=""
trap 'cleanup' EXIT

# A thread name may hold spaces and ')', which shift naive field counts.
printf '42 (a) b (c) S 1 2 3 4 5 6 7 8 9 10 700 55 13 14 15\n' >"$Tmp/stat"
check "ticks counts fields from the last ')'" test "$(ticks "$Tmp/stat")" = 755
check "ticks of a vanished process is empty" test -z "$(ticks "$Tmp/none/stat")"

# An XWD file as the server writes it: 100-byte header, 2 colours, 8 pixel bytes.
xwd() { # colour-byte pixel-byte
  {
    printf '\x00\x00\x00\x64'
    head -c 72 /dev/zero
    printf '\x00\x00\x00\x02'
    head -c 20 /dev/zero
    printf '%b' "\\x$1"
    head -c 23 /dev/zero
    printf '%b' "\\x$2"
    head -c 7 /dev/zero
  } >"$Tmp/fb.xwd"
}
xwd ff 00
not_drawn() { ! drawn "$1"; }
check "colour map only: not drawn" not_drawn "$Tmp/fb.xwd"
xwd 00 01
check "one lit pixel byte: drawn" drawn "$Tmp/fb.xwd"

# The real server's file: black until something draws, whatever its header's
# byte order and colour count.
mkdir -p "$Tmp/fb"
start_x -br -fbdir "$Tmp/fb" >/dev/null
check "fresh black server: not drawn" not_drawn "$Tmp/fb/Xvfb_screen0"
if command -v xsetroot >/dev/null 2>&1; then
  xsetroot -solid '#000001'
  sleep 0.3
  check "one dark-blue root: drawn" drawn "$Tmp/fb/Xvfb_screen0"
fi
stop "$Xpid"
Xpid=""

# The medians the table of several rounds holds: numbers, not text, and the
# lower middle of an even count.
check "median of an odd count" test "$(median 0.030 0.009 0.110)" = 0.030
check "median of an even count" test "$(median 0.2 0.1 0.04 0.3)" = 0.1
out=$("$root/tools/bench-cpu" --rounds 0 2>&1)
check "zero rounds: exit 2" test $? -eq 2

# Missing tools are named with the package that brings them.
out=$(PATH=/nonexistent check_tools 2>&1)
check "a missing tool names its package" grep -q "xdotool (package xdotool)" <<<"$out"

# A program that is missing or ends at once is a failure, not a row of zeros.
out=$("$root/tools/bench-cpu" --moonglow /nonexistent/moonglow 2>&1)
check "missing program: exit 1" test $? -eq 1
check "missing program: says so" grep -q "no moonglow program" <<<"$out"
if [ -x "$Pyro" ]; then
  out=$("$root/tools/bench-cpu" --moonglow /bin/false --warmup 0.5 --seconds 1 2>&1)
  check "program ending at once: exit 1" test $? -eq 1
  check "program ending at once: says so" grep -q "moonglow exited early" <<<"$out"
fi

# The Wayland comparison's parts: its tools named with their packages, "-"
# (no such server) adding nothing to a total, and on a real headless sway the
# output at full HD, XWayland found by its display once an X client comes,
# and that client's window full screen, as pyro's must be to draw as much as
# moonglow does.
out=$(PATH=/nonexistent check_tools wayland 2>&1)
check "wayland: a missing sway names its package" grep -q "sway (package sway)" <<<"$out"
check "wayland: a missing Xwayland names its package" grep -q "Xwayland (package xwayland)" <<<"$out"
check "wayland: no X server adds nothing" test "$(sum 0.125 - 0.250)" = 0.375
if command -v sway >/dev/null 2>&1 && command -v Xwayland >/dev/null 2>&1 &&
  command -v xmessage >/dev/null 2>&1; then
  start_sway
  check "wayland: sway's output is full HD" \
    grep -q '"current_mode": {[^}]*"width": 1920, "height": 1080' \
    <<<"$( (as_user swaymsg -t get_outputs -r) | tr -d '\n' | tr -s ' ')"
  check "wayland: sway names an X display" grep -q '^:[0-9]' <<<"$XDisplay"
  # sway's tree holds a full-screen node of its own, the scratch workspace.
  not_full_screen() { ! pyro_full_screen; }
  check "wayland: no X window yet, none full screen" not_full_screen
  (as_user DISPLAY="$XDisplay" xmessage -geometry 200x100 bench-cpu-test >/dev/null 2>&1) &
  Children+=($!)
  for i in $(seq 50); do
    [ -n "$(xwayland_pid)" ] && pyro_full_screen && break
    sleep 0.1
  done
  xw=$(xwayland_pid)
  check "wayland: XWayland is found by its display" grep -q "Xwayland $XDisplay " \
    <<<"$(tr '\0' ' ' <"/proc/${xw:-none}/cmdline" 2>/dev/null)"
  check "wayland: an X window is full screen" pyro_full_screen
  stop "${Children[-1]}"
  stop "$Sway"
  check "wayland: sway ends with the run" test ! -e "/proc/$Sway"
  Sway=""
fi

[ $failures -eq 0 ] && echo "all passed" || echo "$failures failed"
[ $failures -eq 0 ]

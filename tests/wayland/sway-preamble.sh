# shellcheck shell=sh
# Sourced by the tests that run the saver under a headless sway: on top of
# x-preamble.sh (the tool checks, the work folder and its clean-up, fail), the
# user everything runs as, sway itself, screenshots and the checks on them.
# POSIX sh, as the tests that source it.
#
# sway refuses to run as root, so a test run by root runs sway, its clients
# and the saver as the user nobody (65534), through setpriv; anyone else runs
# them as themselves. Either way they get a runtime folder of their own (mode
# 0700, where the compositor's socket and the saver's single-instance lock
# live), a home and a settings folder, all inside $work.
. "$(dirname "$0")/../x-preamble.sh"

# start_sway_work [VAR...]: start_work with the process variables given (sway
# itself and its pointer are two more, $sway and $pointer), then the folders
# the user writes to. $home,
# $config and $run are those folders, $ini the saver's settings file, $shot a
# folder for screenshots the user may write.
start_sway_work() {
  skip_without sway swaymsg setpriv
  start_work sway pointer "$@"
  if [ "$(id -u)" = 0 ]; then
    s_user=65534
  else
    s_user=""
  fi
  # The user must reach inside the work folder, and nobody else has a reason to.
  chmod 755 "$work"
  home="$work/home"
  config="$work/config"
  run="$work/run"
  shot="$work/shot"
  mkdir -p "$home" "$config" "$run" "$shot"
  chmod 700 "$run"
  [ -n "$s_user" ] && chown "$s_user:$s_user" "$home" "$config" "$run" "$shot"
  ini="$config/ZELMoonGlow3xx.ini"
}

# user_exec [VAR=VALUE...] COMMAND [ARG...]: becomes COMMAND, run as the
# test's user in a clean environment: the user's folders, the compositor's
# sockets once sway runs, the saver's settings folder, and the assignments
# given. `(user_exec ...) &` starts it in the background with $! its own id.
user_exec() {
  set -- env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$run" \
    MOONGLOW_CONFIG_DIR="$config" ${LANG:+LANG="$LANG"} \
    ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} ${SWAYSOCK:+SWAYSOCK="$SWAYSOCK"} "$@"
  if [ -n "$s_user" ]; then
    exec setpriv --reuid="$s_user" --regid="$s_user" --clear-groups "$@"
  fi
  exec "$@"
}

# as_user [VAR=VALUE...] COMMAND [ARG...]: runs it so and waits for it.
as_user() { (user_exec "$@"); }

# user_file PATH: the file at PATH, or a copy of it in $work where the test's
# user cannot reach the source or build tree (a checkout in root's home, or in
# a private temporary folder). A program's Qt module, which it loads from
# beside itself, is copied with it.
user_file() {
  if as_user test -r "$1"; then
    echo "$1"
    return
  fi
  local module
  module="$(dirname "$1")/moonglow-qt.so"
  cp "$1" "$work/${1##*/}" && chmod a+rX "$work/${1##*/}" || return 1
  if [ -x "$1" ] && [ -f "$module" ]; then
    cp "$module" "$work/" && chmod a+r "$work/moonglow-qt.so" || return 1
  fi
  echo "$work/${1##*/}"
}

# start_sway [CONFIG_LINE...]: sway on the headless back end with one output
# and the given lines in its configuration; "xwayland disable" unless a line
# says otherwise. Waits for its Wayland and IPC sockets and sets
# WAYLAND_DISPLAY and SWAYSOCK (not exported: as_user passes them on), and
# takes a screenshot of the empty output for uncovered. Its log is
# $work/sway.log.
start_sway() {
  : >"$work/sway.config"
  case "$*" in *xwayland*) ;; *) echo "xwayland disable" >"$work/sway.config" ;; esac
  for s_line in "$@"; do echo "$s_line" >>"$work/sway.config"; done
  chmod 644 "$work/sway.config"
  (user_exec WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
    sway -c "$work/sway.config" >"$work/sway.log" 2>&1) &
  sway=$!
  WAYLAND_DISPLAY="" SWAYSOCK=""
  s_i=0
  while [ $s_i -lt 100 ]; do
    for s_socket in "$run"/wayland-*; do
      case "$s_socket" in *.lock) ;; *) [ -S "$s_socket" ] && WAYLAND_DISPLAY=${s_socket##*/} ;; esac
    done
    for s_socket in "$run"/sway-ipc.*.sock; do
      [ -S "$s_socket" ] && SWAYSOCK=$s_socket
    done
    if [ -n "$WAYLAND_DISPLAY" ] && [ -n "$SWAYSOCK" ] && as_user swaymsg -t get_version >/dev/null 2>&1; then
      # What sway shows where no client draws, for uncovered.
      grab HEADLESS-1 "$work/background.png" &&
        s_background="#$(convert "$work/background.png" -format '%[hex:p{0,0}]' info: | cut -c1-6)"
      [ ${#s_background} -eq 7 ] || { echo "FAIL: no screenshot of sway's empty output"; exit 1; }
      return 0
    fi
    kill -0 "$sway" 2>/dev/null || break
    sleep 0.1
    s_i=$((s_i + 1))
  done
  sed 's/^/  sway: /' "$work/sway.log"
  echo "FAIL: sway did not start"
  exit 1
}

# start_pointer: a pointer for sway's seat, which on the headless back end has
# none (so no client would see the pointer that `swaymsg seat seat0 cursor`
# moves and clicks), held by virtual-pointer.py until the test ends. Start it
# before the clients that are to see it.
start_pointer() {
  local script
  script=$(user_file "$(dirname "$0")/virtual-pointer.py") || fail "cannot copy virtual-pointer.py"
  (user_exec python3 "$script" >"$work/pointer.out" 2>&1) &
  pointer=$!
  s_i=0
  until grep -q '^ready$' "$work/pointer.out" 2>/dev/null; do
    if [ $s_i -ge 50 ] || ! kill -0 "$pointer" 2>/dev/null; then
      sed 's/^/  /' "$work/pointer.out"
      echo "FAIL: no virtual pointer"
      exit 1
    fi
    sleep 0.1
    s_i=$((s_i + 1))
  done
}

# sway_msg ARG...: swaymsg as the user, quietly; fails the check on an error.
sway_msg() {
  as_user swaymsg "$@" >"$work/swaymsg.out" 2>&1 || {
    fail "swaymsg $*: $(cat "$work/swaymsg.out")"
    return 1
  }
}

# grab OUTPUT FILE: a screenshot of one output at its own pixels, as PNG.
grab() {
  rm -f "$shot/grab.png"
  as_user grim -l 1 -o "$1" "$shot/grab.png" 2>"$work/grim.err" && cp "$shot/grab.png" "$2"
}

# hues FILE: how many hues the picture's lit, coloured pixels hold. A hue is
# one of six 60-degree sectors centred on red, yellow, green, cyan, blue and
# magenta (so a red show cannot split at 0 degrees), and counts from 50
# pixels; greys, white and dark pixels count for nothing.
hues() {
  convert "$1" -format %c histogram:info:- 2>/dev/null | awk -F'[(),]' '
    {
      n = $1 + 0; r = $2 + 0; g = $3 + 0; b = $4 + 0
      hi = r; if (g > hi) hi = g; if (b > hi) hi = b
      lo = r; if (g < lo) lo = g; if (b < lo) lo = b
      if (hi < 64 || hi - lo < 48) next
      if (hi == r) h = 60 * (g - b) / (hi - lo)
      else if (hi == g) h = 120 + 60 * (b - r) / (hi - lo)
      else h = 240 + 60 * (r - g) / (hi - lo)
      if (h < 0) h += 360
      sector[int((h + 30) / 60) % 6] += n
    }
    END { for (s in sector) if (sector[s] >= 50) count++; print count + 0 }'
}

# uncovered FILE: how many pixels show sway's own background (the grey
# start_sway saw, drawn where no client draws) instead of a client: those amid
# a 5x5 block of it, as a grey star of the show is not.
uncovered() {
  convert "$1" -fill white -opaque "$s_background" -fill black +opaque white -colorspace Gray \
    -morphology Erode Square:2 -precision 12 -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# shows_fireworks OUTPUT FILE: whether a screenshot of the output, kept as
# FILE, is wholly covered by a client and shows fireworks of two hues or more.
shows_fireworks() {
  grab "$1" "$2" && [ "$(uncovered "$2")" = 0 ] && [ "$(hues "$2")" -ge 2 ]
}

# wait_for_fireworks OUTPUT FILE [SECONDS]: screenshots of the output (the
# last kept as FILE) until one shows_fireworks, for up to SECONDS (10), or
# until the process $watch names (when set) has ended. Fails the check, saying
# what the last one showed, when none does.
watch=""
wait_for_fireworks() {
  s_tries=$((${3:-10} * 2))
  while [ "$s_tries" -gt 0 ]; do
    shows_fireworks "$1" "$2" && return 0
    if [ -n "$watch" ] && ! kill -0 "$watch" 2>/dev/null; then
      fail "$1: no fireworks, and the saver has ended"
      return 1
    fi
    sleep 0.5
    s_tries=$((s_tries - 1))
  done
  if [ ! -f "$2" ]; then
    fail "$1: no screenshot: $(cat "$work/grim.err")"
  elif [ "$(uncovered "$2")" != 0 ]; then
    fail "$1: $(uncovered "$2") pixels show no client, after ${3:-10} s"
  else
    fail "$1: $(hues "$2") hue(s) of fireworks after ${3:-10} s, not two or more"
  fi
  return 1
}

# single_pixels FILE: how many lit pixels have no lit pixel beside, above or
# below them: stars drawn at device pixels leave many, a picture drawn at half
# the size and doubled none.
single_pixels() {
  convert "$1" -fill white +opaque black -colorspace Gray \
    -morphology HMT '3x3: -,0,- 0,1,0 -,0,-' -precision 12 -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# settings_saved WHAT: the settings file after a saver run, checked; removed
# for the next run.
settings_saved() {
  check_settings "$ini" "$1"
  rm -f "$ini"
}

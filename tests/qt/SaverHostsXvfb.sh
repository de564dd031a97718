#!/bin/sh
# The installed saver under the real saver hosts on a private virtual X server:
#  - the xscreensaver daemon, whose list holds only the installed program as
#    "moonglow --root": activated, it starts the saver in its own window and
#    fireworks show on the screen; cycled, the saver it stops exits with 0;
#    deactivated, the saver ends within two seconds; the settings are saved
#    with the first run over.
#  - xsecurelock's saver_multiplex with XSECURELOCK_SAVER naming the installed
#    link: the show draws, and a SIGTERM to the multiplexer ends the saver.
# Screenshots stay in the given folder for people to look at.
#
#   SaverHostsXvfb.sh <cmake> <build dir> <screenshot folder>
# Exit code 77 (skipped) when not root or when a tool is missing. Root is
# needed because xscreensaver refuses to run savers as root: the hosts run as
# the user nobody, through setpriv.
set -u
. "$(dirname "$0")/../x-preamble.sh"

cmake=$1
build=$2
shots=$3

[ "$(id -u)" = 0 ] || { echo "not root, so the hosts cannot run as nobody: skipped"; exit 77; }
skip_without Xvfb xscreensaver xscreensaver-command setpriv xwininfo import convert

# No private_runtime: the hosts run the saver as nobody, which could not use
# a folder of root's; each host gives it a settings folder of its own below.
start_work mux daemon xvfb
mkdir -p "$shots"

# The tree as the package installs it; nobody must read all of it.
chmod 755 "$work"
if ! DESTDIR="$work/dest" "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: the staged install failed"
  exit 1
fi
link="$work/dest/usr/libexec/xscreensaver/moonglow"
[ -x "$link" ] || { echo "FAIL: $link is not installed"; exit 1; }
chmod -R a+rX "$work/dest"

# A display of our own: -displayfd names a free one.
Xvfb -displayfd 3 -ac -noreset -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
xvfb=$!
i=0
while [ ! -s "$work/display" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# Lit pixels on the whole screen, saved as $1.
lit_pixels() {
  import -window root "$1" 2>/dev/null || { echo 0; return; }
  convert "$1" -colorspace Gray -threshold 10% -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# Waits up to 30 s for fireworks on the screen; the last screenshot is $1.
wait_for_show() {
  end=$(($(x_now) + 30))
  while :; do
    lit=$(lit_pixels "$1")
    [ "${lit:-0}" -gt 500 ] && return 0
    [ "$(x_now)" -lt "$end" ] || return 1
    sleep 0.5
  done
}

# ---- xscreensaver

home="$work/home"
config="$work/config"
mkdir -p "$home" "$config"
cat >"$home/.xscreensaver" <<EOF
mode: one
selected: 0
timeout: 0:30:00
lock: False
splash: False
fade: False
unfade: False
programs: "Moonglow" $link --root \\n
EOF
chown -R 65534:65534 "$home" "$config"
as_nobody() {
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    env HOME="$home" DISPLAY="$DISPLAY" MOONGLOW_CONFIG_DIR="$config" "$@"
}
log="$work/xscreensaver.log"
as_nobody xscreensaver -no-splash -verbose >"$log" 2>&1 &
daemon=$!
i=0
until as_nobody xscreensaver-command -version >/dev/null 2>&1; do
  [ $i -ge 300 ] && break
  sleep 0.1
  i=$((i + 1))
done

# The pid the daemon's log gives the latest saver it started, waiting for a
# start after $1 of them.
saver_pid() {
  i=0
  while [ $i -lt 300 ]; do
    n=$(grep -c "forked \"$link --root\"" "$log")
    if [ "$n" -gt "$1" ]; then
      grep "forked \"$link --root\"" "$log" | tail -n 1 | sed 's/.* in pid \([0-9]*\).*/\1/'
      return 0
    fi
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

as_nobody xscreensaver-command -activate >/dev/null 2>&1
if ! first=$(saver_pid 0); then
  fail "xscreensaver did not start the saver"
  cat "$log"
else
  wait_for_show "$shots/xscreensaver.png" || fail "no fireworks on the screen under xscreensaver"

  # Cycling stops the saver by SIGTERM while the daemon stays to reap it, so
  # its log tells the exit status; then a new copy starts.
  as_nobody xscreensaver-command -cycle >/dev/null 2>&1
  second=$(saver_pid 1) || fail "xscreensaver did not start the saver again"
  wait_gone "$first" 20 || fail "the cycled saver did not end within 2 s"
  i=0
  until grep -q "child pid $first .* status 0" "$log"; do
    [ $i -ge 300 ] && break
    sleep 0.1
    i=$((i + 1))
  done
  grep -q "child pid $first .* status 0" "$log" || fail "the cycled saver's exit status 0 is not in the log"
  if [ -n "${second:-}" ]; then
    wait_for_show "$shots/xscreensaver-cycled.png" || fail "no fireworks after cycling"
    as_nobody xscreensaver-command -deactivate >/dev/null 2>&1
    wait_gone "$second" 20 || fail "the saver did not end within 2 s of -deactivate"
  fi
fi
sleep 0.5
if grep -E -i "crash|abnormally with status [^0]|signal|terminated with" "$log" | grep -q moonglow; then
  fail "the daemon reports a failed saver:"
  grep -E -i "crash|status|signal" "$log" | grep moonglow
fi
check_settings "$config/ZELMoonGlow3xx.ini" "xscreensaver"
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
daemon=""

# ---- xsecurelock's multiplexer

multiplex=/usr/libexec/xsecurelock/saver_multiplex
if [ ! -x "$multiplex" ]; then
  echo "$multiplex not found: the xsecurelock route is skipped"
else
  config2="$work/config2"
  mkdir -p "$config2"
  chown 65534:65534 "$config2"
  # The window xsecurelock gives the multiplexer; it makes one per monitor
  # inside it and starts the saver in each with -root and a decimal id.
  root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    env HOME="$home" XSCREENSAVER_WINDOW="$(printf '%d' "$root")" XSECURELOCK_SAVER="$link" \
    MOONGLOW_CONFIG_DIR="$config2" "$multiplex" >"$work/multiplex.log" 2>&1 &
  mux=$!
  if wait_for_show "$shots/xsecurelock.png"; then
    savers=$(ps -eo pid=,args= | awk -v link="$link" '$2 == link && $3 == "-root" { print $1 }')
    [ -n "$savers" ] || fail "no saver running as '$link -root' under the multiplexer"
    kill -TERM "$mux"
    for pid in $savers; do
      wait_gone "$pid" 20 || fail "the saver did not end within 2 s of SIGTERM to the multiplexer"
    done
    check_settings "$config2/ZELMoonGlow3xx.ini" "xsecurelock"
  else
    fail "no fireworks on the screen under saver_multiplex"
    cat "$work/multiplex.log"
  fi
  wait "$mux" 2>/dev/null
  mux=""
fi

if [ $failures -ne 0 ]; then
  echo "--- xscreensaver log"
  cat "$log"
  echo "$failures failure(s)"
  exit 1
fi
echo "saver hosts: all checks passed"

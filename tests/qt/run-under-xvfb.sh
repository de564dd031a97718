#!/bin/sh
# Runs a test program on a private virtual X server; exits 77 (skipped) only
# when there is no xvfb-run to provide one.
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run not found: skipped"; exit 77; }
# -noreset: by default the server resets when its last client leaves, and a
# program started during that reset finds no display.
exec xvfb-run -a -s "-noreset -screen 0 1024x768x24" "$@"

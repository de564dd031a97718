#!/bin/sh
# Runs a test program on a private virtual X server; exits 77 (skipped) only
# when there is no xvfb-run to provide one.
. "$(dirname "$0")/../x-preamble.sh"
skip_without xvfb-run
on_xvfb_run "" "$@"

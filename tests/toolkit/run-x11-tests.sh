#!/usr/bin/env bash
# Runs the toolkit's X11 tests against a private Xvfb server (usage: run-x11-tests.sh [build-dir]).
set -euo pipefail
build="${1:-build}"
exe="$build/bin/test_toolkit"
[ -x "$exe" ] || { echo "run-x11-tests: $exe not built" >&2; exit 2; }
for n in $(seq 99 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export DISPLAY=":$n"
for _ in $(seq 400); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.05
done
xdpyinfo >/dev/null 2>&1 || { echo "run-x11-tests: Xvfb did not start" >&2; exit 2; }
# Every test runs: the headless ones and, now that a server is there, the X11 ones too.
"$exe" --gtest_brief=1 "${@:2}"

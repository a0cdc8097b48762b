#!/bin/sh
# Runs one Windows program of a cross build under Wine, for ctest and GoogleTest's test discovery:
#
#     wine-run.sh <wine loader> <wineserver> <prefix> <program> [arguments...]
#
# The prefix is created by the first run. The Wine server is kept up for 30 seconds after its last program
# exits, so that each test does not pay for a new server and a new set of Wine's system services, and it
# ends by itself afterwards. Those services are started here with no output of the caller attached: ctest
# reads a test's output until every holder of the pipe has gone, and the services outlive the test.
set -eu

wine=$1
server=$2
WINEPREFIX=$3
shift 3
export WINEPREFIX
export WINEDEBUG=-all
# No offer to install Mono or Gecko into a new prefix; no windows on a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    # Exits at once with a failure when a server already runs for this prefix.
    # The server and the services outlive this script: they get neither the lock nor the caller's output.
    if "$server" -p30 </dev/null >/dev/null 2>&1 9>&-; then
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

exec "$wine" "$@"

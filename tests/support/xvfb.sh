#!/usr/bin/env bash
# Runs a command under an X server of its own, gone when the command ends:
#   tests/support/xvfb.sh COMMAND [ARGS...]
# Xvfb takes the first display number whose lock it wins (-displayfd) and
# says which once it accepts clients, so two runs at once never share a
# server, as they may with a number picked beforehand by looking for a
# free one. -noreset: the server stays as it is while no client is
# connected, between one test and the next.
set -euo pipefail
[ $# -gt 0 ] || {
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
}

log=$(mktemp)
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>"$log"; }
server=$XVFB_PID
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -f "$log"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

display=""
read -r -t 60 -u "${XVFB[0]}" display || true
if ! [[ $display =~ ^[0-9]+$ ]]; then
  echo "$0: Xvfb did not start" >&2
  cat "$log" >&2
  exit 1
fi
export DISPLAY=:$display
unset XAUTHORITY

rc=0
"$@" || rc=$?
exit $rc

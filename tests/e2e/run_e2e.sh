#!/bin/bash
# Whole-program test: runs the built program in its own X server and D-Bus session and
# drives it through the accessibility bus (see e2e.py).
#
# Usage: run_e2e.sh PROGRAM DEMO_DIR [--measure]
# Screenshots go to $E2E_OUT (default: ./e2e-shots). $E2E_SCRIPT names the scenario in this
# folder (default: e2e.py, the demo project played). Exits 0 when every check passed.
set -u

APP=$(readlink -f "${1:?usage: run_e2e.sh PROGRAM DEMO_DIR [--measure]}")
DEMO=$(readlink -f "${2:?usage: run_e2e.sh PROGRAM DEMO_DIR [--measure]}")
shift 2
HERE=$(cd "$(dirname "$0")" && pwd)
SCRIPT=${E2E_SCRIPT:-e2e.py}
OUT=${E2E_OUT:-$(pwd)/e2e-shots}

for tool in Xvfb xdotool import convert dbus-run-session /usr/bin/python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing tool: $tool"
        echo "0 passed, 1 failed"
        exit 1
    fi
done
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "missing Python module pyatspi (Debian package python3-pyatspi)"
    echo "0 passed, 1 failed"
    exit 1
fi

TMP=$(mktemp -d)
XVFB_PID=
cleanup() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    rm -rf "$TMP"
}
trap cleanup EXIT

mkdir -p "$TMP/Notes/Minuet" "$OUT"
rm -f "$OUT"/[0-9][0-9]-*.png
# The demo project, where the folder given holds it (a scenario may bring its own files).
if [ -e "$DEMO/Minuet.nts" ]; then
    cp "$DEMO"/Minuet.nts "$DEMO"/Minuet.ntf "$DEMO"/Minuet.mp3 "$DEMO"/Minuet_*.jpg "$TMP/Notes/Minuet/"
fi

# Xvfb picks a free display itself and writes its number to the file; the display is used
# once a client can connect to it (started again if the server died on the way).
start_xvfb() {
    rm -f "$TMP/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$TMP/display" >"$TMP/xvfb.log" 2>&1 &
    XVFB_PID=$!
    DISP=
    for _ in $(seq 150); do
        DISP=$(head -n1 "$TMP/display" 2>/dev/null)
        [ -n "$DISP" ] && break
        sleep 0.1
    done
    [ -n "$DISP" ] || return 1
    for _ in $(seq 50); do
        DISPLAY=":$DISP" xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        kill -0 "$XVFB_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
started=
for _ in 1 2 3; do
    if start_xvfb; then
        started=1
        break
    fi
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
done
if [ -z "$started" ]; then
    cat "$TMP/xvfb.log"
    echo "0 passed, 1 failed"
    exit 1
fi

export DISPLAY=":$DISP"
export XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS

# e2e.py starts the program itself (inside this D-Bus session) to know its exit status.
dbus-run-session -- /usr/bin/python3 "$HERE/$SCRIPT" "$APP" "$TMP/Notes" "$DEMO" "$OUT" "$@" \
    2> >(grep -v -e 'Failed to set fd limit' -e 'XDG_RUNTIME_DIR' >&2)
rc=$?
if [ "$rc" -ne 0 ]; then
    if kill -0 "$XVFB_PID" 2>/dev/null; then echo "Xvfb :$DISP still running"; else echo "Xvfb :$DISP has ended"; fi
    cat "$TMP/xvfb.log"
fi
echo "screenshots: $OUT"
exit $rc

#!/bin/bash
# Whole-program test of "Align to Recording": runs the built program in its own X server and
# D-Bus session on a project made at test time by even spreading, and drives it through the
# accessibility bus (see align_e2e.py).
#
# Usage: run_align_e2e.sh PROGRAM PIECES_DIR
# PIECES_DIR holds rubato.opus and rubato.csv (tests/analysis/data). Screenshots go to
# $E2E_OUT (default: ./e2e-align-shots). Exits 0 when every check passed.
set -u

APP=$(readlink -f "${1:?usage: run_align_e2e.sh PROGRAM PIECES_DIR}")
PIECES=$(readlink -f "${2:?usage: run_align_e2e.sh PROGRAM PIECES_DIR}")
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=${E2E_OUT:-$(pwd)/e2e-align-shots}

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

mkdir -p "$TMP/Notes" "$OUT"
rm -f "$OUT"/[0-9][0-9]-*.png

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

# align_e2e.py makes the project and starts the program itself (inside this D-Bus session).
dbus-run-session -- /usr/bin/python3 "$HERE/align_e2e.py" "$APP" "$TMP/Notes" "$PIECES" "$OUT" \
    2> >(grep -v -e 'Failed to set fd limit' -e 'XDG_RUNTIME_DIR' >&2)
rc=$?
echo "screenshots: $OUT"
exit $rc

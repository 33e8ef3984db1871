#!/usr/bin/env bash
# Runs a command with Wine ready: a virtual X display of its own and the project's Wine prefix
# under build/, created on first use. Both are shut down when the command ends.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="$here/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Xvfb picks a free display itself and tells it through a pipe.
display_file="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
stop() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -f "$display_file"
}
trap stop EXIT
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
done
[ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX (once)..."
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    # A crashing test program must fail its test, not wait for someone to close a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
fi

"$@"

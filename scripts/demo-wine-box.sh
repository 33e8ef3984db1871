#!/usr/bin/env bash
# Runs veldra-install.exe from folder $1 in a small Wine desktop, saves a picture of its box as
# $2 and presses OK. Needs the display and prefix that scripts/with-wine.sh sets up.
set -euo pipefail
folder="$(cd "$1" && pwd)"
picture="$(realpath -m "$2")"
mkdir -p "$(dirname "$picture")"
cd "$folder"
width=400 height=180
timeout 60 wine explorer "/desktop=VELDRA,${width}x${height}" "$(winepath -w "$folder/veldra-install.exe")" &
pid=$!
desktop=
for _ in $(seq 100); do
    desktop=$(xdotool search --name '^VELDRA - Wine desktop$' 2>/dev/null | head -n1) && [ -n "$desktop" ] && break
    sleep 0.1
done
sleep 3  # the box draws itself
import -window "$desktop" "$picture"
# The box sits in the middle of the desktop with its OK button just below the centre.
xdotool mousemove --window "$desktop" $((width / 2)) $((height * 6 / 10)) click 1
wait "$pid" || true

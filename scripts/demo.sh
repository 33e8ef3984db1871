#!/usr/bin/env bash
# Shows the installer at work on a sample directory: the tree before, what it said, the tree after.
set -euo pipefail
cd "$(dirname "$0")/.."

show_tree() { (cd "$1" && find . -mindepth 1 | sort | sed 's|^\./|  |'); }

sample() {
    rm -rf "$1" && mkdir -p "$1"
    printf '/* a */\n' >"$1/a.h"
    printf '/* b */\n' >"$1/b.h"
    printf 'x' >"$1/x.lib"
}

rm -rf build/demo
demo=build/demo/native
sample "$demo"
echo "== The portable build, in $demo"
echo "Before:"
show_tree "$demo"
echo "The installer says:"
status=0
(cd "$demo" && ../../native/veldra-install) || status=$?
echo "After (exit code $status):"
show_tree "$demo"

exe=build/win32/veldra-install.exe
if [ ! -f "$exe" ] || ! command -v wine >/dev/null; then
    echo "(No Windows program or no Wine here: skipping the Windows demo.)"
    exit 0
fi
windows_demo=build/demo/win32
sample "$windows_demo"
cp "$exe" "$windows_demo/"
echo
echo "== The Windows program under Wine, in $windows_demo"
echo "Before:"
show_tree "$windows_demo"
scripts/with-wine.sh scripts/demo-wine-box.sh "$windows_demo" build/demo/notice.png
echo "After:"
show_tree "$windows_demo"
echo "The box it showed: build/demo/notice.png"

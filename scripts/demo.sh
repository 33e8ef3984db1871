#!/usr/bin/env bash
# Shows the installer at work on a sample directory: the tree before, what it said, the tree after.
set -euo pipefail
cd "$(dirname "$0")/.."

show_tree() { (cd "$1" && find . -mindepth 1 | sort | sed 's|^\./|  |'); }

demo=build/demo/native
rm -rf "$demo" && mkdir -p "$demo"
printf '/* a */\n' >"$demo/a.h"
printf '/* b */\n' >"$demo/b.h"
printf 'x' >"$demo/x.lib"

echo "Before, in $demo:"
show_tree "$demo"
echo "The installer says:"
status=0
(cd "$demo" && ../../native/veldra-install) || status=$?
echo "After (exit code $status):"
show_tree "$demo"

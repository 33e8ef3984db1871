#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, quietly. The display comes from
# the caller (scripts/with-wine.sh starts one).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

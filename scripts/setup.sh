#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing. Debian packages, through apt-get
# when running as root; otherwise prints the command to run.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
package_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
have python3 || need+=(python3)
have clang++ || need+=(clang)
# libFuzzer and the sanitizers' runtimes for clang.
compgen -G "$(clang++ -print-resource-dir 2>/dev/null)/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null ||
    need+=(libclang-rt-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
# The Windows program and its tests under Wine.
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have wine || need+=(wine)
package_installed wine32:i386 || need+=(wine32:i386)
have Xvfb || need+=(xvfb)
have xdotool || need+=(xdotool)
have import || need+=(imagemagick)
# The benchmark's peers and its memory meter, with `setup.sh bench`.
if [ "${1:-}" = bench ]; then
    have rsync || need+=(rsync)
    [ -x /usr/bin/time ] || need+=(time)
fi

[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install -y ${need[*]}" >&2
    exit 1
fi
echo "Installing: ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq "${need[@]}" >/dev/null

#!/usr/bin/env bash
# Installs the Debian packages that building and testing vexlor needs,
# skipping those already present.  Needs root (or sudo).
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
  zip
  # libFuzzer and the coverage tools, for the fuzz presets
  libclang-rt-14-dev llvm-14
)
# Extra package sets: "windows" for the cross build and the Wine tests.
for extra in "$@"; do
  case "$extra" in
    windows) packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xdotool) ;;
    *) echo "install-deps: unknown package set '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

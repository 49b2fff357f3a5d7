#!/usr/bin/env bash
# Installs the Debian packages a lane needs, when they are missing.
#   scripts/deps.sh host      build, test, benchmark and run the demo on this machine
#   scripts/deps.sh target    cross-build for 32-bit PowerPC (the libraries it links included, from
#                             Debian's source packages) and run under qemu
#   scripts/deps.sh clang     Clang, its sanitizer and fuzzer runtimes
set -euo pipefail

packages=()
for lane in "${@:-host}"; do
  case "$lane" in
    host) packages+=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
                     libbenchmark-dev libboost-locale-dev libssl-dev libsqlite3-dev gettext
                     doxygen clang-format git libcli11-dev nlohmann-json3-dev
                     help2man locales libglib2.0-dev python3-dev pybind11-dev python3-pybind11
                     python3-pytest mosquitto mosquitto-clients libmosquitto-dev openssl) ;;
    target) packages+=(g++-powerpc-linux-gnu qemu-user googletest cmake ninja-build gettext file
                       g++ dpkg-dev perl make bison tcl) ;;
    clang) packages+=(clang-14 libclang-rt-14-dev) ;;
    *) echo "deps.sh: unknown lane '$lane'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

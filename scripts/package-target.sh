#!/usr/bin/env bash
# Packs the device build (32-bit big-endian PowerPC Linux) for device projects: installs it into a
# staging root and packs that as libnyr++-VERSION-powerpc-linux-gnu.tar.gz, with
#
#   lib/                     libnyr++ and libnyr, and the cross-built libraries they load at run
#                            time (libcrypto, Boost.Locale, SQLite, and libmosquitto for
#                            nyr-bridge), under their sonames
#   bin/nyr-bridge           when BUILD_DIR/bridge holds its device build (scripts/test-target.sh
#                            makes it), with its run path $ORIGIN/../lib
#   include/                 the public headers
#   lib/pkgconfig/           nyr++.pc and nyr.pc
#   lib/cmake/toolkit/       the CMake package: find_package(toolkit)
#   share/licenses/NAME/     the licence of each library that came with it
#
#   scripts/package-target.sh [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR is a built target build (default build-target, as scripts/test-target.sh makes it); the
# dependencies are taken from the prefix it was configured with (TOOLKIT_TARGET_PREFIX). The
# tarball goes to OUT_DIR (default BUILD_DIR); the last line printed is its path. Everything the
# libraries need that is neither in the package nor in the cross toolchain's runtime (the C and C++
# libraries, libgcc_s, libatomic) fails the packing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

BUILD_DIR="$(cd "${1:-$TOOLKIT_ROOT/build-target}" && pwd)"
OUT_DIR="${2:-$BUILD_DIR}"
TRIPLE=powerpc-linux-gnu
TOOLCHAIN_RUNTIME=/usr/$TRIPLE/lib

cache_value() {  # cache_value NAME: the value of NAME in the build's CMakeCache.txt
    sed -n "s/^$1:[A-Z]*=//p" "$BUILD_DIR/CMakeCache.txt"
}
VERSION=$(cache_value CMAKE_PROJECT_VERSION)
DEPS=$(cache_value TOOLKIT_TARGET_PREFIX)
[ -n "$VERSION" ] || { echo "$BUILD_DIR is not a configured build" >&2; exit 1; }
if [ -z "$DEPS" ] || [ ! -d "$DEPS/lib" ]; then
    echo "$BUILD_DIR was not configured with a TOOLKIT_TARGET_PREFIX" >&2
    exit 1
fi

# nyr-bridge's build beside the suite's, and the prefix of its own dependencies.
BRIDGE_BUILD="$BUILD_DIR/bridge"
BRIDGE_DEPS=""
if [ -f "$BRIDGE_BUILD/tools/nyr-bridge/nyr-bridge" ]; then
    BRIDGE_DEPS=$(sed -n 's/^TOOLKIT_TARGET_PREFIX:[A-Z]*=.*;//p' "$BRIDGE_BUILD/CMakeCache.txt")
fi

NAME="libnyr++-$VERSION-$TRIPLE"
STAGING="$BUILD_DIR/package"
ROOT="$STAGING/$NAME"
rm -rf "$STAGING"
mkdir -p "$STAGING" "$OUT_DIR"
# Brought up to date first: installing alone would pack whatever was built last.
cmake --build "$BUILD_DIR" --target nyr toolkit >/dev/null
cmake --install "$BUILD_DIR" --prefix "$ROOT" --strip >/dev/null
if [ -n "$BRIDGE_DEPS" ]; then
    cmake --build "$BRIDGE_BUILD" --target nyr_bridge >/dev/null
    mkdir -p "$ROOT/bin"
    cmake --install "$BRIDGE_BUILD/tools/nyr-bridge" --prefix "$STAGING/bridge" --strip >/dev/null
    cp "$STAGING/bridge/bin/nyr-bridge" "$ROOT/bin/"
    rm -rf "$STAGING/bridge"
fi

# The licence folder (under share/licenses/ of the prefix) of a library of the prefix. A library
# that is not known here cannot go into the package.
licence_of() {
    case "$1" in
    libcrypto.*) echo openssl ;;
    libboost_*) echo boost ;;
    libsqlite3.*) echo sqlite3 ;;
    libmosquitto.*) echo mosquitto ;;
    *) return 1 ;;
    esac
}

prefix_of() {  # prefix_of SONAME: the dependency prefix that holds SONAME
    local d
    for d in "$DEPS" $BRIDGE_DEPS; do
        [ -e "$d/lib/$1" ] && { echo "$d"; return 0; }
    done
    return 1
}

needed() {  # needed FILE: the sonames FILE asks for
    $TRIPLE-readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}

# Every library in the package, ours first, then each dependency as it is found: what one of them
# asks for comes from the prefix (copied in under its soname, with its licence), or is ours, or is
# the toolchain's runtime.
status=0
queue=("$ROOT"/lib/libnyr.so.*.*.* "$ROOT"/lib/libnyr++.so.*.*.*)
[ -n "$BRIDGE_DEPS" ] && queue+=("$ROOT/bin/nyr-bridge")
declare -A seen
for ((i = 0; i < ${#queue[@]}; i++)); do
    lib="${queue[$i]}"
    file -L "$lib" | grep -q "32-bit MSB.*PowerPC" ||
        { echo "$lib is not a 32-bit big-endian PowerPC library" >&2; status=1; }
    # A run path would point into this machine; under qemu it could even be found there. The
    # program's own points into the package.
    runpath=$($TRIPLE-readelf -d "$lib" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
    allowed=""
    # shellcheck disable=SC2016  # $ORIGIN is the loader's, not the shell's
    [ "$lib" = "$ROOT/bin/nyr-bridge" ] && allowed='$ORIGIN/../lib'
    if [ -n "$runpath" ] && [ "$runpath" != "$allowed" ]; then
        echo "${lib#"$ROOT"/} carries a run path" >&2
        status=1
    fi
    for soname in $(needed "$lib"); do
        [ -z "${seen[$soname]:-}" ] || continue
        seen[$soname]=1
        if [ -e "$ROOT/lib/$soname" ]; then
            continue
        elif from=$(prefix_of "$soname"); then
            licence=$(licence_of "$soname") ||
                { echo "no licence known for $soname" >&2; status=1; continue; }
            cp -L "$from/lib/$soname" "$ROOT/lib/$soname"
            $TRIPLE-strip --strip-unneeded "$ROOT/lib/$soname"
            mkdir -p "$ROOT/share/licenses"
            cp -r "$from/share/licenses/$licence" "$ROOT/share/licenses/"
            queue+=("$ROOT/lib/$soname")
        elif [ ! -e "$TOOLCHAIN_RUNTIME/$soname" ]; then
            echo "${lib#"$ROOT"/} needs $soname, which is neither in $DEPS nor in the toolchain" >&2
            status=1
        fi
    done
done
[ $status -eq 0 ] || exit 1

TARBALL="$OUT_DIR/$NAME.tar.gz"
# The same build packs to the same bytes: fixed owners, order and times.
epoch="${SOURCE_DATE_EPOCH:-$(git -C "$TOOLKIT_ROOT" log -1 --format=%ct 2>/dev/null || date +%s)}"
tar -C "$STAGING" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" -cf - "$NAME" |
    gzip -n >"$TARBALL"
echo "packed: $(tar -tzf "$TARBALL" | grep -c '[^/]$') files, $(du -k "$TARBALL" | cut -f1) KiB"
echo "$TARBALL"

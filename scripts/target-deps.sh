#!/usr/bin/env bash
# Cross-builds for the device (32-bit big-endian PowerPC Linux, powerpc-linux-gnu) the libraries
# that the library and the host store link: OpenSSL's libcrypto, Boost.Locale (with the bit of
# Boost it links) and SQLite, from Debian's source packages; and GoogleTest for the test suite,
# from Debian's /usr/src/googletest. Everything goes into one prefix in a cache outside the clone,
# so later runs on the same machine reuse it.
#
#   scripts/target-deps.sh     build what the cache lacks; the last line printed is the prefix
#
# The cache is ${TOOLKIT_TARGET_CACHE:-~/.cache/libnyr-target}/KEY/, where KEY names the versions
# of the source packages, of the cross compiler and of GoogleTest, and a digest of the build steps:
# a Debian update or a change of recipe builds a new prefix beside the old ones.
#
# nyr-bridge's own dependencies live in a second prefix beside it, with a key of their own (the
# mosquitto source package, the compiler, a digest of its build step), so that they never cause a
# rebuild of the first: libmosquitto (the C library alone, without TLS: the device prefix has no
# libssl), and the header-only CLI11 and nlohmann-json of this machine's Debian packages. Its path
# is printed on the line before the last, after "bridge prefix: ".
#
# Only what the device needs is built: libcrypto without libssl, the openssl program or its tests;
# Boost.Locale without ICU (iconv and the C library's locales) and no other Boost library but the
# boost_system stub that Boost's build of it always makes; the SQLite library without its shell; no
# documentation. Each prefix holds the licence files of what it contains under share/licenses/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lanes-common.sh"

CACHE_ROOT="${TOOLKIT_TARGET_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/libnyr-target}"
TRIPLE=powerpc-linux-gnu
SRC_PACKAGES=(openssl boost1.74 sqlite3)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Adds a deb-src entry beside every deb entry of the machine's apt sources, in a file of our own,
# and refreshes the package lists when that file is new or changed. Running it again changes
# nothing. Sources that already carry deb-src, or are disabled, are left as they are.
ensure_deb_src() {
    local list_file=/etc/apt/sources.list.d/libnyr-deb-src.list
    local sources_file=/etc/apt/sources.list.d/libnyr-deb-src.sources
    local one_line deb822 f one_line_files=()
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && [ "$f" != "$list_file" ] && one_line_files+=("$f")
    done
    one_line=""
    if [ ${#one_line_files[@]} -gt 0 ]; then
        # Each deb line again as deb-src, unless that deb-src line is already there.
        one_line=$(comm -23 \
            <(sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' "${one_line_files[@]}" | sort -u) \
            <(grep -h "^deb-src[[:space:]]" "${one_line_files[@]}" | sort -u))
    fi
    deb822=""
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$sources_file" ] || continue
        deb822+=$(awk 'BEGIN { RS = ""; FS = "\n" }
            {
                enabled = 1; deb = 0; src = 0
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^Enabled:[ \t]*no/) enabled = 0
                    if ($i ~ /^Types:/) {
                        if ($i ~ /[ \t]deb([ \t]|$)/) deb = 1
                        if ($i ~ /deb-src/) src = 1
                    }
                }
                if (!enabled || !deb || src) next
                for (i = 1; i <= NF; i++) print ($i ~ /^Types:/ ? "Types: deb-src" : $i)
                print ""
            }' "$f")$'\n'
    done
    local changed=0
    write_if_changed() {
        local file="$1" content="$2"
        if [ -z "${content//[[:space:]]/}" ]; then
            [ -f "$file" ] && { as_root rm -f "$file"; changed=1; }
            return 0
        fi
        # Compared as $(...) gives both: without trailing newlines.
        if [ ! -f "$file" ] || [ "$(cat "$file")" != "$(printf '%s' "$content")" ]; then
            printf '%s\n' "$content" | as_root tee "$file" >/dev/null
            changed=1
        fi
    }
    write_if_changed "$list_file" "$one_line"
    write_if_changed "$sources_file" "$deb822"
    # The source indexes must be there too, also when the file was written by an earlier run
    # whose package-list refresh failed.
    local have_index=0
    while read -r f; do
        [ -e "$f" ] && have_index=1
    done < <(apt-get indextargets --format '$(FILENAME)' 'Identifier: Sources' 2>/dev/null)
    if [ $changed -eq 1 ] || [ $have_index -eq 0 ]; then
        echo "deb-src entries added; refreshing the package lists"
        as_root apt-get update -q >/dev/null
    fi
}

# The versions of a source package that apt knows, newest first in Debian's version order.
source_versions() {
    local versions=() v sorted=() best i
    mapfile -t versions < <(apt-cache showsrc --only-source "$1" 2>/dev/null |
        awk '/^Version:/ { print $2 }' | sort -u)
    while [ ${#versions[@]} -gt 0 ]; do
        best=0
        for i in "${!versions[@]}"; do
            dpkg --compare-versions "${versions[$i]}" gt "${versions[$best]}" && best=$i
        done
        sorted+=("${versions[$best]}")
        versions=("${versions[@]:0:$best}" "${versions[@]:$((best + 1))}")
    done
    printf '%s\n' "${sorted[@]}"
}

# Downloads a source package into the cache's download folder (files already there are not
# fetched again) and sets VERSION[package]. An index can name a version whose files the archive
# no longer serves; then the next older one is taken.
declare -A VERSION
fetch_source() {
    local pkg="$1" v
    for v in $(source_versions "$pkg"); do
        if (cd "$DOWNLOADS" && apt-get source -q --download-only "$pkg=$v" \
            >>"$DOWNLOADS/apt-source.log" 2>&1); then
            VERSION[$pkg]=$v
            return 0
        fi
        echo "target dependencies: the source of $pkg $v cannot be fetched; trying an older one"
    done
    echo "target dependencies: no source of $pkg to be had (see $DOWNLOADS/apt-source.log)" >&2
    return 1
}

unpack_source() {  # unpack_source PACKAGE: the Debian source tree, patches applied, in $WORK
    dpkg-source -q -x "$DOWNLOADS/$1_${VERSION[$1]#*:}.dsc" "$WORK/$1" >/dev/null
}

cache_key() {
    local p key=""
    for p in "${SRC_PACKAGES[@]}"; do key+="$p-${VERSION[$p]}_"; done
    key+="gtest-$(dpkg-query -W -f '${Version}' googletest)_"
    key+="gcc-$($TRIPLE-gcc -dumpfullversion)_"
    # The recipe: the build steps as bash reads them, so comments and other parts of this script
    # can change without a rebuild.
    key+="$(declare -f build_openssl build_boost_locale build_sqlite build_googletest |
        sha256sum | cut -c1-10)"
    echo "${key//:/.}"
}

build_openssl() {
    local src
    src="$WORK/openssl"
    (
        cd "$src"
        ./Configure linux-ppc --cross-compile-prefix=$TRIPLE- --prefix="$PREFIX" --libdir=lib \
            --openssldir=/usr/lib/ssl shared no-tests
        make -s -j "$JOBS" build_generated
        make -s -j "$JOBS" libcrypto.so libcrypto.pc
        mkdir -p "$PREFIX/include/openssl" "$PREFIX/lib/pkgconfig" "$PREFIX/share/licenses/openssl"
        cp include/openssl/*.h "$PREFIX/include/openssl/"
        cp -P libcrypto.so libcrypto.so.3 "$PREFIX/lib/"
        cp libcrypto.pc "$PREFIX/lib/pkgconfig/"
        cp LICENSE.txt debian/copyright "$PREFIX/share/licenses/openssl/"
    )
}

build_boost_locale() {
    local src
    src="$WORK/boost1.74"
    (
        cd "$src"
        # Debian's source leaves out the build engine's generated parser.
        (cd tools/build && bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y)
        ./bootstrap.sh --with-toolset=gcc --with-libraries=locale || { cat bootstrap.log; return 1; }
        echo "using gcc : ppc : $TRIPLE-g++ ;" >"$WORK/user-config.jam"
        ./b2 -q -d1 -j "$JOBS" --user-config="$WORK/user-config.jam" --build-dir="$WORK/boost-build" \
            --prefix="$PREFIX" --with-locale toolset=gcc-ppc target-os=linux architecture=power \
            address-model=32 link=shared variant=release threading=multi runtime-link=shared \
            boost.locale.icu=off boost.locale.iconv=on boost.locale.posix=on boost.locale.std=on \
            install
        mkdir -p "$PREFIX/share/licenses/boost"
        cp LICENSE_1_0.txt debian/copyright "$PREFIX/share/licenses/boost/"
    )
}

build_sqlite() {
    local src
    src="$WORK/sqlite3"
    mkdir -p "$WORK/sqlite-build"
    (
        cd "$WORK/sqlite-build"
        "$src/configure" --host=$TRIPLE --prefix="$PREFIX" --enable-shared --disable-static \
            --disable-tcl --disable-readline --disable-editline --disable-load-extension \
            CFLAGS="-O2"
        make -s -j "$JOBS" CROSS_BUILDING=yes libsqlite3.la
        make -s CROSS_BUILDING=yes lib_install sqlite3.pc
        rm -f "$PREFIX"/lib/libsqlite3.la
        mkdir -p "$PREFIX/include" "$PREFIX/lib/pkgconfig" "$PREFIX/share/licenses/sqlite3"
        cp sqlite3.h "$src/src/sqlite3ext.h" "$PREFIX/include/"
        cp sqlite3.pc "$PREFIX/lib/pkgconfig/"
        cp "$src/LICENSE.md" "$src/debian/copyright" "$PREFIX/share/licenses/sqlite3/"
    )
}

build_googletest() {
    cmake -S /usr/src/googletest -B "$WORK/googletest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLKIT_ROOT/cmake/toolchain-powerpc.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_GMOCK=ON \
        -DINSTALL_GTEST=ON -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    ninja -C "$WORK/googletest-build" -j "$JOBS" install
    mkdir -p "$PREFIX/share/licenses/googletest"
    cp /usr/share/doc/googletest/copyright "$PREFIX/share/licenses/googletest/"
}

build_mosquitto() {
    local src
    src="$WORK/mosquitto"
    cmake -S "$src" -B "$WORK/mosquitto-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLKIT_ROOT/cmake/toolchain-powerpc.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$BRIDGE_PREFIX" \
        -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_CJSON=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF \
        -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF -DWITH_STATIC_LIBRARIES=OFF \
        -DWITH_SRV=OFF -DWITH_THREADING=ON -DDOCUMENTATION=OFF -DCMAKE_SKIP_RPATH=ON
    ninja -C "$WORK/mosquitto-build" -j "$JOBS" libmosquitto
    mkdir -p "$BRIDGE_PREFIX/include" "$BRIDGE_PREFIX/lib" "$BRIDGE_PREFIX/share/licenses/mosquitto"
    cp "$src/include/mosquitto.h" "$src/include/mqtt_protocol.h" "$BRIDGE_PREFIX/include/"
    cp -P "$WORK"/mosquitto-build/lib/libmosquitto.so* "$BRIDGE_PREFIX/lib/"
    cp "$src/LICENSE.txt" "$src/epl-v20" "$src/edl-v10" "$src/debian/copyright" \
        "$BRIDGE_PREFIX/share/licenses/mosquitto/"
    # Header-only, the same on every machine: this machine's copies, with their CMake packages.
    mkdir -p "$BRIDGE_PREFIX/share/cmake"
    cp -r /usr/include/CLI /usr/include/nlohmann "$BRIDGE_PREFIX/include/"
    cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$BRIDGE_PREFIX/share/cmake/"
}

# timed LABEL COMMAND...: runs one step with its output in a log of the work folder, says how
# long it took, and on failure shows the end of that log.
timed() {
    local label="$1" t0=$SECONDS log="$WORK/step-$((++STEP)).log"
    shift
    # In the background rather than in the if: bash ignores set -e inside a condition.
    "$@" >"$log" 2>&1 &
    if ! wait $!; then
        tail -40 "$log"
        echo "target dependencies: $label failed (log: $log)" >&2
        return 1
    fi
    echo "target dependencies: $label took $((SECONDS - t0)) s"
}
STEP=0

ensure_packages g++-$TRIPLE g++ dpkg-dev perl make bison tcl cmake ninja-build googletest file \
    libcli11-dev nlohmann-json3-dev
ensure_deb_src
DOWNLOADS="$CACHE_ROOT/downloads"
mkdir -p "$DOWNLOADS"
# One builder at a time per cache; a second run waits and then finds the prefix done.
exec 9>"$CACHE_ROOT/.lock"
flock 9
t_fetch=$SECONDS
: >"$DOWNLOADS/apt-source.log"
for p in "${SRC_PACKAGES[@]}"; do fetch_source "$p"; done
echo "target dependencies: source packages there after $((SECONDS - t_fetch)) s"
KEY=$(cache_key)
PREFIX="$CACHE_ROOT/$KEY"

# nyr-bridge's prefix, before the main one so that the main one's path stays the last line.
build_bridge_prefix() {
    fetch_source mosquitto
    local key
    key="mosquitto-${VERSION[mosquitto]}_cli11-$(dpkg-query -W -f '${Version}' libcli11-dev)"
    key+="_json-$(dpkg-query -W -f '${Version}' nlohmann-json3-dev)_gcc-$($TRIPLE-gcc -dumpfullversion)_"
    key+="$(declare -f build_mosquitto | sha256sum | cut -c1-10)"
    BRIDGE_PREFIX="$CACHE_ROOT/${key//:/.}"
    if [ ! -f "$BRIDGE_PREFIX/.complete" ]; then
        WORK="$BRIDGE_PREFIX.work"
        rm -rf "$WORK" "$BRIDGE_PREFIX"
        mkdir -p "$WORK" "$BRIDGE_PREFIX"
        timed "unpacking mosquitto" unpack_source mosquitto
        timed "libmosquitto (mosquitto ${VERSION[mosquitto]})" build_mosquitto
        file -L "$BRIDGE_PREFIX/lib/libmosquitto.so" | grep -q "32-bit MSB.*PowerPC" ||
            { echo "libmosquitto.so is not a 32-bit big-endian PowerPC library" >&2; exit 1; }
        touch "$BRIDGE_PREFIX/.complete"
        rm -rf "$WORK"
    fi
    echo "bridge prefix: $BRIDGE_PREFIX"
}

if [ -f "$PREFIX/.complete" ]; then
    echo "target dependencies: cached in $PREFIX"
    build_bridge_prefix
    echo "$PREFIX"
    exit 0
fi

echo "target dependencies: building into $PREFIX"
# A prefix without .complete is what an interrupted run left: start it again.
WORK="$CACHE_ROOT/$KEY.work"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK" "$PREFIX"
t_all=$SECONDS
unpack_all() { for p in "${SRC_PACKAGES[@]}"; do unpack_source "$p"; done; }
timed "unpacking the source packages" unpack_all
timed "libcrypto (OpenSSL ${VERSION[openssl]})" build_openssl
timed "Boost.Locale (boost ${VERSION[boost1.74]})" build_boost_locale
timed "SQLite (${VERSION[sqlite3]})" build_sqlite
timed "GoogleTest" build_googletest
# Every library in the prefix must be for the device.
for lib in "$PREFIX"/lib/*.so; do
    file -L "$lib" | grep -q "32-bit MSB.*PowerPC" ||
        { echo "$lib is not a 32-bit big-endian PowerPC library" >&2; exit 1; }
done
touch "$PREFIX/.complete"
rm -rf "$WORK"
echo "target dependencies: built in $((SECONDS - t_all)) s"
build_bridge_prefix
echo "$PREFIX"

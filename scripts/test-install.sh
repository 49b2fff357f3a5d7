#!/usr/bin/env bash
# Installs the library into a scratch prefix and builds an application outside the source tree
# against it, once with pkg-config and once with find_package.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch)/pkgconfig"
export LD_LIBRARY_PATH="$prefix/lib:$prefix/lib/$(gcc -print-multiarch)"
work=$(mktemp -d -p "$prefix")
cp tests/install/consumer.cpp "$work/"
(cd "$work" && g++ -std=c++17 consumer.cpp $(pkg-config --cflags --libs nyr++) -o consumer_pc && ./consumer_pc)
cmake -S tests/install -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer"
# The installed programs run from the prefix on their own (their run path finds the libraries),
# and their manual pages and the example user unit are installed with them.
if [ -x "$build/src/nyrd/nyrd" ]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/nyrd" --version
  env -u LD_LIBRARY_PATH "$prefix/bin/nyr" uuid pump-7
  for f in share/man/man1/nyrd.1 share/man/man1/nyr.1 lib/systemd/user/nyrd.service; do
    [ -s "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
  done
fi
# The Python module, where it was built: imported from the prefix's package folder by Debian's
# Python, its run path finding the installed libraries.
python_dir=$(sed -n 's/^TOOLKIT_PYTHON_DIR:STRING=//p' "$build/CMakeCache.txt")
if [ -n "$python_dir" ] && [ -e "$build/python/nyr/__init__.py" ]; then
  (cd "$work" && env -u LD_LIBRARY_PATH PYTHONPATH="$prefix/$python_dir" /usr/bin/python3 -c '
import nyr, nyr.testing
with nyr.open() as store:
    store.set("/installed", 1.5)
    assert store.get("/installed") == 1.5
print("python: nyr from", nyr.__file__)')
fi

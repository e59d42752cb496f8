#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, checks what landed there,
# then builds the external client (client.c) against that prefix both ways,
# through find_package(vorlix) and through pkg-config, and runs both builds.
# Needs a display (ctest runs under Xvfb).
# Usage: run.sh BUILD_DIR CMAKE C_COMPILER
set -euo pipefail
build=$1 cmake=$2 cc=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }
# Whether BINARY loads the library NAME (a soname) from the installed $lib.
loads_installed() {
    local path
    path=$(ldd "$1" | awk -v n="$2" '$1 == n { print $3 }')
    [ -n "$path" ] && [ "$(readlink -f "$path")" = "$(readlink -f "$lib/$2")" ]
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    fail "cmake --install"
}

# The layout: GNUInstallDirs decides lib/ or lib/<multiarch>/.
lib=$(find "$prefix" -name 'libvorlix.so.1.0.0' -printf '%h\n')
[ -n "$lib" ] || fail "libvorlix.so.1.0.0 not installed"
[ "$(readlink "$lib/libvorlix.so")" = libvorlix.so.1 ] || fail "libvorlix.so does not point to libvorlix.so.1"
[ "$(readlink "$lib/libvorlix.so.1")" = libvorlix.so.1.0.0 ] || fail "libvorlix.so.1 does not point to libvorlix.so.1.0.0"
readelf -d "$lib/libvorlix.so.1.0.0" | grep -q 'SONAME.*\[libvorlix\.so\.1\]' || fail "SONAME is not libvorlix.so.1"
[ -e "$lib/libtamsil.so" ] || fail "libtamsil.so not installed"
[ -f "$prefix/include/vorlix.h" ] || fail "vorlix.h not installed"
for f in vorlixConfig.cmake vorlixConfigVersion.cmake vorlixTargets.cmake; do
    [ -f "$lib/cmake/vorlix/$f" ] || fail "$f not installed"
done
[ -f "$lib/pkgconfig/vorlix.pc" ] || fail "vorlix.pc not installed"
[ -x "$prefix/bin/kelvora" ] || fail "kelvora not installed"
# The installed demo finds the installed libraries on its own.
loads_installed "$prefix/bin/kelvora" libvorlix.so.1 || fail "kelvora does not load the installed libvorlix"
loads_installed "$prefix/bin/kelvora" libtamsil.so.1 || fail "kelvora does not load the installed libtamsil"
echo "installed: $(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')"

# Through the CMake package.
"$cmake" -S "$here" -B "$work/with-cmake" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" || { cat "$work/configure.log" >&2; fail "find_package(vorlix)"; }
"$cmake" --build "$work/with-cmake" >"$work/build.log" || { cat "$work/build.log" >&2; fail "build with find_package"; }
loads_installed "$work/with-cmake/client" libvorlix.so.1 || fail "find_package client does not load the installed library"
"$work/with-cmake/client"

# Through pkg-config.
export PKG_CONFIG_PATH=$lib/pkgconfig
[ "$(pkg-config --modversion vorlix)" = 1.0.0 ] || fail "pkg-config version"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror -o "$work/client-pc" "$here/client.c" \
    $(pkg-config --cflags vorlix glut gl) $(pkg-config --libs vorlix glut gl)
LD_LIBRARY_PATH=$lib loads_installed "$work/client-pc" libvorlix.so.1 || fail "pkg-config client does not load the installed library"
LD_LIBRARY_PATH=$lib "$work/client-pc"
echo "ok: installed and built both ways"

#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds a tiny program
# against it twice, with CMake's find_package and with pkg-config, and runs
# both. Usage: check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=${1:?usage: $0 BUILD SOURCE}
source=${2:?usage: $0 BUILD SOURCE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
expected="abc 6F7100CC"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/axp"
test -x "$work/prefix/bin/qelt-patch"
test -x "$work/prefix/bin/qelt-patch-stub"

cmake -S "$source/tests/install" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
[ "$("$work/cmake-build/tiny_program" "$work")" = "$expected" ]

pc=$(find "$work/prefix" -name axp.pc)
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --static --cflags --libs axp)
test "$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --modversion axp)" = "1.0.0"
# shellcheck disable=SC2086
c++ -std=c++20 "$source/tests/install/tiny_program.cpp" -o "$work/tiny_pc" $flags
[ "$("$work/tiny_pc" "$work")" = "$expected" ]
echo "installed library builds and runs"

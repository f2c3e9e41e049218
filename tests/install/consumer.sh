#!/bin/sh
# usage: consumer.sh BUILD_DIR CONSUMER_SOURCE CXX SANITIZER_FLAGS
set -eu
build=$1 source=$2 cxx=$3 flags=$4
work="$build/install-test"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$source" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"
"$work/consumer/runtime_only"
if [ -f "$build/fwkit-gtk.pc" ]; then
  [ -x "$work/consumer/gtk_consumer" ] || { echo "consumer: fwkit::gtk was built but not found" >&2; exit 1; }
  "$work/consumer/gtk_consumer"
fi

# The pkg-config file describes the same libraries.
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
"$cxx" -std=c++20 $flags "$source/main.cc" -o "$work/consumer-pc" $(pkg-config --cflags --libs fwkit)
"$work/consumer-pc"
if [ -f "$build/fwkit-gtk.pc" ]; then
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 $flags "$source/gtk_consumer.cc" -o "$work/gtk-consumer-pc" $(pkg-config --cflags --libs fwkit-gtk fwkit)
  "$work/gtk-consumer-pc"
fi

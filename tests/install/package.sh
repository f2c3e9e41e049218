#!/bin/sh
# usage: package.sh BUILD_DIR CORPUS_DIR
# Builds the Debian package from this build into a scratch directory, checks
# what it carries and what it depends on, unpacks it with dpkg -x (nothing
# is installed into the system) and runs the unpacked programs.
set -eu
build=$1 corpus=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/fwkit-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
set -- "$work"/out/fwkit_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single fwkit_*.deb in $work/out"
deb=$1

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for f in usr/bin/library-snapshot usr/bin/plist-dump \
         usr/share/man/man1/library-snapshot.1 usr/share/man/man1/plist-dump.1 \
         usr/include/fwkit/platform/plist/value.h \
         usr/lib/libfwkit_platform_core.a usr/lib/libfwkit_text.a \
         usr/lib/cmake/fwkit/fwkitConfig.cmake usr/lib/cmake/fwkit/fwkitTargets.cmake \
         usr/lib/pkgconfig/fwkit.pc; do
  grep -qx "\./$f" "$work/contents" || fail "$f is missing"
done
for dir in extensions/text extensions/objects drawing; do
  grep -q "^\./usr/include/fwkit/$dir/[a-z_]*\.h\$" "$work/contents" || fail "no headers of $dir"
done

# Depends as dpkg-shlibdeps derives them from the programs' libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libexpat1 libicu liburiparser1; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done

dpkg -x "$deb" "$work/root"
expected="library-snapshot $(dpkg-deb -f "$deb" Version)"
got=$("$work/root/usr/bin/library-snapshot" --version)
[ "$got" = "$expected" ] || fail "library-snapshot --version said '$got', not '$expected'"

# The unpacked plist-dump reads a real preference file as the built one does.
input="$corpus/ladislas-dotfiles/Library/Preferences/com.apple.symbolichotkeys.plist"
[ -f "$input" ] || input=$(find "$corpus" -name '*.plist' | sort | head -n 1)
"$work/root/usr/bin/plist-dump" --json "$input" >"$work/unpacked.json" || fail "plist-dump failed on $input"
"$build/bin/plist-dump" --json "$input" >"$work/built.json"
cmp -s "$work/unpacked.json" "$work/built.json" || fail "the unpacked plist-dump prints something else"
[ -s "$work/unpacked.json" ] || fail "plist-dump printed nothing"
echo "package: $(basename "$deb") checked"

#!/bin/sh
# Installs a build into a staging directory and checks that a host finds everything there: the
# pkg-config file, the header and library it names (a one-line program compiles, links and runs),
# the CLI and the profiles. usage: check.sh BUILDDIR WORKDIR
set -eu
build=$1 work=$2
prefix=/opt/brivane
stage=$work/stage
root=$stage$prefix
rm -rf "$work"
mkdir -p "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# What `make install` does once built, with a staging DESTDIR and another prefix.
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
pc=$(find "$root" -name brivane.pc)
[ -n "$pc" ] || fail "no brivane.pc under $root"

# The file names the prefix it was installed for; the staged copy is read relative to where it lies.
grep -qx "prefix=$prefix" "$pc" || fail "brivane.pc does not name the prefix $prefix"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --define-prefix --cflags --libs brivane) || fail "pkg-config failed"
case $flags in
  *"-I$root/include"*"-L$root/"*"-lbrivane"*) ;;
  *) fail "pkg-config gave '$flags'" ;;
esac

printf '#include <brivane.h>\nint main(void) { return AudioInSetVolume(0, 0) == 0 && InitBrivane() == 1 ? (UnInitBrivane(), 0) : 1; }\n' >"$work/host.c"
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Werror -o "$work/host" "$work/host.c" $flags || fail "a host does not compile and link with '$flags'"
LD_LIBRARY_PATH=$(dirname "$(find "$root" -name libbrivane.so)") "$work/host" || fail "the host linked against the installed library failed"

"$root/bin/brivane" version >"$work/version.log" 2>&1 || fail "the installed CLI does not run: $(cat "$work/version.log")"
[ -f "$root/share/brivane/profiles/speech.prx" ] || fail "no speech profile under share/brivane/profiles"
echo "ok: installed to $root"

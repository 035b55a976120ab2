#!/usr/bin/env bash
# The Windows release as build-dist/brivane-VERSION-windows.zip: both DLLs, an import library (.lib)
# for each architecture made from the .def, the header, the .def and the bundled profiles. Before
# packing, programs for both architectures that reference every export are linked against the .lib
# files, and their import tables must name exactly the 22 bare exports of Brivane.dll.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Brivane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=brivane-$version-windows
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
package=$scratch/$name
mkdir -p "$package/x86" "$package/x64" "$package/include" "$package/profiles" build-dist

# Configured as scripts/build.sh does, but only the DLL is built.
build_dll() {
  local dir=$1 toolchain=$2
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" >/dev/null
  cmake --build "$dir" --target brivane
}
build_dll build-win32 toolchain-i686-w64-mingw32.cmake
build_dll build-win64 toolchain-x86_64-w64-mingw32.cmake

cp build-win32/Brivane.dll "$package/x86/"
cp build-win64/Brivane.dll "$package/x64/"
# i686 callers reference the decorated __stdcall names (_Name@bytes) that the build derives from
# brivane.h; --kill-at makes each of them import the bare name the DLL exports.
i686-w64-mingw32-dlltool --kill-at --def build-win32/Brivane-stdcall.def --dllname Brivane.dll \
  --output-lib "$package/x86/Brivane.lib"
x86_64-w64-mingw32-dlltool --def src/api/Brivane.def --dllname Brivane.dll --output-lib "$package/x64/Brivane.lib"
cp include/brivane.h "$package/include/"
cp src/api/Brivane.def "$package/"
cp profiles/*.prx "$package/profiles/"

# A host that takes the address of every export, so each must resolve through the import library.
exports=$(awk '$2 ~ /^@[0-9]+$/ { print $1 }' src/api/Brivane.def)
{
  echo '#include "brivane.h"'
  echo 'int main(void) {'
  echo '    void (*volatile exports[])(void) = {'
  for export in $exports; do echo "        (void (*)(void))$export,"; done
  echo '    };'
  echo '    return exports[0] == 0;'
  echo '}'
} >"$scratch/host.c"
check_library() {
  local arch=$1 prefix=$2 imported
  "$prefix-gcc" -Wall -Wextra -Werror -Iinclude -o "$scratch/host-$arch.exe" "$scratch/host.c" "$package/$arch/Brivane.lib"
  imported=$("$prefix-objdump" -p "$scratch/host-$arch.exe" | awk '
    /DLL Name:/ { inside = ($3 == "Brivane.dll"); next }
    inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print $3 }
    inside && NF == 0 { inside = 0 }' | sort)
  if [ "$imported" != "$(echo "$exports" | sort)" ]; then
    echo "FAIL: a host linked with $arch/Brivane.lib imports from Brivane.dll:" $imported >&2
    exit 1
  fi
  echo "ok: $arch/Brivane.lib resolves the 22 exports to the bare names of Brivane.dll"
}
check_library x86 i686-w64-mingw32
check_library x64 x86_64-w64-mingw32

rm -f "build-dist/$name.zip"
(cd "$scratch" && zip -qrX "$OLDPWD/build-dist/$name.zip" "$name")
echo "wrote build-dist/$name.zip"
unzip -l "build-dist/$name.zip" | tail -n +4 | head -n -2 | awk '{ print "  " $4 }'

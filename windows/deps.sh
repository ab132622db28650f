#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The libraries the Windows build links, made here from Debian's own sources:
#   windows/deps.sh [OUT]        (default: build-win/deps)
# Fetches the source packages allegro4.4 and freetype and checks them
# (tools/debian_sources.bash), and builds both as static libraries with
# mingw-w64 into OUT/prefix.
# A second run finds OUT/prefix/.done and does nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "${1:-build-win/deps}" && cd "${1:-build-win/deps}" && pwd)
prefix=$out/prefix
# What the prefix holds; a change here builds it again.
recipe="allegro4.4 and freetype of bookworm; Allegro reads the plain input devices and reports each mouse button event"
[ "$(cat "$prefix/.done" 2>/dev/null)" = "$recipe" ] && exit 0
jobs=${JOBS:-2}
toolchain=$here/toolchain-mingw64.cmake

source "$here/../tools/debian_sources.bash"
fetch_debian_sources "$out"

# The build's own folder is mapped out of what the compiler writes, so
# that the game built over these libraries is the same from any folder.
configure_and_install() {
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$out=deps" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
  cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
}

echo "deps.sh: building Allegro 4.4 for Windows"
allegro_src=$(unpacked "$allegro_tar" allegro-src)
# Allegro asks DirectInput for the keyboard and mouse it emulates from the
# window's messages (GUID_Sys*Em2); Wine has no such devices, and the game
# then gets no key and no click. The plain system devices read the same
# keys and buttons on Windows and under Wine.
sed -i 's/GUID_SysKeyboardEm2/GUID_SysKeyboard/' "$allegro_src/src/win/wkeybd.c"
sed -i 's/GUID_SysMouseEm2/GUID_SysMouse/' "$allegro_src/src/win/wmouse.c"
# A quick click's press and release, read in one batch, are told apart.
patch -s -p1 -d "$allegro_src" <"$here/allegro-mouse-each-button.patch"
configure_and_install "$allegro_src" "$out/allegro-build" \
  -DSHARED=OFF -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF \
  -DWANT_EXAMPLES=OFF -DWANT_TOOLS=OFF -DWANT_TESTS=OFF -DWANT_DOCS=OFF
echo "deps.sh: building FreeType for Windows"
configure_and_install "$(unpacked "$freetype_tar" freetype-src)" "$out/freetype-build" \
  -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
# Allegro's CMake writes no pkg-config file for Windows: this one says how
# a program links the static library and the DirectX and system libraries under it.
cat >"$prefix/lib/pkgconfig/allegro.pc" <<PC
prefix=$prefix
Name: allegro
Description: Allegro 4.4, static, for Windows
Version: 4.4.3
Cflags: -I\${prefix}/include -DALLEGRO_STATICLINK
Libs: -L\${prefix}/lib -lalleg -ldinput -lddraw -ldxguid -ldsound -lwinmm -lgdi32 -lole32
PC
echo "$recipe" >"$prefix/.done"

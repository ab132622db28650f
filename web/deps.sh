#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The libraries the web build links, made here from Debian's own sources:
#   web/deps.sh [OUT]        (default: build-web/deps)
# Fetches the source packages allegro4.4 and freetype and checks them
# (tools/debian_sources.bash), and builds both for WebAssembly with Debian's
# Emscripten as static libraries into OUT/prefix: Allegro with no system
# driver of its own (the page gives it the screen, keys, mouse and sound).
# A second run finds OUT/prefix/.done and does nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "${1:-build-web/deps}" && cd "${1:-build-web/deps}" && pwd)
prefix=$out/prefix
# What the prefix holds; a change here builds it again.
recipe="allegro4.4 and freetype of bookworm for Emscripten"
[ "$(cat "$prefix/.done" 2>/dev/null)" = "$recipe" ] && exit 0
jobs=${JOBS:-2}
# Debian's Emscripten finds its acorn among Debian's node modules.
export NODE_PATH=/usr/share/nodejs

source "$here/../tools/debian_sources.bash"
fetch_debian_sources "$out"

# The build's own folder is mapped out of what the compiler writes, so
# that the game built over these libraries is the same from any folder.
configure_and_install() {
  local source=$1 build=$2
  shift 2
  rm -rf "$build"
  emcmake cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$out=deps" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
  cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
}

echo "deps.sh: building Allegro 4.4 for the web"
configure_and_install "$(unpacked "$allegro_tar" allegro-src)" "$out/allegro-build" \
  -DRT_LIBRARY=-lc -DSHARED=OFF -DWANT_X11=OFF -DWANT_LINUX_CONSOLE=OFF -DWANT_OSS=OFF \
  -DWANT_ALSA=OFF -DWANT_JACK=OFF -DWANT_SGIAUDIO=OFF -DWANT_MODULES=OFF \
  -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF \
  -DWANT_EXAMPLES=OFF -DWANT_TOOLS=OFF -DWANT_TESTS=OFF -DWANT_DOCS=OFF
echo "deps.sh: building FreeType for the web"
configure_and_install "$(unpacked "$freetype_tar" freetype-src)" "$out/freetype-build" \
  -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
echo "$recipe" >"$prefix/.done"

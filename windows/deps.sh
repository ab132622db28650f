#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The libraries the Windows build links, made here from Debian's own sources:
#   windows/deps.sh [OUT]        (default: build-win/deps)
# Fetches the source packages allegro4.4 and freetype (bookworm, main)
# through a private apt list and state folder under OUT/apt (the machine's
# apt configuration is left as it is), checks each orig tarball against its
# .dsc, and builds both as static libraries with mingw-w64 into OUT/prefix.
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

# The archive the machine's apt already uses for bookworm's main.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
  awk '$2 == "bookworm" && $3 == "main" { print $1; exit }')
[ -n "$mirror" ] || { echo "deps.sh: apt knows no archive for bookworm main" >&2; exit 1; }
apt_dir=$out/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$out/src"
echo "deb-src $mirror bookworm main" >"$apt_dir/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=-
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
echo "deps.sh: fetching the sources of allegro4.4 and freetype from $mirror"
apt-get "${apt_private[@]}" -qq update
# Only the orig tarballs are needed: the archive may not serve the Debian
# part (allegro4.4's .debian.tar.xz answers 404), so a partial fetch is
# judged by what arrived.
(cd "$out/src" && apt-get "${apt_private[@]}" -qq source --download-only allegro4.4 freetype \
  >/dev/null 2>&1) || true

# The orig tarball named in the package's .dsc, checked against its SHA-256 there.
checked_orig() {
  local dsc line sum name
  dsc=$(ls "$out/src/$1"_*.dsc | head -n 1)
  [ -f "$dsc" ] || { echo "deps.sh: no .dsc for $1" >&2; return 1; }
  line=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep -E " $1_[^ ]*\.orig\.tar\.[a-z]+$")
  read -r sum _ name <<<"$line"
  [ -f "$out/src/$name" ] || { echo "deps.sh: $name did not arrive" >&2; return 1; }
  echo "$sum  $out/src/$name" | sha256sum --check --quiet >&2 ||
    { echo "deps.sh: $name does not match $dsc" >&2; return 1; }
  echo "$out/src/$name"
}
allegro_tar=$(checked_orig allegro4.4)
freetype_tar=$(checked_orig freetype)

# Unpacks a tarball into a fresh folder and prints it.
unpacked() {
  rm -rf "$out/$2" && mkdir -p "$out/$2"
  tar -xf "$1" -C "$out/$2" --strip-components=1
  echo "$out/$2"
}

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

#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The Windows zip and installer from a cross-built game:
#   windows/package.sh GAME_BUILD OUT
# writes OUT/tollybrook-VERSION-win64.zip (tollybrook.exe, media/, the
# licence texts, the credits and a read-me) and
# OUT/tollybrook-VERSION-win64-setup.exe (the same, installed). The same
# build gives the same bytes: every file dated SOURCE_DATE_EPOCH (the last
# commit's time when unset), stored in one order, with no owners or extras.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
# shellcheck source=../tools/package_files.bash
source "$source_dir/tools/package_files.bash"
build=$(cd "$1" && pwd)
out=$(cd "$2" && pwd)
deps=$out/deps
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
: "${SOURCE_DATE_EPOCH:=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 0)}"
name=tollybrook-$version-win64
stage=$out/stage/$name
rm -rf "$out/stage"
mkdir -p "$stage/media" "$stage/licences"

cp "$build/tollybrook.exe" "$stage/"
for kind in bmp wav mid ttf; do cp "$build/media/"*.$kind "$stage/media/"; done
copy_licences_and_credits "$source_dir" "$deps" "$stage/licences" "$stage/CREDITS.txt"
sed "s/@VERSION@/$version/g" "$here/README-windows.txt" >"$stage/README.txt"
# Windows' own editors read either line ending; the texts keep the tree's.

# The zip holds the game's folder, as the installer installs it.
zip_file=$out/$name.zip
zip_reproducibly "$out/stage" "$zip_file"
echo "$zip_file"

setup_file=$out/$name-setup.exe
rm -f "$setup_file"
(cd "$out/stage" && SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH makensis -V2 -INPUTCHARSET UTF8 \
  -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup_file" "$here/tollybrook.nsi" >"$out/nsis.log") ||
  { cat "$out/nsis.log"; exit 1; }
echo "$setup_file"

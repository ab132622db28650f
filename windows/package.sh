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
cp "$source_dir/LICENSES/"*.txt "$stage/licences/"
cp "$source_dir/assets/sound/font-notice.txt" "$stage/licences/font-notice.txt"
cp "$deps/freetype-src/docs/FTL.TXT" "$stage/licences/FreeType-FTL.txt"
grep -v '^@' "$deps/allegro-src/docs/src/license._tx" >"$stage/licences/Allegro-giftware.txt"
# The credits are README.md's, from its "Licence and credits" section on.
sed -n '/^## Licence and credits/,/^## [^L]/p' "$source_dir/README.md" | sed '$ { /^## /d }' \
  >"$stage/CREDITS.txt"
sed "s/@VERSION@/$version/g" "$here/README-windows.txt" >"$stage/README.txt"
# Windows' own editors read either line ending; the texts keep the tree's.

# Fixed times, then the files in one order: the zip holds no owners and no
# extra fields (-X), no folder entries (-D), and times in UTC.
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
zip_file=$out/$name.zip
rm -f "$zip_file"
(cd "$out/stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 "$zip_file" -@)
echo "$zip_file"

setup_file=$out/$name-setup.exe
rm -f "$setup_file"
(cd "$out/stage" && SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH makensis -V2 -INPUTCHARSET UTF8 \
  -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup_file" "$here/tollybrook.nsi" >"$out/nsis.log") ||
  { cat "$out/nsis.log"; exit 1; }
echo "$setup_file"

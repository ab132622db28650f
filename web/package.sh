#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The web page's zip from a built game:
#   web/package.sh GAME_BUILD OUT
# writes OUT/tollybrook-VERSION-web.zip: index.html at its root and what it
# loads (page.js, page.css, favicon.png, tollybrook.js, .wasm and .data,
# tune.ogg), the app's manifest and icons, the service worker that keeps
# them all for playing offline (sw.js), the licence texts and the credits;
# and OUT/site/, the same files unpacked. The same build gives the same
# bytes: every file dated SOURCE_DATE_EPOCH (the last commit's time when
# unset), stored in one order, with no owners or extras.
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
site=$out/site
rm -rf "$site"
mkdir -p "$site/licences"

cp "$here/index.html" "$here/page.js" "$here/page.css" "$here/manifest.json" "$site/"
cp "$build/tollybrook.js" "$build/tollybrook.wasm" "$build/tollybrook.data" "$build/tune.ogg" "$site/"
# Emscripten's file packager names each build of the media with a random
# UUID; named after the media's own bytes, the same media give the same script.
uuid=$(sha256sum "$site/tollybrook.data" | sed -E 's/^(.{8})(.{4})(.{4})(.{4})(.{12}).*/\1-\2-\3-\4-\5/')
sed -i -E "s/\"package_uuid\": ?\"[0-9a-f-]+\"/\"package_uuid\":\"$uuid\"/" "$site/tollybrook.js"
# The favicon: the evil creature's portrait, as the desktop icons.
rsvg-convert -w 64 -h 64 "$source_dir/assets/art/src/you.svg" -o "$out/favicon-raw.png"
convert "$out/favicon-raw.png" -strip -define png:exclude-chunks=date,time "$site/favicon.png"
# The app's icons, at the sizes the manifest names.
for size in 192 512; do
  rsvg-convert -w "$size" -h "$size" -b black "$source_dir/assets/art/src/you.svg" -o "$out/icon-raw.png"
  convert "$out/icon-raw.png" -strip -define png:exclude-chunks=date,time "$site/icon-$size.png"
done
rm -f "$out/favicon-raw.png" "$out/icon-raw.png"
# The service worker keeps every file the page loads, as one version named
# after their bytes: the same files, the same version.
loaded=$(cd "$site" && find . -maxdepth 1 -type f | sed 's|^\./||' | LC_ALL=C sort)
kept_version=$(cd "$site" && sha256sum $loaded | sha256sum | cut -c1-16)
files=$(printf '"./"'; for f in $loaded; do printf ', "%s"' "$f"; done)
sed -e "s/@VERSION@/$kept_version/" -e "s|@FILES@|$files|" "$here/sw.js" >"$site/sw.js"
copy_licences_and_credits "$source_dir" "$deps" "$site/licences" "$site/CREDITS.txt"

zip_file=$out/tollybrook-$version-web.zip
zip_reproducibly "$site" "$zip_file"
echo "$zip_file"

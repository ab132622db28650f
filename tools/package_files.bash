# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# What the Windows and the web packages share (windows/package.sh,
# web/package.sh): the licence texts and credits each carries, and a zip
# that the same files always make the same.

# copy_licences_and_credits SOURCE_DIR DEPS LICENCES_FOLDER CREDITS_FILE:
# the game's licences and the font's notice, those of FreeType and Allegro
# from their sources in DEPS, and README.md's credits.
copy_licences_and_credits() {
  local source_dir=$1 deps=$2 licences=$3 credits=$4
  cp "$source_dir/LICENSES/"*.txt "$licences/"
  cp "$source_dir/assets/sound/font-notice.txt" "$licences/font-notice.txt"
  cp "$deps/freetype-src/docs/FTL.TXT" "$licences/FreeType-FTL.txt"
  grep -v '^@' "$deps/allegro-src/docs/src/license._tx" >"$licences/Allegro-giftware.txt"
  # The credits are README.md's, from its "Licence and credits" section on.
  sed -n '/^## Licence and credits/,/^## [^L]/p' "$source_dir/README.md" | sed '$ { /^## /d }' \
    >"$credits"
}

# zip_reproducibly FOLDER ZIP: every file below FOLDER, named from there.
# Fixed times (SOURCE_DATE_EPOCH), then the files in one order: the zip
# holds no owners and no extra fields (-X), no folder entries (-D), and
# times in UTC.
zip_reproducibly() {
  local folder=$1 zip_file=$2
  find "$folder" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
  rm -f "$zip_file"
  (cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
    TZ=UTC zip -q -X -D -9 "$zip_file" -@)
}

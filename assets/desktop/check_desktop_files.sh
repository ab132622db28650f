#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# Checks the launcher, the metainfo, the icons and the manual page the way a
# desktop and man would read them.  check_desktop_files.sh SRC_DIR OUT_DIR
set -euo pipefail
src=$1 out=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

said=$(desktop-file-validate "$src/tollybrook.desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$said" ] || fail "desktop-file-validate says: $said"

appstreamcli validate --no-net "$out"/*.metainfo.xml || fail "appstreamcli validate failed"

for size in 16 32 48 64 128 256; do
    png=$out/icons/${size}x${size}/tollybrook.png
    got=$(identify -format '%m %wx%h' "$png" 2>/dev/null) || got="missing"
    [ "$got" = "PNG ${size}x${size}" ] || fail "$png: $got"
done

page=$(MANWIDTH=80 man -l "$out/tollybrook.6" 2>&1) || fail "man -l failed"
for heading in SYNOPSIS OPTIONS CONTROLS FILES ENVIRONMENT; do
    grep -q "^$heading" <<<"$page" || fail "manual page lacks $heading"
done
# Every option the program knows is in the manual page.
for option in --windowed --fullscreen --mute --sound --help --version \
              TOLLYBROOK_DATA XDG_DATA_HOME XDG_CONFIG_HOME hi.dat; do
    grep -q -- "$option" <<<"$page" || fail "manual page lacks $option"
done
[ $failed -eq 0 ] && echo "desktop files: all good"
exit $failed

#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
#
# The same sources give the same .deb wherever they are built: two copies of
# the source tree in two folders of different lengths each run `make
# package` from scratch (no compiler cache), and the two packages must be
# byte for byte the same. When they are not, says which files inside differ
# (diffoscope when installed, else the unpacked trees compared).
#
#   bash packaging/reproducible.sh SOURCE_DIR
set -euo pipefail
src=$(cd "${1:?usage: reproducible.sh SOURCE_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/a
second=$work/a-second-folder-with-a-longer-name

# The sources as a checkout has them: tracked and new files, no build
# folders, no git history (so the package's time comes from the changelog).
copy_sources() {
    mkdir -p "$1"
    if git -C "$src" rev-parse --show-toplevel >/dev/null 2>&1; then
        git -C "$src" ls-files -z --cached --others --exclude-standard |
            tar -C "$src" --null -T - --ignore-failed-read -cf - | tar -xf - -C "$1"
    else
        tar -cf - -C "$src" --exclude='./build*' . | tar -xf - -C "$1"
    fi
}

build_package() {
    copy_sources "$1"
    echo "== make package in $1"
    if ! env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER CCACHE_DISABLE=1 \
        make -C "$1" --no-print-directory package JOBS=2 >"$1.log" 2>&1; then
        cat "$1.log"
        echo "FAIL: make package in $1"
        exit 1
    fi
}

build_package "$first"
build_package "$second"
deb_a=$(ls "$first"/build-deb/tollybrook_*.deb)
deb_b=$(ls "$second"/build-deb/tollybrook_*.deb)
if cmp -s "$deb_a" "$deb_b"; then
    echo "the two packages are the same: $(sha256sum <"$deb_a" | cut -d' ' -f1)"
    exit 0
fi

echo "FAIL: the two packages differ"
if command -v diffoscope >/dev/null; then
    diffoscope --text - "$deb_a" "$deb_b" | head -n 300 || true
else
    # Unpacked (control files under DEBIAN/), then the archives' listings for
    # what unpacking loses: times, owners, order.
    for side in a b; do
        deb=$deb_a
        [ $side = b ] && deb=$deb_b
        dpkg-deb -R "$deb" "$work/unpacked-$side"
        dpkg-deb -c "$deb" >"$work/listing-$side"
    done
    diff -rq "$work/unpacked-a" "$work/unpacked-b" || true
    diff "$work/listing-a" "$work/listing-b" || true
fi
exit 1

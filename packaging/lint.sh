#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
#
# The licences and the package, judged by the tools made for them: `reuse
# lint` on the source tree, then `make package` into BUILD_DIR/deb and
# lintian on that .deb. Any error or warning from either fails.
#
#   bash packaging/lint.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=${1:?usage: lint.sh SOURCE_DIR BUILD_DIR} build=${2:?usage: lint.sh SOURCE_DIR BUILD_DIR}
failed=0

echo "== reuse lint"
reuse --root "$src" lint || failed=1

echo "== make package"
log=$build/deb.log
if ! make -C "$src" --no-print-directory package DEB_BUILD="$build/deb" >"$log" 2>&1; then
    cat "$log"
    echo "FAIL: make package"
    exit 1
fi
deb=$(ls "$build"/deb/tollybrook_*.deb)
echo "== lintian $(basename "$deb")"
# lintian warns when it runs as root: then it runs as nobody, on a copy.
if [ "$(id -u)" = 0 ]; then
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    chmod 755 "$copy"
    install -m 644 "$deb" "$copy/"
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$copy" \
        lintian --fail-on error,warning "$copy/$(basename "$deb")" || failed=1
else
    lintian --fail-on error,warning "$deb" || failed=1
fi

[ $failed = 0 ] && echo "reuse and lintian: no error, no warning"
exit $failed

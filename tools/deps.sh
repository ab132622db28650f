#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# Installs the Debian packages of the named lists that are missing:
#   tools/deps.sh [build] [test] [fuzz] [windows] [web]     (default: build)
# build is tools/packages.txt, the others tools/packages-NAME.txt.
# Quiet and quick when everything is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=()
for name in "${@:-build}"; do
  case $name in
    build) lists+=("$here/packages.txt") ;;
    test | fuzz | windows | web) lists+=("$here/packages-$name.txt") ;;
    *) echo "deps.sh: unknown list '$name' (build, test, fuzz, windows or web)" >&2; exit 2 ;;
  esac
done
wanted=$(cat "${lists[@]}" | grep -v -E '^\s*(#|$)' | sort -u)
missing=()
for pkg in $wanted; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

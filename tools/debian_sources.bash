# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# What the Windows and the web libraries share: Debian's own source packages
# of allegro4.4 and freetype (bookworm, main), fetched through a private apt
# list and state folder (the machine's apt configuration is left as it is),
# each orig tarball checked against its .dsc, and unpacked. Sourced:
#   source tools/debian_sources.bash
#   fetch_debian_sources OUT           (sets allegro_tar and freetype_tar)
#   unpacked TARBALL FOLDER            (prints OUT/FOLDER, fresh)

# The archive the machine's apt already uses for bookworm's main.
fetch_debian_sources() {
  sources_out=$1
  local mirror apt_dir
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$2 == "bookworm" && $3 == "main" { print $1; exit }')
  [ -n "$mirror" ] || { echo "deps: apt knows no archive for bookworm main" >&2; return 1; }
  apt_dir=$sources_out/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$sources_out/src"
  echo "deb-src $mirror bookworm main" >"$apt_dir/sources.list"
  local apt_private=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=-
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
  echo "deps: fetching the sources of allegro4.4 and freetype from $mirror"
  apt-get "${apt_private[@]}" -qq update
  # Only the orig tarballs are needed: the archive may not serve the Debian
  # part (allegro4.4's .debian.tar.xz answers 404), so a partial fetch is
  # judged by what arrived.
  (cd "$sources_out/src" && apt-get "${apt_private[@]}" -qq source --download-only allegro4.4 freetype \
    >/dev/null 2>&1) || true
  allegro_tar=$(checked_orig allegro4.4)
  freetype_tar=$(checked_orig freetype)
}

# The orig tarball named in the package's .dsc, checked against its SHA-256 there.
checked_orig() {
  local dsc line sum name
  dsc=$(ls "$sources_out/src/$1"_*.dsc | head -n 1)
  [ -f "$dsc" ] || { echo "deps: no .dsc for $1" >&2; return 1; }
  line=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep -E " $1_[^ ]*\.orig\.tar\.[a-z]+$")
  read -r sum _ name <<<"$line"
  [ -f "$sources_out/src/$name" ] || { echo "deps: $name did not arrive" >&2; return 1; }
  echo "$sum  $sources_out/src/$name" | sha256sum --check --quiet >&2 ||
    { echo "deps: $name does not match $dsc" >&2; return 1; }
  echo "$sources_out/src/$name"
}

unpacked() {
  rm -rf "${sources_out:?}/$2" && mkdir -p "$sources_out/$2"
  tar -xf "$1" -C "$sources_out/$2" --strip-components=1
  echo "$sources_out/$2"
}

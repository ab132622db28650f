#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Texts a release carries, each drawn from the one place it is kept.

    release_files.py releases CHANGELOG VERSION
        The AppStream <release> list from the changelog, newest first. Fails
        unless the newest entry is VERSION, so a new version cannot ship
        without its entry.
    release_files.py epoch CHANGELOG
        The newest entry's date as seconds since 1970: the package's file
        times when the sources carry no git history.
    release_files.py description METAINFO
        The package's extended description from the AppStream <description>:
        paragraphs, and list items as " * item" lines.
    release_files.py copyright TEMPLATE LICENSES_DIR FONT_NOTICE OUT
        The package's machine-readable copyright file: TEMPLATE (less its
        "#" lines) with the font's copyright lines (the SPDX-FileCopyrightText
        lines of FONT_NOTICE) put in for @FONT_COPYRIGHT@, followed by one
        License paragraph for every licence TEMPLATE names, its text from
        LICENSES_DIR.

The changelog is in Debian's format: a heading line "tollybrook (VERSION)
DISTRIBUTION; urgency=...", the changes as "  * " items, and the trailer
" -- NAME <MAIL>  DATE" (DATE as RFC 5322).
"""
import email.utils
import re
import sys
import textwrap
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

HEADING = re.compile(r"^tollybrook \(([^()\s]+)\) [\w-]+; urgency=\w+$")
TRAILER = re.compile(r"^ -- (.+ <[^>]+>)  (.+)$")


def read_changelog(path):
    """[(version, datetime, [change, ...])], newest first."""
    entries = []
    entry = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            where = f"{path}:{number}"
            heading = HEADING.match(line)
            trailer = TRAILER.match(line)
            if heading:
                if entry is not None:
                    sys.exit(f"{where}: a new entry before the trailer of {entry[0]}")
                entry = (heading.group(1), [])
            elif entry is None:
                if line.strip():
                    sys.exit(f"{where}: expected 'tollybrook (VERSION) ...', got {line!r}")
            elif trailer:
                when = email.utils.parsedate_to_datetime(trailer.group(2))
                if not entry[1]:
                    sys.exit(f"{where}: version {entry[0]} lists no change")
                entries.append((entry[0], when, entry[1]))
                entry = None
            elif line.startswith("  * "):
                entry[1].append(line[4:].strip())
            elif line.startswith("    ") and entry[1]:
                entry[1][-1] += " " + line.strip()
            elif line.strip():
                sys.exit(f"{where}: expected '  * change', a continuation or the trailer")
    if entry is not None:
        sys.exit(f"{path}: version {entry[0]} has no trailer")
    if not entries:
        sys.exit(f"{path}: no entry")
    return entries


def releases(changelog, version):
    entries = read_changelog(changelog)
    if entries[0][0] != version:
        sys.exit(f"{changelog}: the newest entry is {entries[0][0]}, but the game is {version}")
    out = []
    for number, when, changes in entries:
        out.append(f'    <release version="{escape(number)}" date="{when.date().isoformat()}">')
        out.append("      <description>")
        out.append("        <ul>")
        out.extend(f"          <li>{escape(change)}</li>" for change in changes)
        out.append("        </ul>")
        out.append("      </description>")
        out.append("    </release>")
    return "\n".join(out)


def description(metainfo):
    found = ET.parse(metainfo).getroot().find("description")
    if found is None or len(found) == 0:
        sys.exit(f"{metainfo}: no <description>")
    flat = lambda element: " ".join("".join(element.itertext()).split())
    blocks = []
    for element in found:
        if element.tag == "p":
            blocks.append(textwrap.fill(flat(element), 72, break_on_hyphens=False))
        elif element.tag in ("ul", "ol"):
            blocks.append("\n".join(
                textwrap.fill(flat(item), 72, initial_indent=" * ", subsequent_indent="   ",
                              break_on_hyphens=False)
                for item in element if item.tag == "li"))
        else:
            sys.exit(f"{metainfo}: <{element.tag}> in <description>: only <p> and lists")
    return "\n\n".join(blocks)


def copyright_file(template, licenses_dir, font_notice, out):
    holders = [line.split(":", 1)[1].strip()
               for line in open(font_notice, encoding="utf-8")
               if line.startswith("SPDX-FileCopyrightText:")]
    if not holders:
        sys.exit(f"{font_notice}: no SPDX-FileCopyrightText line")
    text = "".join(line for line in open(template, encoding="utf-8")
                   if not line.startswith("#")).strip("\n") + "\n"
    text = text.replace("@FONT_COPYRIGHT@", "\n ".join(holders))
    if re.search(r"@[A-Z_]+@", text):
        sys.exit(f"{template}: a placeholder other than @FONT_COPYRIGHT@")
    named = []
    for name in re.findall(r"^License: (\S+)$", text, re.M):
        if name not in named:
            named.append(name)
    for name in named:
        lines = open(f"{licenses_dir}/{name}.txt", encoding="utf-8").read().strip("\n").split("\n")
        body = "\n".join(" " + line.rstrip() if line.strip() else " ." for line in lines)
        text += f"\nLicense: {name}\n{body}\n"
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    command, args = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    if command == "releases" and len(args) == 2:
        print(releases(*args))
    elif command == "epoch" and len(args) == 1:
        print(int(read_changelog(*args)[0][1].timestamp()))
    elif command == "description" and len(args) == 1:
        print(description(*args))
    elif command == "copyright" and len(args) == 4:
        copyright_file(*args)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)

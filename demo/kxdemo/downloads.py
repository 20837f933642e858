"""Files to download: generated data of any size and tiny sample installers."""

import re

MAX_SIZE = 512 * 1024 * 1024
_SIZE = re.compile(r"^(\d{1,12})([km]?)\.bin$")
# A whole number of 251-byte periods, so consecutive blocks continue the pattern.
_BLOCK = bytes(i % 251 for i in range(251 * 256))


def generated_size(name):
    """Size of a generated file named like "1500.bin", "64k.bin" or "2m.bin"."""
    m = _SIZE.match(name)
    if not m:
        return None
    size = int(m.group(1)) * {"": 1, "k": 1024, "m": 1024 * 1024}[m.group(2)]
    return size if size <= MAX_SIZE else None


def pattern(size):
    """The bytes of a generated file: byte i is i mod 251, so any slip shows."""
    left = size
    while left > 0:
        piece = _BLOCK[:min(left, len(_BLOCK))]
        left -= len(piece)
        yield piece


INSTALLER = """#!/bin/sh
# Sample installer served by the Kestrix demo service.
echo "Installing {title} ..."
mark="${{TMPDIR:-/tmp}}/kestrix-demo-installed-{stem}"
echo "{title}" > "$mark" 2>/dev/null || true
echo "{title} is installed."
exit 0
"""


def installer(stem, games, console_version):
    """The setup script for a game (by file stem) or for the console itself."""
    if stem == "console":
        title = "Kestrix Console %s" % console_version
    else:
        match = [g for g in games if g["stem"] == stem]
        if not match:
            return None
        title = "%s %s" % (match[0]["name"], match[0]["version"])
    return INSTALLER.format(title=title, stem=stem).encode("ascii", errors="replace")

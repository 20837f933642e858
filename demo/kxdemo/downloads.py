"""Files to download: generated data of any size and tiny sample installers."""

import os
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


_TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "setup.sh.in")
_SAFE = re.compile(r"[^A-Za-z0-9 ._-]")


def installer(stem, games, console_version):
    """The setup script for a game (by file stem) or for the console itself.
    Run with KX_DEMO_REGISTRY_TOOL naming the registry tool, a game's script
    records the game's VERSION in the console's registry."""
    if stem == "console":
        title, client, version = "Kestrix Console %s" % console_version, "", console_version
    else:
        match = [g for g in games if g["stem"] == stem]
        if not match:
            return None
        client, version = match[0]["name"], match[0]["version"]
        title = "%s %s" % (client, version)
    with open(_TEMPLATE, encoding="ascii") as f:
        script = f.read()
    # Names and versions come from the store; nothing in them may end a shell word.
    for key, value in (("TITLE", title), ("STEM", stem), ("CLIENT", client),
                       ("VERSION", version)):
        script = script.replace("@%s@" % key, _SAFE.sub("_", value))
    return script.encode("ascii", errors="replace")

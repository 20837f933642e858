"""The console as installed: installed into a scratch root (nothing on the
machine changes), its desktop entry must pass the validator and start the
console in a folder whose media/ holds the three rank sounds, each a short,
audible PCM sound the console can play.

Usage: install_layout_test.py --build BUILD_DIRECTORY
"""

import argparse
import array
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

OPTIONS = None
SOUNDS = ("1stPlace.wav", "fanfare.wav", "clap.wav")


def entry_values(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, equals, value = line.rstrip("\n").partition("=")
            if equals:
                values[key] = value
    return values


class InstalledConsole(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="kx_install_")
        subprocess.run(["cmake", "--install", OPTIONS.build], check=True,
                       env=dict(os.environ, DESTDIR=cls.root), stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def installed(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def desktop_entry(self):
        for folder, _, files in os.walk(self.root):
            if "velora.desktop" in files and folder.endswith("applications"):
                return os.path.join(folder, "velora.desktop")
        self.fail("no desktop entry was installed")

    def test_the_entry_passes_the_validator(self):
        if shutil.which("desktop-file-validate") is None:
            self.skipTest("desktop-file-validate is not installed")
        result = subprocess.run(["desktop-file-validate", self.desktop_entry()],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_the_console_starts_where_its_sounds_are(self):
        values = entry_values(self.desktop_entry())
        self.assertIn("Path", values)
        self.assertTrue(os.path.isabs(values["Path"]))
        media = self.installed(os.path.join(values["Path"], "media"))
        for name in SOUNDS:
            with self.subTest(sound=name):
                with wave.open(os.path.join(media, name), "rb") as sound:
                    self.assertEqual(sound.getcomptype(), "NONE")
                    self.assertEqual(sound.getsampwidth(), 2)
                    seconds = sound.getnframes() / sound.getframerate()
                    self.assertGreater(seconds, 0.3)
                    self.assertLess(seconds, 3.0)
                    samples = array.array("h", sound.readframes(sound.getnframes()))
                    if sys.byteorder == "big":
                        samples.byteswap()
                    rms = math.sqrt(sum(s * s for s in samples) / len(samples))
                    # Loud enough to hear, short of clipping.
                    self.assertGreater(rms, 1000)
                    self.assertLess(max(abs(s) for s in samples), 32767)
        program = os.path.basename(values["Exec"].split()[0])
        self.assertTrue(any(os.path.isfile(os.path.join(folder, program))
                            for folder, _, _ in os.walk(self.root)))


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

"""The Debian packages as made by cpack: lintian finds no error in them, their
desktop entry and AppStream metadata validate, the console's package has every
file where its desktop entry and bus activation file say, and a game built
against the unpacked development package, with CMake's find_package and with
pkg-config, plays against the console's game services. Nothing is installed on
the machine: packages are unpacked into scratch roots with dpkg-deb -x.

Usage: package_test.py --packages DIR [--host-test EXE] [TestClass ...]
       package_test.py --make --build BUILD --packages DIR
"""

import argparse
import configparser
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

OPTIONS = None
CONSOLE, GAMELIB, GAMEDEV = "velora", "libkestrix-game1", "libkestrix-game-dev"
BUS_NAME = "com.kestrix.Console"
SOUNDS = ("1stPlace.wav", "fanfare.wav", "clap.wav")
SAMPLE_SOURCES = ("main.cpp", "word_grid.cpp", "wordmaze_play.cpp", "wordmaze_window.cpp")


def make_packages(build, packages):
    shutil.rmtree(packages, ignore_errors=True)
    subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", packages],
                   cwd=build, check=True)


def package_file(name):
    found = glob.glob(os.path.join(OPTIONS.packages, "%s_*.deb" % name))
    if len(found) != 1:
        raise AssertionError("expected one package %s in %s, found %s" % (name, OPTIONS.packages, found))
    return found[0]


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], check=True,
                          capture_output=True, text=True).stdout.strip()


def unpack(root, *names):
    for name in names:
        subprocess.run(["dpkg-deb", "-x", package_file(name), root], check=True)


def key_file(path, group):
    # Values are taken as written: desktop entries have no interpolation.
    parser = configparser.RawConfigParser(strict=True, delimiters=("=",))
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    return dict(parser[group])


class ScratchRoot(unittest.TestCase):
    PACKAGES = ()

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="kx_package_")
        unpack(cls.root, *cls.PACKAGES)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def inside(self, path):
        return os.path.join(self.root, path.lstrip("/"))


class Lintian(unittest.TestCase):
    def test_no_package_has_an_error(self):
        debs = [package_file(name) for name in (CONSOLE, GAMELIB, GAMEDEV)]
        result = subprocess.run(["lintian", "--no-tag-display-limit"] + debs,
                                capture_output=True, text=True)
        # Warnings are allowed, and shown for whoever reads the log.
        sys.stderr.write(result.stdout)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [])
        self.assertIn(result.returncode, (0, 1), result.stderr)

    def test_every_package_has_its_copyright_and_changelog(self):
        for name in (CONSOLE, GAMELIB, GAMEDEV):
            with self.subTest(package=name):
                listing = subprocess.run(["dpkg-deb", "-c", package_file(name)], check=True,
                                         capture_output=True, text=True).stdout
                self.assertIn("./usr/share/doc/%s/copyright\n" % name, listing)
                self.assertIn("./usr/share/doc/%s/changelog.gz\n" % name, listing)

    def test_the_packages_share_one_version_with_the_changelog(self):
        version = field(package_file(CONSOLE), "Version")
        for name in (GAMELIB, GAMEDEV):
            self.assertEqual(field(package_file(name), "Version"), version)
        self.assertIn("%s (= %s)" % (GAMELIB, version), field(package_file(GAMEDEV), "Depends"))
        root = tempfile.mkdtemp(prefix="kx_package_")
        try:
            unpack(root, CONSOLE)
            changelog = subprocess.run(
                ["zcat", os.path.join(root, "usr/share/doc/velora/changelog.gz")],
                check=True, capture_output=True, text=True).stdout
            self.assertTrue(changelog.startswith("velora (%s) " % version), changelog)
            metainfo = ElementTree.parse(os.path.join(root, "usr/share/metainfo/velora.metainfo.xml"))
            self.assertEqual(metainfo.find("releases/release").get("version"), version)
        finally:
            shutil.rmtree(root, ignore_errors=True)


class Metadata(ScratchRoot):
    PACKAGES = (CONSOLE,)

    def test_the_desktop_entry_passes_the_validator(self):
        result = subprocess.run(
            ["desktop-file-validate", self.inside("/usr/share/applications/velora.desktop")],
            capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_the_metainfo_passes_the_validator(self):
        result = subprocess.run(
            ["appstreamcli", "validate", "--no-net", "--no-color",
             self.inside("/usr/share/metainfo/velora.metainfo.xml")],
            capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_the_metainfo_launches_the_packaged_entry(self):
        metainfo = ElementTree.parse(self.inside("/usr/share/metainfo/velora.metainfo.xml"))
        launchable = metainfo.find("launchable[@type='desktop-id']").text
        self.assertTrue(os.path.isfile(self.inside("/usr/share/applications/" + launchable)))
        self.assertEqual(metainfo.find("provides/dbus").text, BUS_NAME)


class ConsoleLayout(ScratchRoot):
    PACKAGES = (CONSOLE,)

    def test_the_desktop_entry_starts_the_packaged_console_where_its_sounds_are(self):
        entry = key_file(self.inside("/usr/share/applications/velora.desktop"), "Desktop Entry")
        program = entry["Exec"].split()[0]
        found = program if os.path.isabs(program) else "/usr/bin/" + program
        self.assertTrue(os.access(self.inside(found), os.X_OK), found)
        self.assertTrue(os.path.isabs(entry["Path"]), entry["Path"])
        for name in SOUNDS:
            self.assertTrue(os.path.isfile(self.inside(os.path.join(entry["Path"], "media", name))), name)
        icon = self.inside("/usr/share/icons/hicolor/scalable/apps/%s.svg" % entry["Icon"])
        self.assertTrue(os.path.isfile(icon), icon)

    def test_the_activation_file_starts_the_packaged_console_for_its_bus_name(self):
        path = self.inside("/usr/share/dbus-1/services/%s.service" % BUS_NAME)
        service = key_file(path, "D-BUS Service")
        self.assertEqual(service["Name"], BUS_NAME)
        # The bus runs Exec= without a search path.
        self.assertTrue(os.path.isabs(service["Exec"]), service["Exec"])
        self.assertEqual(service["Exec"], "/usr/bin/velora")
        self.assertTrue(os.access(self.inside(service["Exec"]), os.X_OK))

    def test_the_registry_tool_comes_with_the_console(self):
        tool = self.inside("/usr/bin/kxreg")
        self.assertTrue(os.access(tool, os.X_OK))
        scratch = tempfile.mkdtemp(prefix="kx_package_reg_")
        try:
            env = dict(os.environ, XDG_CONFIG_HOME=scratch)
            key = r"HKLM\SOFTWARE\Kestrix Inc.\General\Clients\Word Maze"
            subprocess.run([tool, "add", key, "/v", "VERSION", "/d", "1.5", "/f"], env=env, check=True,
                           capture_output=True)
            query = subprocess.run([tool, "query", key, "/v", "VERSION"], env=env, check=True,
                                   capture_output=True, text=True)
            self.assertIn("1.5", query.stdout)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)


class GameAgainstTheSdk(ScratchRoot):
    PACKAGES = (GAMELIB, GAMEDEV)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.work = tempfile.mkdtemp(prefix="kx_package_game_")
        cls.sample = os.path.join(cls.root, "usr/share/kestrix-game/samples/wordmaze")
        cls.libdir = os.path.dirname(glob.glob(os.path.join(cls.root, "usr/lib/**/libkestrix-game.so.1"),
                                               recursive=True)[0])
        cls.pkg_config_path = os.path.join(cls.libdir, "pkgconfig")
        cls.launcher = shutil.which("ccache")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def build_with_find_package(self):
        build = os.path.join(self.work, "find_package")
        configure = ["cmake", "-S", self.sample, "-B", build, "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_PREFIX_PATH=" + os.path.join(self.root, "usr")]
        if self.launcher:
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=" + self.launcher)
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "-j2"], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            found = re.search(r"^KestrixGame_DIR:PATH=(.*)$", f.read(), re.M).group(1)
        self.assertTrue(os.path.realpath(found).startswith(os.path.realpath(self.root)), found)
        return os.path.join(build, "kx-wordmaze")

    def build_with_pkg_config(self):
        env = dict(os.environ, PKG_CONFIG_PATH=self.pkg_config_path)
        libdir = subprocess.run(["pkg-config", "--variable=libdir", "kestrix-game"], env=env,
                                check=True, capture_output=True, text=True).stdout.strip()
        self.assertEqual(os.path.realpath(libdir), os.path.realpath(self.libdir))
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "kestrix-game", "Qt6Widgets"],
                               env=env, check=True, capture_output=True, text=True).stdout.split()
        program = os.path.join(self.work, "pkg_config", "kx-wordmaze")
        os.makedirs(os.path.dirname(program))
        compiler = ([self.launcher] if self.launcher else []) + ["g++"]
        # Qt's headers ask for position-independent code.
        subprocess.run(compiler + ["-std=c++20", "-O1", "-fPIC", "-o", program]
                       + [os.path.join(self.sample, name) for name in SAMPLE_SOURCES] + flags,
                       check=True)
        return program

    def assert_links_the_packaged_library(self, program, env):
        ldd = subprocess.run(["ldd", program], env=env, check=True, capture_output=True, text=True).stdout
        line = next(line for line in ldd.splitlines() if "libkestrix-game.so.1" in line)
        resolved = line.split("=>")[1].split()[0]
        self.assertTrue(os.path.realpath(resolved).startswith(os.path.realpath(self.root)), line)

    def test_games_built_with_find_package_and_pkg_config_play_against_the_console(self):
        games = {"FindPackage": self.build_with_find_package(), "PkgConfig": self.build_with_pkg_config()}
        env = dict(os.environ, LD_LIBRARY_PATH=self.libdir,
                   KX_PACKAGED_GAMES=":".join("%s=%s" % item for item in games.items()))
        for program in games.values():
            self.assert_links_the_packaged_library(program, env)
        result = subprocess.run(["dbus-run-session", "--", OPTIONS.host_test], env=env,
                                capture_output=True, text=True, timeout=240)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Two plays of each game; none may be left out.
        self.assertIn("[  PASSED  ] 4 tests.", result.stdout, result.stdout)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--packages", required=True)
    parser.add_argument("--build")
    parser.add_argument("--make", action="store_true")
    parser.add_argument("--host-test")
    OPTIONS, rest = parser.parse_known_args()
    if OPTIONS.make:
        make_packages(OPTIONS.build, OPTIONS.packages)
        return
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

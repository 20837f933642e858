"""The real console against the demo service on a virtual desktop, driven
the way a player drives it: clicks and keys through the X server, what is
shown read off the screen, nothing inside the console to help the test.

Run under xvfb-run; ctest does. Options: --velora, --kxreg, --screenshots DIR
(where the pictures of the dialogs go; a scratch directory if not given).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_world  # noqa: E402
import desktop  # noqa: E402
from demo_world import GENERAL, HOST, ROOT  # noqa: E402,F401

OPTIONS = None

LOGIN = "^Please enter your username and password$"
REGISTRATION = "^Please Fill in the Registration Form$"
CONSOLE = "^Kestrix Console$"

# Places on the demo service's main page, in client pixels of the 800 x 545 console.
FIRST_GAME = (95, 92)
ALL_GAMES = (95, 418)
REFRESH = (95, 468)
TIP = (95, 518)
SOFTWARE = (95, 493)
# On the software page, with Chess reported older than the service's.
INSTALL_WORD_MAZE = (633, 198)
UPGRADE_CHESS = (641, 227)  # the button of either layout, before and after the install
EXIT = (771, 27)
FIRST_PLAY = (662, 214)  # Play of the first tournament in the frame's list


def dialog_point(window, template_size, x, y):
    """A point given in the template's dialog units, in the window's pixels."""
    _, _, width, height = desktop.geometry(window)
    return x * width / template_size[0], y * height / template_size[1]


class ConsoleOnTheDesktop(demo_world.ConsoleWorld):
    @classmethod
    def setUpClass(cls):
        cls.kxreg = OPTIONS.kxreg
        cls.scratch = tempfile.mkdtemp(prefix="kx_e2e_")
        cls.shots = OPTIONS.screenshots or os.path.join(cls.scratch, "shots")
        cls.temp = os.path.join(cls.scratch, "tmp")
        os.makedirs(cls.temp)
        # The demo's installers record what they install with the store tool.
        cls.env = dict(os.environ,
                       XDG_CONFIG_HOME=os.path.join(cls.scratch, "config"),
                       XDG_STATE_HOME=os.path.join(cls.scratch, "state"),
                       TMPDIR=cls.temp, KX_DEMO_REGISTRY_TOOL=cls.kxreg)
        cls.service, cls.demo_state, ports = demo_world.start_demo_service(cls.scratch)
        cls.http_port = ports["http"]
        demo_world.point_console_at(cls.reg, ports)
        cls.run_dir = os.path.join(cls.scratch, "run")
        os.makedirs(cls.run_dir)

    @classmethod
    def tearDownClass(cls):
        cls.end_world()

    def start_console(self):
        # The console's own output goes to a file; a pipe nobody reads would stall it.
        with open(os.path.join(self.scratch, "velora-output.txt"), "ab") as output:
            console = subprocess.Popen([OPTIONS.velora], cwd=self.run_dir, env=self.env,
                                       stdout=output, stderr=subprocess.STDOUT)
        self.addCleanup(self.stop, console)
        return console

    @staticmethod
    def stop(console):
        if console.poll() is None:
            console.kill()
            console.wait(10)

    def shot(self, window, name):
        return desktop.screenshot(window, os.path.join(self.shots, name))

    def trace(self):
        with open(os.path.join(self.run_dir, "debug.txt"), encoding="latin-1") as f:
            return [line.rstrip("\r\n").split(",", 2)[1] for line in f if line.count(",") >= 2]

    def requests(self):
        path = os.path.join(self.demo_state, "requests.jsonl")
        with open(path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def wait_for_trace(self, text, timeout=30.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(os.path.join(self.run_dir, "debug.txt")) and any(
                    line.startswith(text) for line in self.trace()):
                return
            time.sleep(0.1)
        self.fail("the trace never said %r; it holds %r" % (text, self.trace()))

    def log_in_as_guest(self, console):
        login = desktop.wait_for_window(LOGIN, pid=console.pid)
        desktop.click(login, *dialog_point(login, (186, 220), 150, 173))  # Guest Login
        desktop.wait_gone(login)
        window = desktop.wait_for_window(CONSOLE, pid=console.pid)
        self.wait_for_trace("Navigate Complete")
        time.sleep(1.0)  # the page paints after it has loaded
        return window

    def count_trace(self, text):
        return sum(1 for line in self.trace() if line.startswith(text))

    def diagnostic_files(self):
        return (("trace", os.path.join(self.run_dir, "debug.txt")),
                ("console output", os.path.join(self.scratch, "velora-output.txt")))

    def test_a_player_session(self):
        console = self.start_console()

        # The login comes first; the console window shows only after it.
        login = desktop.wait_for_window(LOGIN, pid=console.pid)
        self.assertEqual(desktop.windows(CONSOLE, pid=console.pid), [])
        self.shot(login, "login.png")

        # Registration with an address that is no address.
        desktop.click(login, *dialog_point(login, (186, 220), 150, 126))  # Register
        form = desktop.wait_for_window(REGISTRATION, pid=console.pid)
        fields = {16: "e2eplayer", 30: "secret12", 44: "secret12", 58: "not-an-address"}
        for y, text in fields.items():
            desktop.click(form, *dialog_point(form, (260, 330), 188, y - 3))
            desktop.type_text(form, text)
        self.shot(form, "registration.png")
        desktop.click(form, *dialog_point(form, (260, 330), 192, 303))  # I Agree
        box = desktop.wait_for_window("^Registration error$", pid=console.pid)
        self.shot(box, "message-box.png")
        self.assertIn("valid email", desktop.read_text(box).replace("e-mail", "email"))
        self.assertIn("name@example.com", desktop.read_text(box))
        desktop.key(box, "Return")
        desktop.wait_gone(box)
        desktop.click(form, *dialog_point(form, (260, 330), 72, 303))  # Cancel
        desktop.wait_gone(form)

        window = self.log_in_as_guest(console)
        _, _, width, height = desktop.geometry(window)
        self.assertEqual((width, height), (800, 545))
        self.shot(window, "console.png")

        # A game in the side list shows its tournaments in the frame.
        desktop.click(window, *FIRST_GAME)
        self.wait_for_trace("Nav to http://%s/ws_Console/tourlistframe.asp" % HOST)
        time.sleep(1.5)
        self.shot(window, "tournaments.png")
        lists = [r for r in self.requests() if r.get("target", "").lower().endswith("tourlistframe.asp")]
        self.assertTrue(lists, "the tournament list was never asked for")

        desktop.click(window, *REFRESH)
        self.wait_for_trace("Refresh")

        # The tip shows once per run.
        desktop.click(window, *TIP)
        tip = self.wait_for_tip(console, window)
        self.assertIsNotNone(tip, "the tip did not show")
        time.sleep(1.0)
        self.shot(tip, "tip.png")
        _, _, tip_width, tip_height = desktop.geometry(tip)
        desktop.click(tip, 8, tip_height - 30 + 11)  # Don't show this screen again
        desktop.click(tip, tip_width - 5 - 30, tip_height - 30 + 2 + 12)  # Close
        desktop.wait_gone(tip)
        desktop.click(window, *TIP)
        self.assertIsNone(self.wait_for_tip(console, window, timeout=3.0))

        # EXIT ends the process, after the one-second pause.
        clicked = time.monotonic()
        desktop.click(window, *EXIT)
        self.assertEqual(console.wait(30), 0)
        self.assertGreaterEqual(time.monotonic() - clicked, 0.9)
        self.assertLess(time.monotonic() - clicked, 5.0)

        trace = self.trace()
        for expected in ("Init Console", "Init Login Dialog", "INET Initialized", "Guest Login",
                         "Sending Login Information", "Login Command Complete",
                         "Nav to http://%s/ws_Console/tournamentconsole.asp" % HOST,
                         "Navigate Complete", "Refresh"):
            self.assertTrue(any(line.startswith(expected) for line in trace),
                            "%r missing from the trace %r" % (expected, trace))

        # A new run: the ticked tip stays away; Escape ends the console.
        console = self.start_console()
        window = self.log_in_as_guest(console)
        desktop.click(window, *TIP)
        self.assertIsNone(self.wait_for_tip(console, window, timeout=3.0))
        desktop.key(window, "Escape")
        self.assertEqual(console.wait(30), 0)

    def test_b_the_wait_while_a_play_starts(self):
        self.reg("add", GENERAL + "\\Clients\\Word Maze", "/v", "EXEPATH", "/d", "/bin/true", "/f")
        fault = json.dumps({"kind": "slow", "delay": 5, "command": "STARTTOUR", "count": 1})
        urllib.request.urlopen(urllib.request.Request(
            "http://127.0.0.1:%d/_control/fault" % self.http_port, data=fault.encode(),
            method="POST"), timeout=10).read()

        console = self.start_console()
        window = self.log_in_as_guest(console)
        desktop.click(window, *FIRST_GAME)
        self.wait_for_trace("Nav to http://%s/ws_Console/tourlistframe.asp" % HOST)
        time.sleep(1.5)
        desktop.click(window, *FIRST_PLAY)
        wait = self.wait_for_other_window(console, window, timeout=10.0, least=(150, 40))
        self.assertIsNotNone(wait, "no wait dialog while the service took its time")
        time.sleep(0.5)
        self.shot(wait, "server-wait.png")
        desktop.screenshot_screen(os.path.join(self.shots, "server-wait-over-console.png"),
                                  crop=self.around(window))

    def test_c_two_consoles_started_at_once(self):
        """Exactly one keeps running; the other hands over to it and ends with 0."""
        output = open(os.path.join(self.scratch, "velora-output.txt"), "ab")
        self.addCleanup(output.close)
        for round_ in range(6):
            consoles = []
            for n in range(2):
                run_dir = os.path.join(self.scratch, "twice-%d-%d" % (round_, n))
                os.makedirs(run_dir)
                consoles.append(subprocess.Popen([OPTIONS.velora], cwd=run_dir, env=self.env,
                                                 stdout=output, stderr=subprocess.STDOUT))
            for console in consoles:
                self.addCleanup(self.stop, console)
            deadline = time.monotonic() + 60
            while all(c.poll() is None for c in consoles) and time.monotonic() < deadline:
                time.sleep(0.1)
            ended = [c for c in consoles if c.poll() is not None]
            self.assertEqual(len(ended), 1, "round %d: %d consoles ended" % (round_, len(ended)))
            self.assertEqual(ended[0].returncode, 0, "round %d" % round_)
            survivor = next(c for c in consoles if c.poll() is None)
            desktop.wait_for_window(LOGIN, pid=survivor.pid)
            self.assertIsNone(survivor.poll(), "round %d" % round_)
            self.stop(survivor)

    def test_d_installers_run_and_the_page_sees_what_they_installed(self):
        # An old Chess, so that the page offers its upgrade.
        self.reg("add", GENERAL + "\\Clients\\Chess", "/v", "VERSION", "/d", "1.0", "/f")
        console = self.start_console()
        window = self.log_in_as_guest(console)
        desktop.click(window, *SOFTWARE)
        software = "Nav to http://%s/ws_Console/softwareversions.asp" % HOST
        self.wait_for_trace(software)
        time.sleep(1.5)
        self.shot(window, "software.png")

        # INSTALL: the installer runs to its end, then the page is loaded again
        # with the version it recorded.
        desktop.click(window, *INSTALL_WORD_MAZE)
        self.confirm_download(console)
        deadline = time.monotonic() + 60
        while self.count_trace(software) < 2 and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(self.count_trace(software), 2, "the page was not loaded again")
        self.assertIn("Word Maze", self.installed_marks())
        reports = [self.form_of(r) for r in self.requests()
                   if r["target"].lower().endswith("softwareversions.asp")]
        self.assertNotIn("Word Maze", reports[-2])
        self.assertEqual(reports[-1].get("Word Maze"), "1.5")
        self.assertEqual(reports[-1].get("Chess"), "1.0")
        downloads = self.download_directories()
        self.assertEqual(len(downloads), 1)
        self.assertEqual(os.stat(downloads[0]).st_mode & 0o7777, 0o700)
        setup = os.path.join(downloads[0], "wordmaze-setup.sh")
        self.assertEqual(os.stat(setup).st_mode & 0o7777, 0o700)
        time.sleep(1.5)
        self.shot(window, "software-installed.png")

        # UPGRADE with RESTART=1: the console ends as soon as the installer has started.
        desktop.click(window, *UPGRADE_CHESS)
        self.confirm_download(console)
        self.assertEqual(console.wait(60), 0)
        deadline = time.monotonic() + 30
        while "Chess" not in self.installed_marks() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn("Chess", self.installed_marks(), "the upgrade's installer never ran")
        self.assertEqual(len(self.download_directories()), 2, "a directory was reused")

    def confirm_download(self, console):
        box = desktop.wait_for_window("^Confirm Download$", pid=console.pid)
        desktop.key(box, "Return")
        desktop.wait_gone(box)

    def installed_marks(self):
        """What the demo's installers say they installed, from their marks."""
        marks = []
        for name in os.listdir(self.temp):
            if name.startswith("kestrix-demo-installed-"):
                with open(os.path.join(self.temp, name)) as f:
                    marks.append(f.read().strip())
        return " ".join(marks)

    def download_directories(self):
        return sorted(os.path.join(self.temp, n) for n in os.listdir(self.temp)
                      if n.startswith("kestrix-download-"))

    @staticmethod
    def form_of(request):
        return dict(urllib.parse.parse_qsl(request["body"], encoding="latin-1"))

    @staticmethod
    def around(window):
        x, y, width, height = desktop.geometry(window)
        return width, height, x, y

    def wait_for_tip(self, console, console_window, timeout=20.0):
        """The tip: another window of the console's, the size the page asked for."""
        return self.wait_for_other_window(console, console_window, timeout, least=(300, 200))

    @staticmethod
    def wait_for_other_window(console, console_window, timeout, least):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in desktop.windows(pid=console.pid):
                if window != console_window:
                    _, _, width, height = desktop.geometry(window)
                    if width >= least[0] and height >= least[1]:
                        return window
            time.sleep(0.2)
        return None


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--velora", required=True)
    parser.add_argument("--kxreg", required=True)
    parser.add_argument("--screenshots")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

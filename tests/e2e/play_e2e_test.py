"""A whole play on a virtual desktop: the real console, the demo service,
the sample game in its automatic mode and a private session bus, driven
with real clicks as a player would.

Run under xvfb-run; ctest does. Options: --velora, --kxreg, --game,
--screenshots DIR.
"""

import argparse
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_world  # noqa: E402
import desktop  # noqa: E402
from console_e2e_test import (CONSOLE, FIRST_GAME, GENERAL, HOST,  # noqa: E402
                              LOGIN, ROOT, dialog_point)

OPTIONS = None
PLAY_GREEN = (0x2a, 0xa2, 0x6f)  # the demo pages' Play buttons
CLIENTS = GENERAL + "\\Clients\\Word Maze"


class PrivateSessionBus:
    """A session bus of the test's own, whose activation files live in the
    test's data directory, so that registration there is what it reads."""

    def __init__(self, scratch, service_dir):
        config = os.path.join(scratch, "session.conf")
        with open(config, "w") as f:
            f.write("""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%s</listen>
  <servicedir>%s</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""" % (scratch, service_dir))
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, text=True, cwd=scratch)
        self.address = self.daemon.stdout.readline().strip()
        if not self.address:
            raise RuntimeError("the session bus did not start")

    def close(self):
        self.daemon.terminate()
        self.daemon.wait(10)


class PlayOnTheDesktop(demo_world.ConsoleWorld):
    @classmethod
    def setUpClass(cls):
        cls.kxreg = OPTIONS.kxreg
        cls.scratch = tempfile.mkdtemp(prefix="kx_play_")
        cls.shots = OPTIONS.screenshots or os.path.join(cls.scratch, "shots")
        data = os.path.join(cls.scratch, "data")
        cls.bus = PrivateSessionBus(cls.scratch, os.path.join(data, "dbus-1", "services"))
        cls.env = dict(os.environ,
                       XDG_CONFIG_HOME=os.path.join(cls.scratch, "config"),
                       XDG_STATE_HOME=os.path.join(cls.scratch, "state"),
                       XDG_DATA_HOME=data,
                       TMPDIR=os.path.join(cls.scratch, "tmp"),
                       DBUS_SESSION_BUS_ADDRESS=cls.bus.address)
        cls.service, cls.demo_state, ports = demo_world.start_demo_service(cls.scratch)
        cls.http_port = ports["http"]
        demo_world.point_console_at(cls.reg, ports)
        # The game in a directory of its own, where it writes its verify file.
        os.makedirs(cls.env["TMPDIR"])
        cls.game_dir = os.path.join(cls.scratch, "wordmaze")
        os.makedirs(cls.game_dir)
        cls.game = os.path.join(cls.game_dir, "kx-wordmaze")
        shutil.copy(OPTIONS.game, cls.game)
        cls.reg("add", CLIENTS, "/v", "EXEPATH", "/d", cls.game, "/f")
        cls.reg("add", CLIENTS, "/v", "VERSION", "/d", "1.5", "/f")
        cls.run_dir = os.path.join(cls.scratch, "run")
        os.makedirs(cls.run_dir)
        cls.output = os.path.join(cls.scratch, "output.txt")

    @classmethod
    def tearDownClass(cls):
        cls.bus.close()
        cls.end_world()

    def setUp(self):
        # A test that stops its console mid-post leaves a score for the next
        # login to be offered; each test starts without one.
        for name in self.pending_files():
            os.remove(os.path.join(self.state_dir(), name))
        # Nor does a fault a failed test left unused reach the next one.
        urllib.request.urlopen(urllib.request.Request(
            "http://127.0.0.1:%d/_control/reset" % self.http_port, data=b"",
            method="POST"), timeout=10).read()

    def diagnostic_files(self):
        return (("trace", os.path.join(self.run_dir, "debug.txt")),
                ("console and game output", self.output))

    def start(self, program, extra_env=None, args=()):
        env = dict(self.env, **(extra_env or {}))
        with open(self.output, "ab") as output:
            process = subprocess.Popen([program] + list(args), cwd=self.run_dir, env=env,
                                       stdout=output, stderr=subprocess.STDOUT)
        self.addCleanup(self.stop, process)
        return process

    @staticmethod
    def stop(process):
        if process.poll() is None:
            process.kill()
            process.wait(10)

    def requests(self, command=None):
        with open(os.path.join(self.demo_state, "requests.jsonl")) as f:
            found = [json.loads(line) for line in f if line.strip()]
        if command is None:
            return found
        return [r for r in found if ("COMMAND=%s&" % command) in (r.get("body") or "")]

    def add_fault(self, **fault):
        urllib.request.urlopen(urllib.request.Request(
            "http://127.0.0.1:%d/_control/fault" % self.http_port,
            data=json.dumps(fault).encode(), method="POST"), timeout=10).read()

    def state_dir(self):
        return os.path.join(self.env["XDG_STATE_HOME"], "kestrix")

    def pending_files(self):
        state = self.state_dir()
        return sorted(n for n in os.listdir(state) if n.startswith("pending-score")) \
            if os.path.isdir(state) else []

    def scored_play(self, play_id):
        db = sqlite3.connect(os.path.join(self.demo_state, "kestrix-demo.sqlite3"))
        try:
            return db.execute("SELECT score, gcs FROM plays WHERE id = ?",
                              (play_id,)).fetchone()
        finally:
            db.close()

    def power_loss(self, *processes):
        for process in processes:
            os.kill(process.pid if hasattr(process, "pid") else process, signal.SIGKILL)
        for process in processes:
            if hasattr(process, "wait"):
                process.wait(10)

    def offer_after_login(self, shot):
        """Starts the console, logs the guest in and answers the offer with Yes;
        answers the console and the text the player read."""
        console = self.start(OPTIONS.velora)
        login = desktop.wait_for_window(LOGIN, pid=console.pid)
        desktop.click(login, *dialog_point(login, (186, 220), 150, 173))  # Guest Login
        box = desktop.wait_for_window("^Kestrix$", pid=console.pid, timeout=30)
        time.sleep(1.0)
        desktop.screenshot_screen(os.path.join(self.shots, shot))
        text = desktop.read_text(box)
        desktop.key(box, "Return")
        return console, text

    def game_output(self):
        with open(self.output, encoding="latin-1") as f:
            return f.read()

    def log_in(self, console, user=None, password=None):
        login = desktop.wait_for_window(LOGIN, pid=console.pid)
        if user is None:
            desktop.click(login, *dialog_point(login, (186, 220), 150, 173))  # Guest Login
        else:
            # The field may hold the last player's name: replace it, as a player would.
            desktop.click(login, *dialog_point(login, (186, 220), 119, 21))
            desktop.key(login, "ctrl+a")
            desktop.type_text(login, user)
            desktop.click(login, *dialog_point(login, (186, 220), 119, 37))
            desktop.key(login, "ctrl+a")
            desktop.type_text(login, password)
            desktop.key(login, "Return")
        desktop.wait_gone(login)
        window = desktop.wait_for_window(CONSOLE, pid=console.pid)
        time.sleep(1.5)
        return window

    def play_first_tournament(self, window):
        desktop.click(window, *FIRST_GAME)
        # The first green Play button in the frame, once the list has painted.
        deadline = time.monotonic() + 20
        play = None
        while play is None and time.monotonic() < deadline:
            time.sleep(0.5)
            play = desktop.find_colour(window, PLAY_GREEN, region=(190, 54, 610, 491))
        if play is None:
            desktop.screenshot(window, os.path.join(self.shots, "no-play-button.png"))
        self.assertIsNotNone(play, "no Play button in the tournament list")
        desktop.click(window, *play)

    def wait_until(self, what, condition, timeout=60.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return
            time.sleep(0.1)
        self.fail("gave up waiting for " + what)

    def test_a_whole_play_posts_the_score_and_shows_the_rank(self):
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "4321"})
        window = self.log_in(console)
        ends_before = len(self.requests("ENDGAME"))
        self.play_first_tournament(window)

        game = desktop.wait_for_window("^Word Maze$", timeout=30)
        # The console steps aside while the game runs.
        self.assertNotIn(window, desktop.windows(CONSOLE))
        desktop.screenshot(game, os.path.join(self.shots, "game.png"))

        self.wait_until("the score", lambda: len(self.requests("ENDGAME")) > ends_before)
        end = self.requests("ENDGAME")[-1]["body"]
        self.assertIn("&SCORE=4321&", end + "&")
        self.assertRegex(end, r"&GCS=[0-9a-f]{32}")
        self.assertIn("MOVES=", end)
        self.wait_until("the console again", lambda: window in desktop.windows(CONSOLE))
        self.wait_until("the list with the rank", lambda: any(
            "RANK=" in (r.get("body") or "") and r.get("target", "").lower().endswith("tourlistframe.asp")
            for r in self.requests()))
        time.sleep(1.5)
        desktop.screenshot(window, os.path.join(self.shots, "rank.png"))
        # Once the service has answered, no score waits on disk any more.
        state = os.path.join(self.env["XDG_STATE_HOME"], "kestrix")
        self.assertFalse(os.path.exists(os.path.join(state, "pending-score")))
        self.assertEqual([n for n in os.listdir(state) if n.startswith("pending-score")]
                         if os.path.isdir(state) else [], [])

    def test_b_a_monitored_first_place_uploads_the_verify_file(self):
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "999999"})
        window = self.log_in(console, "monitor", "monitor")
        self.play_first_tournament(window)
        logs = os.path.join(self.demo_state, "gamelogs")
        self.wait_until("the game log", lambda: os.path.isdir(logs) and os.listdir(logs), 90)
        # The game leaves its verify file in the temporary directory; once sent it goes.
        self.wait_until("the verify file gone", lambda: not os.path.exists(
            os.path.join(self.env["TMPDIR"], "verify.txt")))
        with open(os.path.join(logs, sorted(os.listdir(logs))[0]), encoding="latin-1") as f:
            self.assertIn("999999", f.read())

    def test_c_a_second_end_game_is_refused(self):
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "1200",
                                              "KX_WORDMAZE_ENDGAME_TWICE": "1"})
        window = self.log_in(console)
        self.play_first_tournament(window)
        self.wait_until("the second EndGame's answer",
                        lambda: "80040065" in self.game_output().lower(), 60)

    def test_d_a_game_that_ends_without_a_score_gets_the_abnormal_end_message(self):
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "10",
                                              "KX_WORDMAZE_SKIP_ENDGAME": "1"})
        window = self.log_in(console)
        self.play_first_tournament(window)
        box = desktop.wait_for_window("^Error$", pid=console.pid, timeout=60)
        desktop.screenshot(box, os.path.join(self.shots, "abnormal-end.png"))
        self.assertIn("terminated abnormally", desktop.read_text(box))
        desktop.key(box, "Return")

    def test_e_a_second_console_brings_the_first_forward_and_leaves(self):
        first = self.start(OPTIONS.velora)
        desktop.wait_for_window(LOGIN, pid=first.pid)
        second = self.start(OPTIONS.velora)
        self.assertEqual(second.wait(30), 0)
        self.assertEqual(desktop.windows(pid=second.pid), [])
        self.assertIsNone(first.poll())

    def test_f_a_game_started_first_starts_the_console(self):
        subprocess.run([OPTIONS.velora, "-RegServer"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        game = self.start(self.game, {"KX_WORDMAZE_AUTO_SCORE": "10"})
        # The bus starts the console, which asks for the login as usual.
        login = desktop.wait_for_window(LOGIN, timeout=60)
        self.assertTrue(login)
        self.wait_until("the game to be answered", lambda: game.poll() is not None, 60)
        for process in desktop.windows(LOGIN):
            pid = desktop.run("xdotool", "getwindowpid", str(process), check=False).strip()
            if pid.isdigit():
                os.kill(int(pid), 9)

    def posted_late(self, score, before_kill, shot):
        """The offer after a lost console posts `score` once the guest logs in again."""
        ends_before = len(self.requests("ENDGAME"))
        self.assertEqual(self.pending_files(), ["pending-score"])
        console, text = self.offer_after_login(shot)
        self.assertIn("not posted", text)
        self.assertIn("Post it now", text)
        self.wait_until("the late post", lambda: len(self.requests("ENDGAME")) > ends_before)
        self.wait_until("the standings with the rank", lambda: any(
            "RANK=" in (r.get("body") or "")
            and r.get("target", "").lower().endswith("standings_container.asp")
            for r in self.requests()[-5:]), 30)
        late = self.requests("ENDGAME")[-1]["body"]
        self.assertIn("&SCORE=%d&" % score, late + "&")
        play_id = int(late.split("&PLAYID=")[1].split("&")[0])
        checksum = late.split("&GCS=")[1].split("&")[0]
        if before_kill is not None:
            # The service's answer was lost, not the post: the same body again.
            self.assertEqual(late, before_kill)
        self.assertEqual(self.scored_play(play_id), (score, checksum))
        self.wait_until("the record removed", lambda: self.pending_files() == [])
        window = desktop.wait_for_window(CONSOLE, pid=console.pid)
        time.sleep(1.5)
        desktop.screenshot(window, os.path.join(self.shots, "late-rank.png"))

    def test_g_a_score_the_service_held_when_the_console_was_killed_is_posted_later(self):
        self.add_fault(kind="slow", delay=120, command="ENDGAME", count=1)
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "5151"})
        window = self.log_in(console)
        ends_before = len(self.requests("ENDGAME"))
        self.play_first_tournament(window)
        self.wait_until("the held post", lambda: len(self.requests("ENDGAME")) > ends_before)
        held = self.requests("ENDGAME")[-1]["body"]
        time.sleep(0.5)
        self.power_loss(console)
        self.posted_late(5151, held, "pending-offer-held.png")

    def test_h_a_score_handed_over_just_before_a_power_loss_is_posted_later(self):
        console = self.start(OPTIONS.velora, {"KX_WORDMAZE_AUTO_SCORE": "6262",
                                              "KX_WORDMAZE_FINAL_SECONDS": "60"})
        window = self.log_in(console)
        ends_before = len(self.requests("ENDGAME"))
        self.play_first_tournament(window)
        game = desktop.wait_for_window("^Word Maze$", timeout=30)
        game_pid = int(desktop.run("xdotool", "getwindowpid", str(game)).strip())
        # EndGame writes the record before it returns to the game.
        self.wait_until("the kept score", lambda: self.pending_files() == ["pending-score"])
        self.power_loss(console, game_pid)
        self.assertEqual(len(self.requests("ENDGAME")), ends_before)
        self.posted_late(6262, None, "pending-offer.png")

    def test_i_an_unreadable_record_is_set_aside_whole_and_the_player_told(self):
        os.makedirs(self.state_dir(), exist_ok=True)
        torn = b"KXSCORE 1\nUSERNAME guest\nGAMENAME Wo"
        with open(os.path.join(self.state_dir(), "pending-score"), "wb") as f:
            f.write(torn)
        console, text = self.offer_after_login("pending-unreadable.png")
        self.assertIn("could not be read", text)
        self.assertEqual(self.pending_files(), ["pending-score.unreadable-1"])
        with open(os.path.join(self.state_dir(), "pending-score.unreadable-1"), "rb") as f:
            self.assertEqual(f.read(), torn)
        desktop.wait_for_window(CONSOLE, pid=console.pid)
        self.assertIsNone(console.poll())


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--velora", required=True)
    parser.add_argument("--kxreg", required=True)
    parser.add_argument("--game", required=True)
    parser.add_argument("--screenshots")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

"""The console's processor time while a player plays a 30-second game.

Runs the real console, the demo service and the sample game (automatic mode
stretched to the given length) on a private session bus; run under xvfb-run.
Counts the console's own processes (the console and its web engine helpers),
not the game, from the game's window showing to the game's end.
"""

import argparse
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import desktop  # noqa: E402
import play_e2e_test  # noqa: E402
sys.path.insert(0, HERE)
from console_startup import descendants  # noqa: E402


def console_cpu(pid, game_pid):
    game = set(descendants(game_pid)) if game_pid else set()
    return sum(cpu_seconds_of(p) for p in descendants(pid) if p not in game)


def cpu_seconds_of(pid):
    ticks = os.sysconf("SC_CLK_TCK")
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / ticks
    except (OSError, IndexError, ValueError):
        return 0.0


class Measure(play_e2e_test.PlayOnTheDesktop):
    SECONDS = 30

    def test_console_cpu_during_a_game(self):
        console = self.start(play_e2e_test.OPTIONS.velora,
                             {"KX_WORDMAZE_AUTO_SCORE": "500",
                              "KX_WORDMAZE_AUTO_SECONDS": str(self.SECONDS)})
        window = self.log_in(console)
        self.play_first_tournament(window)
        game_window = desktop.wait_for_window("^Word Maze$", timeout=30, settle=0)
        game_pid = int(desktop.run("xdotool", "getwindowpid", str(game_window)).strip())
        before, started = console_cpu(console.pid, game_pid), time.monotonic()
        while os.path.exists("/proc/%d" % game_pid) and time.monotonic() - started < 600:
            after, ended = console_cpu(console.pid, game_pid), time.monotonic()
            time.sleep(0.2)
        used = after - before
        print("\ngame of %.1f s: console CPU %.3f s = %.2f %% of one core (goal < 1 %%)"
              % (ended - started, used, used / (ended - started) * 100.0))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--velora", required=True)
    parser.add_argument("--kxreg", required=True)
    parser.add_argument("--game", required=True)
    parser.add_argument("--seconds", type=int, default=30)
    options, rest = parser.parse_known_args()
    # The console and the game start in scratch directories, where a path
    # relative to the caller's directory would lead nowhere.
    for name in ("velora", "kxreg", "game"):
        program = os.path.abspath(getattr(options, name))
        if not os.access(program, os.X_OK):
            parser.error("not an executable program: %s" % program)
        setattr(options, name, program)
    if options.seconds < 1:
        parser.error("--seconds must be at least 1")
    options.screenshots = None
    play_e2e_test.OPTIONS = options
    Measure.SECONDS = options.seconds
    suite = unittest.TestSuite([Measure("test_console_cpu_during_a_game")])
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

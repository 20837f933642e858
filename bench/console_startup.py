"""How quickly the console comes up and how little it uses once up.

Measures, on a virtual desktop against the demo service (run under
xvfb-run, see bench/README.md):
  - cold start to the login dialog shown (process start to its window mapped),
  - Guest Login click to the first page painted (the main page's top bar
    seen on the screen),
  - the console's memory once the page shows (PSS of the console and its web
    engine helper processes),
  - its processor use while idle (the same processes over a quiet period).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import demo_world  # noqa: E402
import desktop  # noqa: E402

ROOT = demo_world.ROOT
TOP_BAR = (400, 6)  # a pixel of the main page's dark top bar


def descendants(pid):
    found, queue = [], [pid]
    while queue:
        parent = queue.pop()
        found.append(parent)
        try:
            with open("/proc/%d/task/%d/children" % (parent, parent)) as f:
                queue += [int(child) for child in f.read().split()]
        except OSError:
            pass
    return found


def pss_kib(pid):
    total = 0
    for process in descendants(pid):
        try:
            with open("/proc/%d/smaps_rollup" % process) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def cpu_seconds(pid):
    ticks = os.sysconf("SC_CLK_TCK")
    total = 0
    for process in descendants(pid):
        try:
            with open("/proc/%d/stat" % process) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except (OSError, IndexError, ValueError):
            pass
    return total / ticks


def pixel(window, x, y):
    out = desktop.run("import", "-window", str(window), "-crop", "1x1+%d+%d" % (x, y),
                      "-depth", "8", "txt:-", check=False)
    for line in out.splitlines():
        if "#" in line and not line.startswith("#"):
            return line.split("#", 1)[1][:6]
    return None


def one_run(velora, env, run_dir, idle_seconds):
    started = time.monotonic()
    console = subprocess.Popen([velora], cwd=run_dir, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        login = desktop.wait_for_window("^Please enter your username and password$",
                                        pid=console.pid, settle=0)
        to_login = time.monotonic() - started
        _, _, width, height = desktop.geometry(login)
        desktop.click(login, 150 * width / 186, 173 * height / 220, settle=0)
        clicked = time.monotonic()
        window = desktop.wait_for_window("^Kestrix Console$", pid=console.pid, settle=0)
        while time.monotonic() - clicked < 60:
            colour = pixel(window, *TOP_BAR)
            if colour and int(colour[0:2], 16) < 0x40 and int(colour[4:6], 16) > 0x30:
                break
            time.sleep(0.02)
        else:
            raise RuntimeError("the main page never showed")
        to_page = time.monotonic() - clicked
        time.sleep(2.0)  # let the engine settle before reading memory
        memory = pss_kib(console.pid)
        before = cpu_seconds(console.pid)
        time.sleep(idle_seconds)
        idle = (cpu_seconds(console.pid) - before) / idle_seconds * 100.0
        return {"login_shown_s": to_login, "page_painted_s": to_page,
                "pss_mib": memory / 1024.0, "idle_cpu_percent": idle}
    finally:
        console.kill()
        console.wait(10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--velora", default=os.path.join(ROOT, "build/src/platform/linux/qt/velora"))
    parser.add_argument("--kxreg", default=os.path.join(ROOT, "build/src/tools/kxreg"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    options = parser.parse_args()
    # The console starts in a scratch directory, where a path relative to
    # the caller's directory would lead nowhere.
    options.velora = os.path.abspath(options.velora)
    options.kxreg = os.path.abspath(options.kxreg)
    for program in (options.velora, options.kxreg):
        if not os.access(program, os.X_OK):
            parser.error("not an executable program: %s" % program)
    if options.runs < 1 or options.idle_seconds <= 0:
        parser.error("--runs must be at least 1 and --idle-seconds above 0")

    scratch = tempfile.mkdtemp(prefix="kx_bench_start_")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(scratch, "config"),
               XDG_STATE_HOME=os.path.join(scratch, "state"))
    service, _, ports = demo_world.start_demo_service(scratch)
    try:
        demo_world.point_console_at(
            lambda *args: subprocess.run([options.kxreg] + list(args), env=env, check=True,
                                         stdout=subprocess.DEVNULL), ports)
        run_dir = os.path.join(scratch, "run")
        os.makedirs(run_dir)
        results = [one_run(options.velora, env, run_dir, options.idle_seconds)
                   for _ in range(options.runs)]
    finally:
        service.terminate()
        service.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)

    print("%-28s %10s %10s %10s" % ("", "median", "best", "worst"))
    for key, label in (("login_shown_s", "cold start to login (s)"),
                       ("page_painted_s", "login to first page (s)"),
                       ("pss_mib", "memory, PSS (MiB)"),
                       ("idle_cpu_percent", "idle CPU (% of a core)")):
        values = [r[key] for r in results]
        print("%-28s %10.3f %10.3f %10.3f" % (label, statistics.median(values), min(values),
                                              max(values)))


if __name__ == "__main__":
    main()

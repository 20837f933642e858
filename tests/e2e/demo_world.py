"""The world a console test runs in: the demo service on free local ports,
and the console's settings pointed at it, as make demo does."""

import json
import os
import shutil
import subprocess
import sys
import time
import unittest

import desktop

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
HOST = "demo.kestrix.test"
GENERAL = "HKLM\\Software\\Kestrix Inc.\\General"


def start_demo_service(scratch):
    """Starts the service with its state under `scratch`; answers the process,
    its state directory and its ports ({"http", "https", "ca"})."""
    port_file = os.path.join(scratch, "ports.json")
    state = os.path.join(scratch, "demo")
    service = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "demo", "kestrix_demo.py"), "--http-port", "0",
         "--https-port", "0", "--host-name", HOST, "--state-dir", state,
         "--port-file", port_file],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
        if time.monotonic() > deadline or service.poll() is not None:
            service.kill()
            raise RuntimeError("the demo service did not start")
        time.sleep(0.1)
    time.sleep(0.1)  # the file is written whole, but give it its last byte
    with open(port_file) as f:
        return service, state, json.load(f)


def point_console_at(reg, ports):
    """Writes ServiceHost, CAFile and ConnectTo through `reg` (kxreg's arguments)."""
    reg("add", GENERAL, "/v", "ServiceHost", "/d", HOST, "/f")
    reg("add", GENERAL, "/v", "CAFile", "/d", ports["ca"], "/f")
    reg("add", GENERAL, "/v", "ConnectTo", "/d",
        "%s:80:127.0.0.1:%d;%s:443:127.0.0.1:%d" % (HOST, ports["http"], HOST, ports["https"]),
        "/f")


class ConsoleWorld(unittest.TestCase):
    """The base of the tests that run the real console: the store tool, the
    end of the world, and what a failure prints, since a failure on a machine
    far away is only worth as much as what it tells."""

    kxreg = None
    env = None
    scratch = None
    service = None

    @classmethod
    def reg(cls, *args):
        subprocess.run([cls.kxreg] + list(args), env=cls.env, check=True,
                       stdout=subprocess.DEVNULL)

    @classmethod
    def end_world(cls):
        cls.service.terminate()
        cls.service.wait(10)
        if os.environ.get("KX_E2E_KEEP"):
            print("kept", cls.scratch, file=sys.stderr)
        else:
            shutil.rmtree(cls.scratch, ignore_errors=True)

    def diagnostic_files(self):
        """(label, path) of the files whose last lines a failure shows."""
        return ()

    def run(self, result=None):
        failures = len(result.failures) + len(result.errors) if result else 0
        outcome = super().run(result)
        if result and len(result.failures) + len(result.errors) > failures:
            for label, path in self.diagnostic_files():
                if os.path.exists(path):
                    with open(path, encoding="latin-1") as f:
                        lines = [line for line in f if not line.startswith("  *")]
                    sys.stderr.write("---- last lines of the %s ----\n%s"
                                     % (label, "".join(lines[-30:])))
            visible = [(w, desktop.title(w), desktop.geometry(w)) for w in desktop.windows()]
            sys.stderr.write("---- visible windows ----\n%r\n" % (visible,))
        return outcome

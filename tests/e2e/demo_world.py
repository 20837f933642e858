"""The world a console test runs in: the demo service on free local ports,
and the console's settings pointed at it, as make demo does."""

import json
import os
import subprocess
import sys
import time

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

"""Starts the demo service in a subprocess on free ports and talks to it."""

import http.client
import json
import os
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

DEMO = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                    "kestrix_demo.py")
HOST = "demo.kestrix.test"
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


class NamedHTTPS(http.client.HTTPSConnection):
    """Connects to the loopback address but checks the certificate for a name."""

    def __init__(self, port, name, context, timeout):
        super().__init__("127.0.0.1", port, timeout=timeout, context=context)
        self._name = name

    def connect(self):
        http.client.HTTPConnection.connect(self)
        self.sock = self._context.wrap_socket(self.sock, server_hostname=self._name)


class Service:
    def __init__(self, *extra):
        self.tmp = tempfile.TemporaryDirectory(prefix="kxdemo-test-")
        self.state = os.path.join(self.tmp.name, "state")
        port_file = os.path.join(self.tmp.name, "ports.json")
        self.proc = subprocess.Popen(
            [sys.executable, DEMO, "--http-port", "0", "--https-port", "0",
             "--state-dir", self.state, "--port-file", port_file, "--host-name", HOST,
             *extra],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.time() + 30
        while not os.path.exists(port_file):
            if self.proc.poll() is not None or time.time() > deadline:
                if self.proc.poll() is None:
                    self.proc.kill()
                err = self.proc.stderr.read().decode(errors="replace")
                self.stop()
                raise RuntimeError("demo service did not start: %s" % err)
            time.sleep(0.05)
        with open(port_file) as f:
            info = json.load(f)
        self.http_port, self.https_port, self.ca = info["http"], info["https"], info["ca"]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stderr.close()
        self.tmp.cleanup()

    # Connections

    def http(self, timeout=10):
        return http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=timeout)

    def https(self, server_hostname=HOST, timeout=10):
        ctx = ssl.create_default_context(cafile=self.ca)
        return NamedHTTPS(self.https_port, server_hostname, ctx, timeout)

    def request(self, method, path, body=None, headers=None, secure=False):
        conn = self.https() if secure else self.http()
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            return resp.status, dict(resp.getheaders()), resp.read()
        finally:
            conn.close()

    def post(self, path, body, secure=False):
        if isinstance(body, str):
            body = body.encode("latin-1")
        return self.request("POST", path, body, FORM, secure)

    def command(self, body, path="/ws_Console/command.asp"):
        status, _, data = self.post(path, body, secure=True)
        return status, data, parse_reply(data)

    def control(self, path, obj=None):
        body = json.dumps(obj).encode() if obj is not None else b""
        status, _, data = self.request("POST", path, body,
                                       {"Content-Type": "application/json"})
        return status, json.loads(data)

    def fault(self, **fields):
        status, reply = self.control("/_control/fault", fields)
        assert status == 200, reply
        return reply

    def log_entries(self):
        with open(os.path.join(self.state, "requests.jsonl")) as f:
            return [json.loads(line) for line in f]


def parse_reply(data):
    """The console's reading of a reply: CR-ended lines, first "=" splits, last wins."""
    out = {}
    for line in data.decode("latin-1").split("\r\n"):
        if "=" in line:
            k, v = line.split("=", 1)
            out[k] = v
    return out


def form(*pairs):
    return "&".join("%s=%s" % (k, urllib.parse.quote_plus(v, safe="")) for k, v in pairs)


class ServiceTest(unittest.TestCase):
    """One service per test class, shared by its tests."""

    service_args = ()

    @classmethod
    def setUpClass(cls):
        cls.svc = Service(*cls.service_args)

    @classmethod
    def tearDownClass(cls):
        cls.svc.stop()

    def setUp(self):
        self.svc.control("/_control/reset")

#!/usr/bin/env python3
"""Runs a Windows test program under Wine with the demo service beside it.

The console reaches its service on ports 80 and 443 under a host name and
trusts it through the certificate store. The host must not change for it, so
where unprivileged user namespaces are allowed the service and the program
run together in a namespace made here ("namespace"): its own loopback, ports
80 and 443 bound inside it, a private hosts file bind-mounted over
/etc/hosts. The service's CA is trusted only in the build's Wine prefix (the
program adds it to the prefix's Root store).

Where namespaces are refused (some containers) the services run on free high
ports ("proxy"): the backend's own tests reach them directly under
"localhost", a name their certificates also carry, and the request engine,
which only uses 80 and 443, reaches them through a forwarding proxy of this
script's named in http_proxy, which tunnels CONNECT to the TLS port, so
HTTPS is still verified end to end under the service's own names.

The path taken is printed first, and handed to the program as KX_DEMO_PATH.
"""


import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HOST = "demo.kestrix.test"
OTHER_HOST = "other.kestrix.test"      # the first service, a name not in its certificate
UNTRUSTED_HOST = "untrusted.kestrix.test"  # a second service with a CA nobody trusts
UNTRUSTED_ADDRESS = "127.0.0.2"
CLOSED_HOST = "closed.kestrix.test"        # an address where nothing listens
CLOSED_ADDRESS = "127.0.0.3"


def windows_path(path):
    """Wine's Z: drive is the host's root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def start_service(demo, scratch, name, host, bind, http_port, https_port):
    state = os.path.join(scratch, name)
    port_file = os.path.join(scratch, name + "-ports.json")
    log = open(os.path.join(scratch, name + ".log"), "wb")
    service = subprocess.Popen(
        [sys.executable, demo, "--http-port", str(http_port), "--https-port", str(https_port),
         "--bind", bind, "--host-name", host, "--state-dir", state, "--port-file", port_file,
         "--verbose"],
        stdout=log, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 60
    while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
        if time.monotonic() > deadline or service.poll() is not None:
            service.kill()
            log.close()
            with open(log.name, errors="replace") as f:
                sys.stderr.write(f.read()[-3000:])
            raise RuntimeError("the demo service %s did not start" % name)
        time.sleep(0.1)
    time.sleep(0.1)
    with open(port_file) as f:
        ports = json.load(f)
    return service, state, ports


class ForwardingProxy:
    """Sends each request for a (name, port) of `routes` to its local
    address: CONNECT as a tunnel, anything else with its target made
    origin-form and one request per connection."""

    def __init__(self, routes):
        self.routes = routes
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._handle, args=(client,), daemon=True).start()

    @staticmethod
    def _pipe(source, sink):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                sink.sendall(data)
        except OSError:
            pass
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def _handle(self, client):
        with client:
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                data = client.recv(65536)
                if not data:
                    return
                head += data
            head, _, rest = head.partition(b"\r\n\r\n")
            lines = head.decode("latin-1").split("\r\n")
            try:
                method, target, version = lines[0].split(" ")
                if method == "CONNECT":
                    name, port = target.rsplit(":", 1)
                    path = None
                else:
                    url = urllib.parse.urlsplit(target)
                    name, port = url.hostname, url.port or 80
                    path = (url.path or "/") + ("?" + url.query if url.query else "")
                address = self.routes.get((name.lower(), int(port)))
            except ValueError:
                address = None
            if address is None:
                client.sendall(b"HTTP/1.1 502 No route\r\nContent-Length: 0\r\n\r\n")
                return
            with socket.create_connection(address) as upstream:
                if path is None:
                    client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                    upstream.sendall(rest)
                else:
                    headers = [h for h in lines[1:] if h.split(":", 1)[0].strip().lower()
                               not in ("proxy-connection", "connection")]
                    request = "\r\n".join(["%s %s %s" % (method, path, version)] + headers +
                                           ["Connection: close", "", ""])
                    upstream.sendall(request.encode("latin-1") + rest)
                back = threading.Thread(target=self._pipe, args=(upstream, client))
                back.start()
                self._pipe(client, upstream)
                back.join()

    def close(self):
        self.listener.close()


def namespaces_work():
    try:
        probe = subprocess.run(
            ["unshare", "--user", "--map-root-user", "--net", "--mount", "sh", "-c",
             "ip link set lo up && mount --bind /dev/null /etc/hostname"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)
    except (OSError, subprocess.TimeoutExpired) as failure:
        return False, str(failure)
    if probe.returncode != 0:
        return False, probe.stderr.decode(errors="replace").strip()
    return True, ""


def enter_namespace(scratch):
    """Inside the namespace: loopback up, the service's names in a private hosts file."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    hosts = os.path.join(scratch, "hosts")
    with open(hosts, "w") as f:
        f.write("127.0.0.1 localhost %s %s\n" % (HOST, OTHER_HOST))
        f.write("%s %s\n" % (UNTRUSTED_ADDRESS, UNTRUSTED_HOST))
        f.write("%s %s\n" % (CLOSED_ADDRESS, CLOSED_HOST))
        f.write("::1 localhost\n")
    subprocess.run(["mount", "--bind", hosts, "/etc/hosts"], check=True)


def run(args, path):
    scratch = tempfile.mkdtemp(prefix="kx-wininet-")
    services = []
    try:
        if path == "namespace":
            enter_namespace(scratch)
            main = start_service(args.demo, scratch, "demo", HOST, "127.0.0.1", 80, 443)
            services.append(main[0])
            other = start_service(args.demo, scratch, "untrusted", UNTRUSTED_HOST,
                                  UNTRUSTED_ADDRESS, 80, 443)
            services.append(other[0])
            env = {"KX_DEMO_HOST": HOST, "KX_DEMO_OTHER_HOST": OTHER_HOST,
                   "KX_DEMO_UNTRUSTED_HOST": UNTRUSTED_HOST}
        else:
            main = start_service(args.demo, scratch, "demo", HOST, "127.0.0.1", 0, 0)
            services.append(main[0])
            other = start_service(args.demo, scratch, "untrusted", UNTRUSTED_HOST,
                                  "127.0.0.1", 0, 0)
            services.append(other[0])
            http, https = ("127.0.0.1", main[2]["http"]), ("127.0.0.1", main[2]["https"])
            proxy = ForwardingProxy({
                (HOST, 80): http, (HOST, 443): https,
                (OTHER_HOST, 80): http, (OTHER_HOST, 443): https,
                (UNTRUSTED_HOST, 443): ("127.0.0.1", other[2]["https"]),
            })
            env = {"KX_DEMO_HOST": "localhost", "KX_DEMO_OTHER_HOST": "",
                   "KX_DEMO_UNTRUSTED_HOST": "localhost",
                   "http_proxy": "http://127.0.0.1:%d" % proxy.port}
        env.update({"KX_DEMO_ENGINE_HOST": HOST, "KX_DEMO_ENGINE_OTHER_HOST": OTHER_HOST,
                    "KX_DEMO_ENGINE_UNTRUSTED_HOST": UNTRUSTED_HOST})
        _, state, ports = main
        env.update({
            "KX_DEMO_PATH": path,
            "KX_DEMO_HTTP_PORT": str(ports["http"]),
            "KX_DEMO_HTTPS_PORT": str(ports["https"]),
            "KX_DEMO_UNTRUSTED_HTTPS_PORT": str(other[2]["https"]),
            "KX_DEMO_CA": windows_path(ports["ca"]),
            "KX_DEMO_LOG": windows_path(os.path.join(state, "requests.jsonl")),
            "KX_DEMO_GAMELOGS": windows_path(os.path.join(state, "gamelogs")),
        })
        # Wine hands the environment on to the Windows program.
        full = dict(os.environ)
        full.update(env)
        full["WINEDEBUG"] = os.environ.get("WINEDEBUG", "-all")
        result = subprocess.run([args.wine_run, args.program] + args.gtest_args, env=full)
        # The prefix's server must not outlive this run in a namespace that is going away.
        server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
        subprocess.run([server, "-w"], env=full, stderr=subprocess.DEVNULL)
        return result.returncode
    finally:
        for service in services:
            service.terminate()
            try:
                service.wait(10)
            except subprocess.TimeoutExpired:
                service.kill()
        if os.environ.get("KX_KEEP_SCRATCH"):
            print("kept", scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--path", choices=["auto", "namespace", "proxy"], default="auto",
                        help="force a path; inside the namespace it is 'namespace'")
    parser.add_argument("gtest_args", nargs="*")
    args = parser.parse_args()

    if args.path == "auto":
        works, why = namespaces_work()
        if works:
            print("run_with_demo: path namespace: the demo service on ports 80 and 443 in a "
                  "private network and mount namespace", flush=True)
            command = ["unshare", "--user", "--map-root-user", "--net", "--mount",
                       sys.executable, os.path.abspath(__file__), "--path", "namespace",
                       "--wine-run", args.wine_run, "--demo", args.demo,
                       "--program", args.program, "--"] + args.gtest_args
            return subprocess.run(command).returncode
        print("run_with_demo: path proxy: user namespaces refused (%s); the demo service on "
              "free ports, the request engine reaching it through a forwarding proxy" % why,
              flush=True)
        return run(args, "proxy")
    return run(args, args.path)


if __name__ == "__main__":
    sys.exit(main())

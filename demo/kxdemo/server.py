"""HTTP and HTTPS listeners, request handling and routing."""

import ipaddress
import json
import os
import re
import socket
import socketserver
import ssl
import struct
import sys
import time
import traceback
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qsl, unquote, urlsplit

from . import VERSION, commands, downloads, pages
from . import protocol as P
from .faults import COMMAND_PATHS, FaultError
from .pagekit import CONSOLE_VERSION

MAX_BODY = 16 * 1024 * 1024
RESET_PAUSE = 0.2

PAGES = {
    "/ws_console/tournamentconsole.asp": pages.console_main,
    "/ws_console/softwareversions.asp": pages.software_versions,
    "/ws_console/tourlistframe.asp": pages.tour_list,
    "/ws_console/standings_container.asp": pages.standings,
    "/ws_console/createaccount/default.asp": pages.create_account_info,
    "/ws_console/timeout.asp": pages.timeout,
    "/ws_console/welcome.asp": pages.welcome,
}
ENDPOINTS = {
    "/ws_console/command.asp": "command",
    "/ws_console/createaccount/createaccount.asp": "createaccount",
}
GAMELOG = re.compile(r"^/GAMELOGS/(-?\d+)_(.+)\.txt$", re.IGNORECASE)
TIP = re.compile(r"^/ws_console/tips/([a-z0-9_-]+)\.asp$")

HTML = "text/html; charset=windows-1252"
TEXT = "text/plain"


class Reply:
    """A reply before it goes out; framing is "length", "chunked" or "close"."""

    def __init__(self, status=200, body=b"", ctype=TEXT, headers=(), stream=None,
                 length=None, framing="length"):
        self.status = status
        self.body = body
        self.ctype = ctype
        self.headers = list(headers)
        self.stream = stream
        self.length = length
        self.framing = framing

    def materialize(self):
        if self.stream is not None:
            self.body = b"".join(self.stream)
            self.stream = None
            self.length = None
        return self.body

    def chunks(self):
        if self.stream is not None:
            return self.stream
        return iter([self.body]) if self.body else iter(())

    def size(self):
        return self.length if self.stream is not None else len(self.body)


def text_reply(status, text):
    return Reply(status, (text + "\r\n").encode("latin-1", errors="replace"))


def json_reply(status, obj):
    return Reply(status, (json.dumps(obj) + "\n").encode("ascii"), ctype="application/json")


def is_loopback(address):
    try:
        ip = ipaddress.ip_address(address.split("%")[0])
    except ValueError:
        return False
    if getattr(ip, "ipv4_mapped", None) is not None:
        ip = ip.ipv4_mapped
    return ip.is_loopback


class App:
    """Everything the handlers share."""

    def __init__(self, store, faults, log, state_dir, host_name, relay=True, verbose=False):
        self.store = store
        self.faults = faults
        self.log = log
        self.state_dir = state_dir
        self.host_name = host_name
        self.relay = relay
        self.verbose = verbose
        self.gamelogs = os.path.join(state_dir, "gamelogs")
        os.makedirs(self.gamelogs, exist_ok=True)

    def route(self, method, path, original_path, pairs, body, host):
        if path in ENDPOINTS:
            if method != "POST":
                return Reply(405, P.refuse(commands.E_COMMAND, "Commands are sent with POST."),
                             headers=[("Allow", "POST")])
            return Reply(200, commands.run(self.store, ENDPOINTS[path], pairs))
        if method == "PUT":
            return self.upload(original_path, body)
        if method not in ("GET", "HEAD", "POST"):
            return text_reply(405, "Method not allowed.")
        base = "http://" + (host or self.host_name)
        ctx = pages.Ctx(self.store, pairs, base, self.relay)
        if path in PAGES:
            return Reply(200, PAGES[path](ctx), ctype=HTML)
        m = TIP.match(path)
        if m:
            page = pages.tip(ctx, m.group(1))
            return Reply(200, page, ctype=HTML) if page else text_reply(404, "No such tip.")
        if path.startswith("/downloads/"):
            return self.download(path[len("/downloads/"):])
        if GAMELOG.match(original_path):
            return self.stored_log(original_path)
        if path in ("/", "/index.html"):
            return Reply(200, self.index(), ctype=HTML)
        return text_reply(404, "Not found.")

    def download(self, rest):
        framing = "length"
        for prefix, kind in (("nolength/", "close"), ("chunked/", "chunked")):
            if rest.startswith(prefix):
                rest, framing = rest[len(prefix):], kind
        size = downloads.generated_size(rest)
        if size is not None:
            return Reply(200, ctype="application/octet-stream", stream=downloads.pattern(size),
                         length=size, framing=framing)
        if rest.endswith("-setup.sh"):
            script = downloads.installer(rest[:-len("-setup.sh")], self.store.games(),
                                         CONSOLE_VERSION)
            if script is not None:
                return Reply(200, script, ctype="application/x-sh", framing=framing)
        return text_reply(404, "No such file.")

    def _log_path(self, original_path):
        m = GAMELOG.match(original_path)
        name = re.sub(r"[^A-Za-z0-9 ._-]", "_", P.display(m.group(2))).lstrip(".") or "_"
        return int(m.group(1)), m.group(2), os.path.join(self.gamelogs, "%s_%s.txt"
                                                        % (m.group(1), name))

    def upload(self, original_path, body):
        if not GAMELOG.match(original_path):
            return text_reply(404, "Uploads go to GAMELOGS/<play id>_<user name>.txt.")
        body, complete = body
        play_id, user, target = self._log_path(original_path)
        existed = os.path.exists(target)
        tmp = target + ".part"
        with open(tmp, "wb") as f:
            f.write(body)
        os.replace(tmp, target)
        self.store.record_upload(play_id, user, target, len(body), complete)
        if not complete:
            return text_reply(400, "The body ended before its announced length; "
                                   "%d bytes kept." % len(body))
        return text_reply(200 if existed else 201, "Stored %d bytes." % len(body))

    def stored_log(self, original_path):
        _, _, target = self._log_path(original_path)
        try:
            with open(target, "rb") as f:
                return Reply(200, f.read())
        except OSError:
            return text_reply(404, "No such game log.")

    def index(self):
        links = "".join('<li><a href="%s">%s</a></li>' % (p, p) for p in (
            "/ws_Console/tournamentconsole.asp", "/ws_Console/softwareversions.asp",
            "/ws_Console/createaccount/default.asp", "/ws_Console/timeout.asp",
            "/ws_Console/welcome.asp", "/downloads/64k.bin", "/downloads/wordmaze-setup.sh"))
        return ("<!DOCTYPE html><html><head><title>Kestrix demo service</title></head>"
                "<body style='font-family:sans-serif'><h1>Kestrix demo service %s</h1>"
                "<ul>%s</ul></body></html>" % (VERSION, links)).encode("ascii")

    def control(self, method, path, body):
        if path == "/_control/faults" and method == "GET":
            return json_reply(200, {"faults": self.faults.describe()})
        if path == "/_control/reset" and method == "POST":
            self.faults.reset()
            return json_reply(200, {"ok": True})
        if path == "/_control/fault" and method == "POST":
            try:
                obj = json.loads(body.decode("utf-8"))
                fault = self.faults.add(obj)
            except (UnicodeDecodeError, ValueError) as e:
                msg = str(e) if isinstance(e, FaultError) else "body is not valid JSON: %s" % e
                return json_reply(400, {"ok": False, "error": msg})
            return json_reply(200, {"ok": True, "fault": fault.describe()})
        if path in ("/_control/faults", "/_control/reset", "/_control/fault"):
            return json_reply(405, {"ok": False, "error": "wrong method"})
        return json_reply(404, {"ok": False, "error": "unknown control path"})


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KestrixDemo/" + VERSION
    sys_version = ""
    timeout = 30

    def version_string(self):
        return self.server_version

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            # The handshake runs here, on the connection's own thread, so a
            # slow or broken client never holds up the listener.
            self.request.settimeout(10)
            self.request.do_handshake()
        super().setup()

    def parse_request(self):
        # Game log names carry the player's name unencoded; a blank in it
        # must not split the request line.
        line = self.raw_requestline.rstrip(b"\r\n")
        words = line.split(b" ")
        if len(words) > 3 and words[-1].startswith(b"HTTP/"):
            self.raw_requestline = b" ".join(
                [words[0], b"%20".join(words[1:-1]), words[-1]]) + b"\r\n"
        return super().parse_request()

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.dispatch
        raise AttributeError(name)

    def log_message(self, fmt, *args):
        if self.server.app.verbose:
            sys.stderr.write("%s %s - %s\n" % (self.server.listener, self.client_address[0],
                                               fmt % args))

    # Reading

    def read_body(self):
        """(body, complete, error reply or None)."""
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._read_chunked()
        length = self.headers.get("Content-Length")
        if length is None:
            return b"", True, None
        try:
            n = int(length)
            if n < 0:
                raise ValueError
        except ValueError:
            self.close_connection = True
            return b"", False, text_reply(400, "Bad Content-Length.")
        if n > MAX_BODY:
            self.close_connection = True
            return b"", False, text_reply(413, "Body too large.")
        data = b""
        try:
            data = self.rfile.read(n)
        except (OSError, ValueError):
            pass
        if len(data) < n:
            self.close_connection = True
            return data, False, None
        return data, True, None

    def _read_chunked(self):
        out = bytearray()
        try:
            while True:
                line = self.rfile.readline(1024)
                if not line:
                    raise ValueError("cut")
                size = int(line.split(b";")[0].strip(), 16)
                if size == 0:
                    while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(out), True, None
                if len(out) + size > MAX_BODY:
                    self.close_connection = True
                    return b"", False, text_reply(413, "Body too large.")
                piece = self.rfile.read(size)
                out += piece
                if len(piece) < size:
                    raise ValueError("cut")
                self.rfile.readline(1024)
        except (OSError, ValueError):
            self.close_connection = True
            return bytes(out), False, None

    # Dispatch

    def dispatch(self):
        app = self.server.app
        body, complete, error = self.read_body()
        app.log.write(self.server.listener, self.client_address[0], self.command,
                      self.path, self.request_version, self.headers.items(), body, complete)
        if error is not None:
            return self.send(error)
        try:
            reply, fault = self.answer(app, body, complete)
        except Exception:
            traceback.print_exc()
            self.close_connection = True
            return self.send(Reply(500, P.refuse(99, "The demo service failed on this request.")))
        if fault is not None and fault.kind == "drop":
            return self.reset_connection()
        self.send(reply, fault)

    def answer(self, app, body, complete):
        split = urlsplit(self.path)
        original = "/" + unquote(split.path, encoding="latin-1").lstrip("/")
        path = original.lower()
        if path.startswith("/_control/"):
            if not is_loopback(self.client_address[0]):
                return json_reply(403, {"ok": False, "error": "loopback only"}), None
            return app.control(self.command, path, body), None
        pairs = parse_qsl(split.query, keep_blank_values=True, encoding="latin-1")
        if self.command == "POST" and body:
            pairs = P.parse_form(body, self.headers.get("Content-Type", "")) + pairs
        command = P.first_values(pairs).get("COMMAND") if path in COMMAND_PATHS else None
        fault = app.faults.take(path, command)
        if fault is not None and not fault.runs_command:
            status = fault.status if fault.kind == "status" else 200
            return Reply(status, fault.synthetic_body(), ctype=fault.content_type or TEXT), fault
        host = self.headers.get("Host")
        data = (body, complete) if self.command == "PUT" else body
        reply = app.route(self.command, path, original, pairs, data, host)
        if fault is not None:
            if fault.kind == "status":
                reply.status = fault.status
                if fault.location is not None:
                    reply.headers.append(("Location", fault.location))
            elif fault.kind == "size":
                reply.body = fault.reshape(reply.materialize())
                reply.framing = "length"
        return reply, fault

    # Writing

    def send(self, reply, fault=None):
        delay = fault.delay if fault is not None else 0.0
        trickle = fault is not None and fault.trickle and delay > 0
        reset_at = None
        if fault is not None and fault.kind == "reset":
            reset_at = fault.after if fault.after is not None else reply.size() // 2
        if delay and not trickle:
            time.sleep(delay)
        framing = reply.framing
        if reset_at is not None:
            framing = "length"
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.ctype)
        for k, v in reply.headers:
            self.send_header(k, v)
        if framing == "length":
            self.send_header("Content-Length", str(reply.size()))
        elif framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.close_connection = True
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        if trickle:
            body = reply.materialize()
            if reset_at is not None:
                body = body[:reset_at]
            self._trickle(body, delay, framing == "chunked")
        else:
            budget = reset_at
            for piece in reply.chunks():
                if budget is not None:
                    piece = piece[:budget]
                    budget -= len(piece)
                if piece:
                    self._write(piece, framing == "chunked")
                if budget == 0:
                    break
        if reset_at is not None:
            time.sleep(RESET_PAUSE)
            return self.reset_connection()
        if framing == "chunked":
            self.wfile.write(b"0\r\n\r\n")

    def _write(self, data, chunked):
        if chunked:
            self.wfile.write(b"%X\r\n" % len(data) + data + b"\r\n")
        else:
            self.wfile.write(data)

    def _trickle(self, body, delay, chunked):
        step = max(1, -(-len(body) // 200))
        pieces = [body[i:i + step] for i in range(0, len(body), step)] or [b""]
        pause = delay / len(pieces)
        for piece in pieces:
            time.sleep(pause)
            if piece:
                self._write(piece, chunked)

    def reset_connection(self):
        """Close with RST: the client sees its connection reset, not a clean end."""
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
        except OSError:
            pass


class DemoServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, app, listener, ssl_context=None):
        self.app = app
        self.listener = listener
        self.ssl_context = ssl_context
        if ":" in address[0]:
            self.address_family = socket.AF_INET6
        super().__init__(address, Handler)

    def server_bind(self):
        # Skip the reverse name lookup of the base class: nothing here needs it.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def get_request(self):
        sock, addr = super().get_request()
        if self.ssl_context is not None:
            sock = self.ssl_context.wrap_socket(sock, server_side=True,
                                                do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, ssl.SSLError, socket.timeout, OSError)):
            return
        super().handle_error(request, client_address)

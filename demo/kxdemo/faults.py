"""Faults on demand: ways for a reply to go wrong, chosen by tests or by hand.

A fault without a path applies to the command pages only; with a path it
applies to requests for that path ("*" at its end makes it a prefix). A
count limits it to the next N matching requests.
"""

import itertools
import threading

COMMAND_PATHS = ("/ws_console/command.asp", "/ws_console/createaccount/createaccount.asp")

KINDS = ("slow", "status", "no_errorcode", "refuse", "refuse_no_text",
         "reset", "size", "empty", "drop", "body")

DEFAULT_REFUSAL = "The tournament server is busy. Please try again in a few minutes."
MAX_SIZE = 16 * 1024 * 1024


class FaultError(ValueError):
    pass


def _number(obj, key, kind, lo, hi, default=None):
    value = obj.get(key, default)
    if value is None:
        raise FaultError("%s needs %r" % (kind, key))
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise FaultError("%r must be a number" % key)
    if not lo <= value <= hi:
        raise FaultError("%r must lie between %s and %s" % (key, lo, hi))
    return value


def _text(obj, key, default=None):
    value = obj.get(key, default)
    if value is not None and not isinstance(value, str):
        raise FaultError("%r must be a string" % key)
    return value


class Fault:
    _ids = itertools.count(1)

    def __init__(self, obj, permanent=False):
        if not isinstance(obj, dict):
            raise FaultError("a fault is a JSON object")
        known = {"kind", "path", "command", "count", "delay", "trickle", "status",
                 "body", "content_type", "errorcode", "errortext", "after", "size", "location"}
        unknown = set(obj) - known
        if unknown:
            raise FaultError("unknown fault fields: %s" % ", ".join(sorted(unknown)))
        kind = obj.get("kind")
        if kind not in KINDS:
            raise FaultError("kind must be one of: %s" % ", ".join(KINDS))
        self.id = next(self._ids)
        self.kind = kind
        self.permanent = permanent
        path = _text(obj, "path")
        self.path = path.lower() if path else None
        self.command = _text(obj, "command")
        count = obj.get("count")
        self.remaining = None if count is None else int(_number(obj, "count", kind, 1, 10**6))
        self.delay = float(_number(obj, "delay", kind, 0, 600, 0))
        if kind == "slow" and "delay" not in obj:
            raise FaultError("slow needs 'delay'")
        self.trickle = bool(obj.get("trickle", False))
        self.status = None
        if kind == "status":
            self.status = int(_number(obj, "status", kind, 100, 999))
        self.body = _text(obj, "body")
        if kind == "body" and self.body is None:
            raise FaultError("body needs 'body'")
        self.content_type = _text(obj, "content_type")
        # A redirect's target, sent as the Location header of a "status" fault.
        self.location = _text(obj, "location")
        self.errorcode = _text(obj, "errorcode", "1")
        self.errortext = _text(obj, "errortext", DEFAULT_REFUSAL)
        self.after = None
        if "after" in obj:
            self.after = int(_number(obj, "after", kind, 0, MAX_SIZE))
        self.size = None
        if kind == "size":
            self.size = int(_number(obj, "size", kind, 0, MAX_SIZE))
        self.fields = dict(obj)

    @property
    def runs_command(self):
        """Whether the service still does the work and only the delivery goes wrong."""
        if self.kind == "status":
            return 200 <= self.status <= 399
        return self.kind in ("slow", "size", "reset")

    def matches(self, path, command):
        if self.path is None:
            if path not in COMMAND_PATHS:
                return False
        elif self.path.endswith("*"):
            if not path.startswith(self.path[:-1]):
                return False
        elif path != self.path:
            return False
        return self.command is None or self.command == command

    def describe(self):
        out = dict(self.fields, id=self.id, permanent=self.permanent)
        if self.remaining is not None:
            out["remaining"] = self.remaining
        return out

    # What the reply becomes

    def synthetic_body(self):
        if self.body is not None:
            return self.body.encode("latin-1", errors="replace")
        if self.kind == "refuse":
            return ("ERRORCODE=%s\r\nERRORTEXT=%s\r\n" % (self.errorcode, self.errortext)).encode(
                "cp1252", errors="replace")
        if self.kind == "refuse_no_text":
            return ("ERRORCODE=%s\r\n" % self.errorcode).encode("cp1252", errors="replace")
        if self.kind == "no_errorcode":
            return b"SERVICE=Kestrix demo\r\nSTATUS=maintenance\r\n"
        if self.kind == "status":
            return b"The tournament server could not answer this request.\r\n"
        return b""

    def reshape(self, body):
        """The real body cut or padded to the fault's size."""
        if self.size is None:
            return body
        if len(body) >= self.size:
            return body[:self.size]
        out = bytearray(body)
        n = 1
        while self.size - len(out) > 64 + 12:
            head = b"PAD%d=" % n
            out += head + b"x" * (64 - len(head) - 2) + b"\r\n"
            n += 1
        room = self.size - len(out)
        if room >= 12:
            head = b"PAD%d=" % n
            out += head + b"x" * (room - len(head) - 2) + b"\r\n"
        # Too little room left for a whole pair: a line without "=" is ignored.
        out += b"x" * (self.size - len(out))
        return bytes(out)


class Faults:
    def __init__(self, permanent=()):
        self._lock = threading.Lock()
        self._permanent = [Fault(obj, permanent=True) for obj in permanent]
        self._added = []

    def add(self, obj):
        fault = Fault(obj)
        with self._lock:
            self._added.append(fault)
        return fault

    def reset(self):
        """Drop the faults added at run time; the command-line ones stay."""
        with self._lock:
            self._added = []

    def take(self, path, command):
        """The fault for this request, counting it against its limit."""
        with self._lock:
            for fault in self._added + self._permanent:
                if not fault.matches(path, command):
                    continue
                if fault.remaining is not None:
                    fault.remaining -= 1
                    if fault.remaining <= 0:
                        self._added = [f for f in self._added if f is not fault]
                        self._permanent = [f for f in self._permanent if f is not fault]
                return fault
        return None

    def describe(self):
        with self._lock:
            return [f.describe() for f in self._added + self._permanent]

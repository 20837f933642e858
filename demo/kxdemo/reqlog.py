"""Every request, byte for byte, as one JSON object per line."""

import base64
import json
import threading
import time


class RequestLog:
    def __init__(self, path):
        self.path = path
        self._lock = threading.Lock()
        self._seq = 0
        self._file = open(path, "a", encoding="ascii")

    def write(self, listener, client, method, target, version, headers, body,
              complete=True):
        with self._lock:
            self._seq += 1
            entry = {
                "seq": self._seq,
                "time": round(time.time(), 3),
                "listener": listener,
                "client": client,
                "method": method,
                "target": target,
                "version": version,
                "headers": [[k, v] for k, v in headers],
                # latin-1 maps each byte to one character: json's \u00XX
                # escapes keep it exact, base64 is there for the cautious.
                "body": body.decode("latin-1"),
                "body_b64": base64.b64encode(body).decode("ascii"),
                "body_length": len(body),
                "body_complete": complete,
            }
            self._file.write(json.dumps(entry) + "\n")
            self._file.flush()
            return self._seq

    def close(self):
        with self._lock:
            self._file.close()

"""The service's own certificate authority and server certificate, made with openssl."""

import fcntl
import json
import os
import subprocess
import tempfile


class TlsError(RuntimeError):
    pass


def _openssl(*args):
    try:
        subprocess.run(["openssl", *args], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    except FileNotFoundError:
        raise TlsError("the openssl command is not installed") from None
    except subprocess.CalledProcessError as e:
        raise TlsError("openssl %s failed: %s" % (args[0], e.stderr.decode(errors="replace")))


def ensure(directory, host):
    """Paths of (CA cert, server cert, server key), creating what is missing.

    The CA outlives host name changes, so a console that trusts it once keeps
    trusting the service; the server certificate follows the host name.
    """
    os.makedirs(directory, mode=0o700, exist_ok=True)
    ca_key = os.path.join(directory, "ca-key.pem")
    ca_cert = os.path.join(directory, "ca.pem")
    key = os.path.join(directory, "server-key.pem")
    cert = os.path.join(directory, "server.pem")
    meta = os.path.join(directory, "server.json")
    # Two services starting on one state directory must not race each other.
    with open(os.path.join(directory, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (os.path.exists(ca_key) and os.path.exists(ca_cert)):
            _make_ca(ca_key, ca_cert)
            _remove(cert, meta)
        if _server_host(meta) != host or not (os.path.exists(key) and os.path.exists(cert)):
            _make_server(directory, ca_key, ca_cert, key, cert, host)
            with open(meta, "w") as f:
                json.dump({"host": host}, f)
    return ca_cert, cert, key


def _remove(*paths):
    for p in paths:
        if os.path.exists(p):
            os.remove(p)


def _server_host(meta):
    try:
        with open(meta) as f:
            return json.load(f).get("host")
    except (OSError, ValueError):
        return None


def _make_ca(key, cert):
    old = os.umask(0o077)
    try:
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
                 "-keyout", key, "-out", cert, "-days", "3650",
                 "-subj", "/O=Kestrix Demo/CN=Kestrix Demo CA",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    finally:
        os.umask(old)


def _san(host):
    names = []
    for name in (host, "localhost", "127.0.0.1"):
        entry = ("IP:" if _is_ip(name) else "DNS:") + name
        if entry not in names:
            names.append(entry)
    return ",".join(names)


def _is_ip(name):
    import ipaddress
    try:
        ipaddress.ip_address(name)
        return True
    except ValueError:
        return False


def _make_server(directory, ca_key, ca_cert, key, cert, host):
    ext = ("basicConstraints=CA:FALSE\n"
           "keyUsage=critical,digitalSignature,keyEncipherment\n"
           "extendedKeyUsage=serverAuth\n"
           "subjectAltName=%s\n" % _san(host))
    old = os.umask(0o077)
    try:
        with tempfile.TemporaryDirectory(dir=directory) as tmp:
            csr = os.path.join(tmp, "server.csr")
            extfile = os.path.join(tmp, "server.ext")
            with open(extfile, "w") as f:
                f.write(ext)
            _openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256",
                     "-keyout", key, "-out", csr, "-subj", "/O=Kestrix Demo/CN=%s" % host)
            _openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key,
                     "-set_serial", str(int.from_bytes(os.urandom(8), "big")),
                     "-days", "825", "-sha256", "-extfile", extfile, "-out", cert)
    finally:
        os.umask(old)

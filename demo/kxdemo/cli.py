"""Command line, start-up and shutdown."""

import argparse
import json
import os
import signal
import ssl
import sys
import threading

from . import VERSION, tls
from .faults import Faults, FaultError
from .reqlog import RequestLog
from .server import App, DemoServer
from .store import Store


def default_state_dir():
    base = os.environ.get("XDG_STATE_HOME") or os.path.join(os.path.expanduser("~"),
                                                           ".local", "state")
    return os.path.join(base, "kestrix-demo")


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="kestrix_demo.py",
        description="Demo tournament service for the Kestrix Console (HTTP and HTTPS).")
    p.add_argument("--http-port", type=int, default=8080, metavar="N")
    p.add_argument("--https-port", type=int, default=8443, metavar="N")
    p.add_argument("--bind", default="127.0.0.1", metavar="ADDRESS")
    p.add_argument("--host-name", default="demo.kestrix.test", metavar="NAME",
                   help="web host name the console uses; goes into the server certificate")
    p.add_argument("--state-dir", default=None, metavar="DIR",
                   help="database, certificates, game logs and request log "
                        "(default: %s)" % default_state_dir())
    p.add_argument("--port-file", default=None, metavar="FILE",
                   help='write {"http": port, "https": port, "ca": path} here once listening')
    p.add_argument("--no-frame-relay", action="store_true",
                   help="leave out the script that hands clicks in the frame to the top page")
    p.add_argument("--verbose", action="store_true", help="print one line per request")
    g = p.add_argument_group("faults (applied to every command reply)")
    g.add_argument("--fault-slow", type=float, metavar="SECONDS",
                   help="wait this long before replying")
    g.add_argument("--fault-trickle", action="store_true",
                   help="with --fault-slow: spread the body over the wait instead")
    g.add_argument("--fault-status", type=int, metavar="CODE",
                   help="reply with this HTTP status")
    g.add_argument("--fault-no-errorcode", action="store_true",
                   help="reply without an ERRORCODE line")
    g.add_argument("--fault-refuse", metavar="TEXT",
                   help="refuse with ERRORCODE=1 and this ERRORTEXT")
    g.add_argument("--fault-refuse-no-text", action="store_true",
                   help="refuse with ERRORCODE=1 and no ERRORTEXT")
    g.add_argument("--fault-reset", action="store_true",
                   help="reset the connection in the middle of the body")
    g.add_argument("--fault-size", type=int, metavar="BYTES",
                   help="pad (or cut) the body to exactly this size")
    g.add_argument("--fault-empty", action="store_true", help="reply with an empty body")
    g.add_argument("--fault", action="append", default=[], metavar="JSON",
                   help="any fault as a JSON object (as for POST /_control/fault); repeatable")
    args = p.parse_args(argv)
    for name in ("http_port", "https_port"):
        if not 0 <= getattr(args, name) <= 65535:
            p.error("--%s must lie between 0 and 65535" % name.replace("_", "-"))
    try:
        args.faults = fault_objects(args)
        Faults(args.faults)
    except (FaultError, ValueError) as e:
        p.error("bad fault: %s" % e)
    return args


def fault_objects(args):
    objs = []
    if args.fault_status is not None:
        objs.append({"kind": "status", "status": args.fault_status})
    if args.fault_no_errorcode:
        objs.append({"kind": "no_errorcode"})
    if args.fault_refuse is not None:
        objs.append({"kind": "refuse", "errortext": args.fault_refuse})
    if args.fault_refuse_no_text:
        objs.append({"kind": "refuse_no_text"})
    if args.fault_reset:
        objs.append({"kind": "reset"})
    if args.fault_size is not None:
        objs.append({"kind": "size", "size": args.fault_size})
    if args.fault_empty:
        objs.append({"kind": "empty"})
    if args.fault_slow is not None:
        # A delay joins the other faults; alone it is a fault of its own.
        if objs:
            for s in objs:
                s.update(delay=args.fault_slow, trickle=args.fault_trickle)
        else:
            objs.append({"kind": "slow", "delay": args.fault_slow,
                          "trickle": args.fault_trickle})
    for text in args.fault:
        objs.append(json.loads(text))
    return objs


def write_port_file(path, info):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(info, f)
    os.replace(tmp, path)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    state = os.path.abspath(args.state_dir or default_state_dir())
    os.makedirs(state, exist_ok=True)
    try:
        ca, cert, key = tls.ensure(os.path.join(state, "tls"), args.host_name)
    except tls.TlsError as e:
        print("kestrix-demo: %s" % e, file=sys.stderr)
        return 2
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)

    log = RequestLog(os.path.join(state, "requests.jsonl"))
    app = App(Store(os.path.join(state, "kestrix-demo.sqlite3")), Faults(args.faults), log,
              state, args.host_name, relay=not args.no_frame_relay, verbose=args.verbose)
    try:
        servers = [DemoServer((args.bind, args.http_port), app, "http"),
                   DemoServer((args.bind, args.https_port), app, "https", context)]
    except OSError as e:
        print("kestrix-demo: cannot listen on %s: %s" % (args.bind, e), file=sys.stderr)
        return 2

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    threads = [threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2},
                                daemon=True) for s in servers]
    for t in threads:
        t.start()

    http_port, https_port = (s.server_address[1] for s in servers)
    if args.port_file:
        write_port_file(args.port_file, {"http": http_port, "https": https_port, "ca": ca})
    print("Kestrix demo service %s for host %s" % (VERSION, args.host_name))
    shown = "[%s]" % args.bind if ":" in args.bind else args.bind
    print("  http://%s:%d/  https://%s:%d/" % (shown, http_port, shown, https_port))
    print("  CA certificate: %s" % ca)
    print("  state: %s" % state, flush=True)

    while not stop.wait(0.5):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    log.close()
    return 0

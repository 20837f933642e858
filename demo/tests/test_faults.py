import http.client
import signal
import time
import unittest

from kxservice import Service, ServiceTest, parse_reply

LOGIN = "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy"


class FaultTest(ServiceTest):
    def login(self, secure=True):
        return self.svc.post("/ws_Console/command.asp", LOGIN, secure=secure)

    def test_reply_shapes(self):
        cases = [
            # fault, status, ERRORCODE, ERRORTEXT, USERID
            ({"kind": "status", "status": 500}, 500, None, None, None),
            ({"kind": "status", "status": 399}, 399, "0", None, "1001"),
            ({"kind": "no_errorcode"}, 200, None, None, None),
            ({"kind": "refuse", "errortext": "Closed for lunch."}, 200, "1",
             "Closed for lunch.", None),
            ({"kind": "refuse", "errorcode": "00"}, 200, "00", None, None),
            ({"kind": "refuse_no_text"}, 200, "1", None, None),
            ({"kind": "empty"}, 200, None, None, None),
        ]
        for fields, status, code, text, userid in cases:
            with self.subTest(**fields):
                self.svc.fault(count=1, **fields)
                got_status, _, data = self.login()
                reply = parse_reply(data)
                self.assertEqual(status, got_status)
                self.assertEqual(code, reply.get("ERRORCODE"))
                if text is not None:
                    self.assertEqual(text, reply["ERRORTEXT"])
                if fields["kind"] == "refuse_no_text":
                    self.assertNotIn("ERRORTEXT", reply)
                if fields["kind"] == "empty":
                    self.assertEqual(b"", data)
                self.assertEqual(userid, reply.get("USERID"))
                # The count was one: the next reply is normal again.
                self.assertEqual("0", parse_reply(self.login()[2])["ERRORCODE"])

    def test_size_pads_a_real_reply_exactly(self):
        for size in (1300, 513, 40):
            with self.subTest(size=size):
                self.svc.fault(kind="size", size=size, count=1)
                status, headers, data = self.login()
                self.assertEqual((200, size, str(size)),
                                 (status, len(data), headers["Content-Length"]))
                self.assertTrue(data.startswith(b"ERRORCODE=0\r\nUSERID=1001\r\n"))
                if size > 100:
                    self.assertTrue(data.endswith(b"\r\n"))

    def test_reset_in_the_middle_of_the_body(self):
        for secure in (False, True):
            with self.subTest(secure=secure):
                self.svc.fault(kind="reset", after=10, count=1)
                conn = self.svc.https() if secure else self.svc.http()
                conn.request("POST", "/ws_Console/command.asp", LOGIN,
                             {"Content-Type": "application/x-www-form-urlencoded"})
                resp = conn.getresponse()
                self.assertEqual(200, resp.status)
                self.assertGreater(int(resp.getheader("Content-Length")), 10)
                with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)) as cm:
                    resp.read()
                if isinstance(cm.exception, http.client.IncompleteRead):
                    self.assertEqual(b"ERRORCODE=", cm.exception.partial)
                conn.close()

    def test_drop_closes_without_reply(self):
        self.svc.fault(kind="drop", count=1)
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError)):
            self.login(secure=False)

    def test_slow_and_trickled_replies(self):
        for trickle in (False, True):
            with self.subTest(trickle=trickle):
                self.svc.fault(kind="slow", delay=0.6, trickle=trickle, count=1)
                began = time.monotonic()
                status, _, data = self.login()
                self.assertGreaterEqual(time.monotonic() - began, 0.55)
                self.assertEqual("1001", parse_reply(data)["USERID"])

    def test_path_and_command_limits(self):
        self.svc.fault(kind="status", status=503, path="/WS_Console/tourlistframe.asp")
        self.svc.fault(kind="refuse", command="STARTTOUR")
        self.assertEqual(200, self.login()[0])
        self.assertEqual("0", parse_reply(self.login()[2])["ERRORCODE"])
        status, _, _ = self.svc.post("/ws_console/TOURLISTFRAME.asp", "GAMENAME=Chess")
        self.assertEqual(503, status)
        start = "COMMAND=STARTTOUR&USERNAME=demo&PASSWORD=demo&GAMENAME=Chess&TOURNID=17"
        self.assertEqual("1", parse_reply(self.svc.command(start)[1])["ERRORCODE"])
        self.svc.control("/_control/reset")
        self.assertEqual(200, self.svc.post("/ws_console/tourlistframe.asp", "")[0])
        self.assertEqual("0", self.svc.command(start)[2]["ERRORCODE"])

    def test_body_fault_serves_a_page_of_the_tests_own(self):
        page = '<body KXOnLoad="TIP" KXParams="p"><pre id="p">TIPNAME=x\r\nURL=y</pre></body>'
        self.svc.fault(kind="body", body=page, content_type="text/html",
                       path="/ws_Console/tournamentconsole.asp", count=1)
        status, headers, data = self.svc.post("/ws_console/tournamentconsole.asp", "")
        self.assertEqual((200, "text/html", page.encode()),
                         (status, headers["Content-Type"], data))

    def test_count_runs_out(self):
        self.svc.fault(kind="status", status=500, count=2)
        self.assertEqual([500, 500, 200], [self.login()[0] for _ in range(3)])

    def test_control_rejects_bad_faults(self):
        cases = [b"not json", b"[]", b'{"kind": "melt"}', b'{"kind": "status"}',
                 b'{"kind": "status", "status": "500"}', b'{"kind": "slow"}',
                 b'{"kind": "size", "size": -1}', b'{"kind": "empty", "colour": 1}',
                 b'{"kind": "empty", "count": 0}', b"\xff\xfe"]
        for body in cases:
            with self.subTest(body=body):
                status, _, data = self.svc.request("POST", "/_control/fault", body)
                self.assertEqual(400, status)
                self.assertIn(b'"ok": false', data)
        status, _, data = self.svc.request("GET", "/_control/faults")
        self.assertEqual((200, b'{"faults": []}\n'), (status, data))


class CommandLineFaultTest(ServiceTest):
    service_args = ("--fault-status", "500", "--fault-slow", "0.3")

    def test_applies_to_commands_only_and_survives_reset(self):
        for _ in range(2):
            began = time.monotonic()
            status, _, _ = self.svc.post("/ws_Console/command.asp", LOGIN, secure=True)
            self.assertEqual(500, status)
            self.assertGreaterEqual(time.monotonic() - began, 0.25)
            self.svc.control("/_control/reset")
        self.assertEqual(200, self.svc.post("/ws_Console/tournamentconsole.asp", "")[0])


class StartUpTest(unittest.TestCase):
    def test_sigterm_ends_the_service_cleanly(self):
        svc = Service()
        conn = svc.http()
        conn.request("GET", "/")  # an idle keep-alive connection must not hold it up
        conn.getresponse().read()
        began = time.monotonic()
        svc.proc.send_signal(signal.SIGTERM)
        self.assertEqual(0, svc.proc.wait(10))
        self.assertLess(time.monotonic() - began, 5)
        conn.close()
        svc.stop()

    def test_bad_options_are_refused(self):
        for args in (("--fault", '{"kind": "nope"}'), ("--fault", "{"),
                     ("--fault-size", "-5"), ("--http-port", "70000")):
            with self.subTest(args=args):
                with self.assertRaisesRegex(RuntimeError, "error"):
                    Service(*args)


if __name__ == "__main__":
    unittest.main()

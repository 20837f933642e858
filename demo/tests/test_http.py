import os
import re
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

from kxservice import HOST, ServiceTest, form

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from kxdemo import tls  # noqa: E402

WORDS = ["LOGIN", "TIP", "EXIT", "INSTALL", "UPGRADE", "LOGOUT", "SHOWTOURLIST",
         "SELECTCLIENT", "SHOWGAMELIST", "PLAYTOURNAMENT", "REFRESH", "LASTPLAY",
         "TOURDETAIL", "SHOWVERSIONS"]
SESSION = form(("USERNAME", "demo"), ("USERID", "1002"))


def raw_exchange(port, data, wait=0.3):
    """Send bytes as they are and return whatever comes back before the close."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(data)
        if wait:
            time.sleep(wait)
        s.shutdown(socket.SHUT_WR)
        out = b""
        while True:
            piece = s.recv(65536)
            if not piece:
                return out
            out += piece


def params_of(page, ident):
    m = re.search(r'<pre class="kxp" id="%s"[^>]*>(.*?)</pre>' % ident, page, re.S)
    return dict(line.split("=", 1) for line in m.group(1).split("\r\n"))


class PathTest(ServiceTest):
    def test_paths_match_in_any_case(self):
        for path in ("/ws_Console/command.asp", "/WS_CONSOLE/COMMAND.ASP",
                     "/ws_console/command.asp", "/Ws_Console/Command.Asp?x=1"):
            with self.subTest(path=path):
                status, _, reply = self.svc.command(
                    "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy", path)
                self.assertEqual((200, "0"), (status, reply["ERRORCODE"]))
        for path in ("/ws_Console/tournamentconsole.asp", "/WS_CONSOLE/TOURLISTFRAME.ASP",
                     "/ws_console/Standings_Container.asp", "/ws_Console/softwareversions.asp",
                     "/ws_console/CreateAccount/Default.asp", "/ws_Console/TimeOut.asp",
                     "/ws_Console/tips/welcome.asp"):
            for secure in (False, True):
                with self.subTest(path=path, secure=secure):
                    status, headers, _ = self.svc.request("POST", path, b"", secure=secure)
                    self.assertEqual(200, status)
                    self.assertTrue(headers["Content-Type"].startswith("text/html"))
        self.assertEqual(404, self.svc.request("GET", "/ws_Console/nothing.asp")[0])

    def test_certificate_names(self):
        for name in (HOST, "localhost", "127.0.0.1"):
            with self.subTest(name=name):
                conn = self.svc.https(server_hostname=name)
                conn.request("GET", "/")
                self.assertEqual(200, conn.getresponse().status)
                conn.close()
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn = self.svc.https(server_hostname="other.example")
            conn.request("GET", "/")

    def test_bad_requests_get_an_answer_and_do_no_harm(self):
        cases = [
            (b"GARBAGE\r\n\r\n", b" 400 "),
            (b"POST /ws_Console/command.asp HTTP/1.1\r\nHost: x\r\nContent-Length: zz\r\n\r\n",
             b" 400 "),
            (b"POST /ws_Console/command.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999"
             b"\r\n\r\n", b" 413 "),
            (b"BREW /ws_Console/command.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n",
             b" 405 "),
            (b"POST /ws_Console/command.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked"
             b"\r\n\r\n5\r\nCOMMA\r\n8\r\nND=LOGIN\r\n0\r\n\r\n", b"ERRORCODE=2"),
            (b"POST /ws_Console/command.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 50\r\n\r\n"
             b"COMMAND=LOG", b"ERRORCODE=9"),
        ]
        for data, expected in cases:
            with self.subTest(data=data[:40]):
                self.assertIn(expected, raw_exchange(self.svc.http_port, data))
        self.assertEqual(200, self.svc.request("GET", "/")[0])


class CertificateTest(unittest.TestCase):
    def names(self, cert):
        out = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-ext",
                              "subjectAltName"], capture_output=True, check=True).stdout
        return re.findall(r"(?:DNS|IP Address):([^,\s]+)", out.decode())

    def test_kept_across_starts_and_remade_for_a_new_host(self):
        with tempfile.TemporaryDirectory() as d:
            ca, cert, _ = tls.ensure(d, "one.test")
            with open(ca, "rb") as f:
                ca_bytes = f.read()
            with open(cert, "rb") as f:
                first = f.read()
            self.assertEqual(["one.test", "localhost", "127.0.0.1"], self.names(cert))
            tls.ensure(d, "one.test")
            with open(cert, "rb") as f:
                self.assertEqual(first, f.read())
            tls.ensure(d, "two.test")
            self.assertEqual(["two.test", "localhost", "127.0.0.1"], self.names(cert))
            with open(ca, "rb") as f:
                self.assertEqual(ca_bytes, f.read())
            subprocess.run(["openssl", "verify", "-CAfile", ca, cert], check=True,
                           capture_output=True)


class UploadTest(ServiceTest):
    def stored(self, name):
        with open(os.path.join(self.svc.state, "gamelogs", name), "rb") as f:
            return f.read()

    def test_upload_is_stored_whole(self):
        for size in (0, 1500, 2048, 70000):
            with self.subTest(size=size):
                data = os.urandom(size)
                path = "/GAMELOGS/%d_guest.txt" % (6000 + size)
                status, _, _ = self.svc.request("PUT", path, data)
                self.assertEqual(201, status)
                self.assertEqual(data, self.stored("%d_guest.txt" % (6000 + size)))
                self.assertEqual(200, self.svc.request("PUT", path, b"again")[0])
                self.assertEqual(b"again", self.svc.request("GET", path.lower())[2])

    def test_upload_targets_without_slash_or_with_blanks(self):
        reply = raw_exchange(self.svc.http_port,
                             b"PUT GAMELOGS/7001_Ann Lee.txt HTTP/1.1\r\nHost: x\r\n"
                             b"Content-Length: 5\r\nConnection: close\r\n\r\nhello")
        self.assertIn(b" 201 ", reply)
        self.assertEqual(b"hello", self.stored("7001_Ann Lee.txt"))
        entry = [e for e in self.svc.log_entries() if e["method"] == "PUT"][-1]
        self.assertEqual(("GAMELOGS/7001_Ann%20Lee.txt", "hello"), (entry["target"],
                                                                   entry["body"]))

    def test_short_body_is_kept_and_flagged(self):
        reply = raw_exchange(self.svc.http_port,
                             b"PUT /GAMELOGS/7002_demo.txt HTTP/1.1\r\nHost: x\r\n"
                             b"Content-Length: 100\r\n\r\n" + b"z" * 40)
        self.assertIn(b" 400 ", reply)
        self.assertEqual(b"z" * 40, self.stored("7002_demo.txt"))
        entry = [e for e in self.svc.log_entries() if e["method"] == "PUT"][-1]
        self.assertFalse(entry["body_complete"])

    def test_wrong_upload_targets(self):
        for path in ("/GAMELOGS/abc_guest.txt", "/GAMELOGS/1_guest.log", "/other.txt"):
            with self.subTest(path=path):
                self.assertEqual(404, self.svc.request("PUT", path, b"x")[0])


class DownloadTest(ServiceTest):
    def test_generated_files(self):
        cases = [
            ("/downloads/1500.bin", 1500, "length"),
            ("/downloads/64k.bin", 65536, "length"),
            ("/downloads/nolength/3000.bin", 3000, "close"),
            ("/downloads/chunked/100000.bin", 100000, "chunked"),
            ("/downloads/0.bin", 0, "length"),
        ]
        for path, size, framing in cases:
            with self.subTest(path=path):
                status, headers, data = self.svc.request("GET", path, secure=size == 1500)
                self.assertEqual(200, status)
                self.assertEqual(bytes(i % 251 for i in range(size)), data)
                self.assertEqual(str(size) if framing == "length" else None,
                                 headers.get("Content-Length"))
                self.assertEqual("chunked" if framing == "chunked" else None,
                                 headers.get("Transfer-Encoding"))

    def test_installer_runs(self):
        status, _, script = self.svc.request("GET", "/downloads/wordmaze-setup.sh")
        self.assertEqual(200, status)
        out = subprocess.run(["sh", "-c", script.decode()], capture_output=True,
                             env={"TMPDIR": self.svc.state, "PATH": os.environ["PATH"]})
        self.assertEqual(0, out.returncode)
        self.assertIn(b"Word Maze 1.5", out.stdout)
        for path in ("/downloads/nosuch-setup.sh", "/downloads/99999999999m.bin",
                     "/downloads/../secret"):
            with self.subTest(path=path):
                self.assertEqual(404, self.svc.request("GET", path)[0])


class PageTest(ServiceTest):
    def page(self, path, body=""):
        status, _, data = self.svc.post(path, body)
        self.assertEqual(200, status)
        return data.decode("cp1252")

    def test_every_command_word_is_offered(self):
        versions = "CONSOLEVER=2%2E01&CONSOLEBUILD=2%2E01%2E0000&Word+Ma%7Ae=1%2E4&Chess=2%2E0"
        pages = [self.page("/ws_Console/tournamentconsole.asp", SESSION),
                 self.page("/ws_Console/tourlistframe.asp",
                           SESSION + "&GAMENAME=Solitaire+Sprint&CLIENTID=11"),
                 self.page("/ws_Console/standings_container.asp", SESSION + "&TOURNID=12"),
                 self.page("/ws_Console/softwareversions.asp", SESSION + "&" + versions),
                 self.page("/ws_Console/createaccount/default.asp"),
                 self.page("/ws_Console/timeout.asp", SESSION)]
        found = set()
        for page in pages:
            found.update(re.findall(r'KXCommand="([A-Z]+)"', page))
            for ident in re.findall(r'KXParams="([^"]+)"', page):
                self.assertIn('id="%s"' % ident, page)
        self.assertEqual(set(WORDS), found)

    def test_main_page(self):
        page = self.page("/ws_Console/tournamentconsole.asp", SESSION + "&CONSOLEVER=2%2E01")
        self.assertRegex(page, r'<iframe name="maintable"')
        self.assertNotIn("KXOnLoad", page)
        self.assertIn("Signed in as <b>demo</b>", page)
        ident = re.search(r'KXCommand="SELECTCLIENT" KXParams="(\w+)"><b>Chess', page).group(1)
        self.assertEqual({"GAMENAME": "Chess", "CLIENTID": "7"}, params_of(page, ident))
        selected = self.page("/ws_Console/tournamentconsole.asp",
                             SESSION + "&GAMENAME=Chess&CLIENTID=7")
        self.assertIn('KXOnLoad="SHOWTOURLIST"', selected)

    def test_tour_list_follows_the_posted_game_and_rank(self):
        page = self.page("/ws_Console/tourlistframe.asp",
                         SESSION + "&GAMENAME=Chess&CLIENTID=7&LASTTOURNID=17&RANK=4")
        self.assertIn("Blitz Ladder", page)
        self.assertNotIn("Daily Dash", page)
        self.assertIn("placed #4 in Blitz Ladder", page)
        self.assertIn("Chess is not installed", page)
        plays = re.findall(r'KXCommand="PLAYTOURNAMENT" KXParams="(\w+)"', page)
        self.assertEqual([{"TOURNAMENTID": "17"}, {"TOURNAMENTID": "18"}],
                         [params_of(page, p) for p in plays])
        install = re.search(r'KXCommand="INSTALL" KXParams="(\w+)"', page).group(1)
        self.assertEqual(["URL", "TITLE", "RESTART", "INSTALLCONFIRM"],
                         list(params_of(page, install)))

    def test_standings_mark_the_player(self):
        page = self.page("/ws_Console/standings_container.asp", SESSION + "&TOURNID=13")
        self.assertEqual(40, page.count('<td class="num">', 0) // 2)
        self.assertIn("Weekend Marathon", page)
        self.assertIn("That tournament is not known",
                      self.page("/ws_Console/standings_container.asp", "TOURNID=abc"))


if __name__ == "__main__":
    unittest.main()

import base64
import hashlib

from kxservice import ServiceTest, form

LOGIN = "COMMAND=LOGIN&USERNAME=%s&PASSWORD=%s"


def gcs(play, tour, user):
    return hashlib.md5((play + tour + user).encode()).hexdigest()


class LoginTest(ServiceTest):
    def test_login_reply_and_log_entry_are_byte_exact(self):
        body = b"COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy&X=caf\xe9%E9+%26"
        status, headers, data = self.svc.post("/ws_Console/command.asp", body, secure=True)
        self.assertEqual(200, status)
        self.assertEqual("text/plain", headers["Content-Type"])
        self.assertRegex(data, rb"\AERRORCODE=0\r\nUSERID=1001\r\nSESSIONID=[0-9A-F]{32}\r\n\Z")
        entry = [e for e in self.svc.log_entries() if e["target"] == "/ws_Console/command.asp"][-1]
        self.assertEqual(("POST", "https"), (entry["method"], entry["listener"]))
        self.assertEqual(body, entry["body"].encode("latin-1"))
        self.assertEqual(body, base64.b64decode(entry["body_b64"]))
        self.assertIn(["Content-Type", "application/x-www-form-urlencoded"], entry["headers"])

    def test_login_outcomes(self):
        cases = [
            # body, ERRORCODE, USERID, MONITOR present
            (LOGIN % ("guest", "tansy"), "0", "1001", False),
            (LOGIN % ("GUEST", "tansy"), "0", "1001", False),
            (LOGIN % ("demo", "demo"), "0", "1002", False),
            (LOGIN % ("monitor", "monitor"), "0", "1003", True),
            (LOGIN % ("guest", "Tansy"), "1", None, False),
            (LOGIN % ("nobody", "tansy"), "1", None, False),
            (LOGIN % ("guest", ""), "2", None, False),
            ("COMMAND=LOGIN&USERNAME=guest", "2", None, False),
            (LOGIN % ("x" * 60, "tansy"), "2", None, False),
            ("USERNAME=guest&PASSWORD=tansy", "9", None, False),
            ("COMMAND=login&USERNAME=guest&PASSWORD=tansy", "9", None, False),
            ("COMMAND=CREATEACCOUNT&USERNAME=a", "9", None, False),
            ("%%%&&==&COMMAND", "9", None, False),
        ]
        for body, code, userid, monitor in cases:
            with self.subTest(body=body):
                status, data, reply = self.svc.command(body)
                self.assertEqual(200, status)
                self.assertTrue(data.endswith(b"\r\n"))
                self.assertEqual(code, reply["ERRORCODE"])
                self.assertEqual(userid, reply.get("USERID"))
                self.assertEqual(monitor, "MONITOR" in reply)
                if code != "0":
                    self.assertTrue(reply.get("ERRORTEXT"))

    def test_commands_must_be_posted(self):
        status, _, data = self.svc.request("GET", "/ws_Console/command.asp", secure=True)
        self.assertEqual(405, status)
        self.assertIn(b"ERRORCODE=9\r\n", data)


class PlayTest(ServiceTest):
    def start(self, tour="12", game="Word Maze", user="demo", password="demo"):
        return self.svc.command(form(("COMMAND", "STARTTOUR"), ("USERNAME", user),
                                     ("PASSWORD", password), ("GAMENAME", game),
                                     ("TOURNID", tour)))[2]

    def end(self, play, tour, score, checksum=None, user="demo", password="demo",
            userid="1002", extra=""):
        checksum = checksum or gcs(play, tour, userid)
        body = form(("COMMAND", "ENDGAME"), ("USERNAME", user), ("PASSWORD", password),
                    ("GAMENAME", "Word Maze"), ("TOURNID", tour), ("PLAYID", play),
                    ("GCS", checksum)) + "&SCORE=%s%s" % (score, extra)
        return self.svc.command(body)[2]

    def test_start_tour_reply(self):
        reply = self.start()
        self.assertEqual("0", reply["ERRORCODE"])
        self.assertRegex(reply["PLAYID"], r"^\d+$")
        self.assertEqual("3", reply["CLIENTID"])
        for key in ("SEED", "LEVEL", "TIMELIMIT"):
            self.assertRegex(reply[key], r"^\d+$")

    def test_start_tour_refusals(self):
        cases = [
            ({"tour": "14"}, "4"),                    # closed
            ({"tour": "17"}, "3"),                    # another game's
            ({"tour": "abc"}, "3"),
            ({"tour": "999"}, "3"),
            ({"game": "Tetris"}, "3"),
            ({"password": "nope"}, "1"),
        ]
        for args, code in cases:
            with self.subTest(**args):
                reply = self.start(**args)
                self.assertEqual(code, reply["ERRORCODE"])
                self.assertIn("ERRORTEXT", reply)
                self.assertNotIn("PLAYID", reply)

    def test_checksum_is_checked_before_the_score_counts(self):
        play = self.start()["PLAYID"]
        wrong = [gcs(play, "12", "1001"), gcs("12", play, "1002"),
                 gcs(play, "12", "1002").upper(), "0" * 32]
        for checksum in wrong:
            with self.subTest(checksum=checksum):
                reply = self.end(play, "12", 100, checksum)
                self.assertEqual("5", reply["ERRORCODE"])
                self.assertTrue(reply["ERRORTEXT"])
        reply = self.end(play, "12", 100)
        self.assertEqual("0", reply["ERRORCODE"])
        self.assertRegex(reply["RANK"], r"^\d+$")

    def test_rank_and_percentile(self):
        # Tournament 13 starts with 40 seeded scores between 200 and 9800.
        top = self.start("13")["PLAYID"]
        self.assertEqual({"ERRORCODE": "0", "RANK": "1", "PERCENTILE": "3"},
                         self.end(top, "13", 100000))
        low = self.start("13")["PLAYID"]
        self.assertEqual({"ERRORCODE": "0", "RANK": "42", "PERCENTILE": "100"},
                         self.end(low, "13", 0))

    def test_repeated_and_foreign_posts(self):
        play = self.start()["PLAYID"]
        first = self.end(play, "12", 500)
        self.assertEqual("0", first["ERRORCODE"])
        # The same post again (its reply was lost) gets the same answer.
        self.assertEqual(first, self.end(play, "12", 500))
        self.assertEqual("7", self.end(play, "12", 501)["ERRORCODE"])
        other = self.start()["PLAYID"]
        self.assertEqual("6", self.end(other, "12", 1, user="guest", password="tansy",
                                       userid="1001")["ERRORCODE"])
        self.assertEqual("6", self.end(other, "13", 1)["ERRORCODE"])
        self.assertEqual("2", self.end(other, "12", "lots")["ERRORCODE"])
        self.assertEqual("2", self.end(other, "12", "4294967295")["ERRORCODE"])

    def test_a_late_post_from_a_new_login_is_taken_once(self):
        # A console killed before the answer posts again after its next login.
        play = self.start()["PLAYID"]
        self.assertEqual("0", self.svc.command(LOGIN % ("demo", "demo"))[2]["ERRORCODE"])
        self.assertEqual("0", self.end(play, "12", 640)["ERRORCODE"])
        self.assertEqual("7", self.end(play, "12", 641)["ERRORCODE"])

    def test_game_data_items_do_not_override_the_score(self):
        play = self.start("22", "Solitaire Sprint")["PLAYID"]
        body = form(("COMMAND", "ENDGAME"), ("USERNAME", "demo"), ("PASSWORD", "demo"),
                    ("GAMENAME", "Solitaire Sprint"), ("TOURNID", "22"), ("PLAYID", play),
                    ("GCS", gcs(play, "22", "1002"))) + "&SCORE=-1&A=1&SCORE=99999"
        reply = self.svc.command(body)[2]
        self.assertEqual("0", reply["ERRORCODE"])
        # -1 is below every seeded score.
        self.assertEqual("16", reply["RANK"])


class CreateAccountTest(ServiceTest):
    PATH = "/ws_console/createaccount/createaccount.asp"

    def create(self, **changes):
        fields = dict(USERNAME="newbie", PASSWORD="pw", EMAIL="a@b.c", FIRSTNAME="Ann",
                      LASTNAME="Lee", CITY="Austin", STATE="Texas", ZIP="78701",
                      ADDRESS="1 Main St", ADDRESS2="", COUNTRY="United States",
                      OTHERSTATE="", ABOUT="")
        fields.update(changes)
        pairs = [("COMMAND", "CREATEACCOUNT")] + [(k, v) for k, v in fields.items()
                                                   if v is not None]
        return self.svc.command(form(*pairs), self.PATH)[2]

    def test_created_account_can_log_in(self):
        reply = self.create(USERNAME="Fresh Player_1.x", PASSWORD="s3cret")
        self.assertEqual({"ERRORCODE": "0"}, reply)
        login = self.svc.command(form(("COMMAND", "LOGIN"), ("USERNAME", "Fresh Player_1.x"),
                                      ("PASSWORD", "s3cret")))[2]
        self.assertEqual("0", login["ERRORCODE"])
        self.assertGreater(int(login["USERID"]), 2040)

    def test_refusals(self):
        cases = [
            ({"USERNAME": "Guest"}, "8"),
            ({"USERNAME": ""}, "2"),
            ({"USERNAME": "bad!name"}, "2"),
            ({"USERNAME": "a@b"}, "2"),
            ({"PASSWORD": None}, "2"),
            ({"EMAIL": "not-an-address"}, "2"),
            ({"FIRSTNAME": ""}, "2"),
            ({"ZIP": "z" * 50}, "2"),
            ({"STATE": "OTHER"}, "2"),
            ({"STATE": "OTHER", "OTHERSTATE": "Ontario"}, "2"),
        ]
        for changes, code in cases:
            with self.subTest(**{k: str(v) for k, v in changes.items()}):
                reply = self.create(**changes)
                self.assertEqual(code, reply["ERRORCODE"])
                self.assertTrue(reply["ERRORTEXT"])
        reply = self.create(USERNAME="canuck", STATE="OTHER", OTHERSTATE="Ontario",
                            COUNTRY="Canada")
        self.assertEqual("0", reply["ERRORCODE"])

    def test_login_is_not_taken_here(self):
        self.assertEqual("9", self.svc.command(LOGIN % ("guest", "tansy"), self.PATH)[2]
                         ["ERRORCODE"])


if __name__ == "__main__":
    import unittest
    unittest.main()

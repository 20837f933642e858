#!/usr/bin/env python3
"""Writes the hand-made seed inputs of every fuzz target into corpus/<target>/.

Seeds are kept here as data so that their separators (NUL, raw UTF-16) stay
readable. Inputs a fuzzer found are committed next to them as files of
their own (named regression-*); this script leaves those alone.

    python3 fuzz/make_corpus.py
"""

import hashlib
import pathlib

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


def nul(*fields):
    return b"\0".join(f.encode("latin-1") if isinstance(f, str) else f for f in fields)


def wide(text):
    """A loose UTF-16 field: 0x01, then each code unit in UTF-8's form (a zero
    as C0 80), so that lone surrogates and zeros need no zero byte."""
    raw = text.encode("utf-16-le", "surrogatepass")
    out = bytearray(b"\x01")
    for i in range(0, len(raw), 2):
        unit = raw[i] | raw[i + 1] << 8
        if unit == 0:
            out += b"\xc0\x80"
        elif unit < 0x80:
            out.append(unit)
        elif unit < 0x800:
            out += bytes([0xC0 | unit >> 6, 0x80 | unit & 0x3F])
        else:
            out += bytes([0xE0 | unit >> 12, 0x80 | unit >> 6 & 0x3F, 0x80 | unit & 0x3F])
    return bytes(out)


def score_record(body, version="1"):
    """A pending score's record: the version line, the fields, the digest line."""
    text = ("KXSCORE " + version + "\n" + body).encode("latin-1")
    return text + b"END " + hashlib.md5(text).hexdigest().encode() + b"\n"


SEEDS = {
    "fuzz_reply": {
        "accepted": nul("0", "200", "ERRORCODE=0\r\nUSERID=17\r\nSESSIONID=abc\r\n", "", "12", "4711"),
        "refused": nul("0", "200", "ERRORCODE=3\r\nERRORTEXT=Wrong password\r\n", "", "1", "2"),
        "refused-empty-text": nul("0", "200", "ERRORCODE=3\r\nERRORTEXT=\r\n", "", "", ""),
        "unexpected": nul("0", "200", "<html>Service down</html>", "", "x", "-5"),
        "transport": nul("0", "500", "ERRORCODE=0\r\n", "", "", ""),
        "transfer": nul("12002", "200", "ERRORCODE=0\r\n", "", "", ""),
        "cut-short": nul("0", "200", "ERRORCODE=0\r", "\nRANK=1\r\n", "99999999999", "+7"),
        "rank": nul("0", "200", "ERRORCODE=0\r\nRANK=30\r\nPERCENTILE=88\r\n", "", "5", "6", "player one"),
        "lone-cr": nul("0", "399", "A=1\rB=2\r\r\nC\r\n=D\r\n", "E=5", "  -12", "0x10"),
    },
    "fuzz_login_reply": {
        "accepted": nul("200", "ERRORCODE=0\r\nUSERID=1002\r\nSESSIONID=S-1\r\nMONITOR=1\r\n",
                        "Max Power", "p&ss w"),
        "no-session": nul("200", "ERRORCODE=0\r\nUSERID=7\r\n", "a", "b", "old\0", "pw", "1\0", "1\0"),
        "long-id": nul("200", "ERRORCODE=0\r\nUSERID=" + "9" * 50 + "\r\n", "a", "b"),
        "refused": nul("200", "ERRORCODE=2\r\nERRORTEXT=Wrong password\r\n", "a", "b"),
        "server-error": nul("503", "ERRORCODE=0\r\nUSERID=1\r\n", "a", "b"),
        "garbage": nul("200", "<html>", "", "", "x" * 80, "y" * 80, "yes", ""),
        "stored-odd": nul("200", "ERRORCODE=1\r\n", "n", "p", "", "\0\0\0", "0", "\xff\xff"),
    },
    "fuzz_registration_reply": {
        # status, body, 11 typed fields, then state, country and "heard about" indexes
        "created": nul("200", "ERRORCODE=0\r\n", "newbie", "pw1", "pw1", "newbie@mail.example", "New",
                       "Bie", "1 Main St", "", "Austin", "", "78701", "44", "0", "1"),
        "refused": nul("200", "ERRORCODE=5\r\nERRORTEXT=Name taken\r\n", "taken", "p&w", "p&w",
                       "a@b.c", "A", "B", "C", "D", "E", "", "1", "3", "0", "0"),
        "other-state": nul("200", "ERRORCODE=0\r\n", "x y", "PASSWORD=1", "PASSWORD=1", "\"q\"@d.e",
                           "F", "L", "A", "", "C", "Bavaria", "8", "0", "5", "2"),
        "long-name": nul("200", "ERRORCODE=0\r\n", "n" * 70, "p" * 70, "p" * 70, "a@b.c", "F", "L", "A", "",
                         "C", "", "1", "1", "0", "0"),
        "invalid": nul("200", "ERRORCODE=0\r\n", "bad@name", "p", "q"),
        "server-error": nul("500", "", "newbie", "pw1", "pw1", "n@m.x", "N", "B", "1", "", "A", "", "7",
                            "2", "0"),
        "no-code": nul("200", "<html>", "newbie", "\x80\xff", "\x80\xff", "n@m.x", "N", "B", "1", "",
                       "A", "", "7", "2", "0"),
    },
    "fuzz_registry_text": {
        "example": (b"KestrixRegistry 1\n; HKEY_LOCAL_MACHINE\n\n"
                    b"[Software\\Kestrix Inc.\\General\\Player]\n"
                    b"\"Username\"=sz(50):\"abc\"\n\"Flags\"=dword:00000001\n"
                    b"\"Blob\"=hex:00,ff\n@=hex(0):\n"),
        "types": (b"KestrixRegistry 1\n[A]\n\"e\"=expand_sz(8):\"%PATH%\"\n"
                  b"\"m\"=multi_sz(9):\"a\\0b\\0\\0\"\n\"q\"=qword:0000000000000001\n"
                  b"\"x\"=hex(7b):01,02\n\"esc\"=sz(0):\"\\\\\\\"\\n\\r\\t\\x80\"\n"
                  b"[A\\B%5D%25]\n[Empty]\n"),
        "comments": b"KestrixRegistry 1\r\n; one\r\n\r\n[K]\r\n; two\r\n@=sz(4):\"v\"\r\n",
        "bad-header": b"KestrixRegistry 2\n[A]\n",
        "bad-line": b"KestrixRegistry 1\n[A]\n\"v\"=dword:1\n",
        "tree": nul("Software\\Kestrix Inc.", "Name", "0", "text\x80",
                    "A\\B", "", "3", "\x01\x02\x03\x04",
                    "A\\b\\c", "Odd", "7", "\xff",
                    "Q", "qw", "5", "12345678"),
    },
    "fuzz_reg_command_line": {
        "add-query": (nul("add", "HKLM\\Software\\Kestrix Inc.\\General", "/v", "ServiceHost", "/t",
                          "REG_SZ", "/d", "demo.local", "/f") + b"\n" +
                      nul("query", "HKLM\\Software\\Kestrix Inc.", "/s")),
        "multi": (nul("add", "hkcr\\kestrix", "/v", "List", "/t", "REG_MULTI_SZ", "/s", "#", "/d",
                      "a#b#", "/f") + b"\n" + nul("query", "HKCR\\kestrix", "/v", "List")),
        "numbers": (nul("add", "HKLM\\N", "/v", "D", "/t", "REG_DWORD", "/d", "0xffffffff", "/f") + b"\n" +
                    nul("add", "HKLM\\N", "/v", "Q", "/t", "REG_QWORD", "/d", "18446744073709551615", "/f") + b"\n" +
                    nul("add", "HKLM\\N", "/ve", "/t", "REG_BINARY", "/d", "00ff7F", "/f") + b"\n" +
                    nul("query", "HKLM\\N")),
        "delete": (nul("add", "HKLM\\D\\E", "/f") + b"\n" + nul("delete", "HKLM\\D", "/va", "/f") + b"\n" +
                   nul("delete", "HKLM\\D", "/f") + b"\n" + nul("query", "HKLM\\D")),
        "export-import": (nul("add", "HKLM\\X", "/v", "V", "/d", "1", "/f") + b"\n" +
                          nul("export", "HKLM\\X", "FILE", "/y") + b"\n" +
                          nul("delete", "HKLM\\X", "/f") + b"\n" + nul("import", "HKLM", "FILE") + b"\n" +
                          nul("query", "HKLM\\X")),
        "refusals": (nul("add") + b"\n" + nul("frob", "HKLM") + b"\n" + nul("add", "HKLM\\A", "/v") + b"\n" +
                     nul("add", "HKLM\\A", "/v", "a", "/ve") + b"\n" + nul("query", "HKXX\\A") + b"\n" +
                     nul("/?") + b"\n" + nul("add", "HKLM\\\\A", "/f") + b"\n" +
                     nul("--help", "x") + b"\n" + nul("export", "HKLM", "/etc/passwd")),
        "confirm": nul("delete", "HKLM\\Software", "/v", "x"),
    },
    "fuzz_page_commands": {
        "click": nul("http://console.kestrix.com/console.asp", "", "C", "REFRESH", "tipdata", "tipdata",
                     "TIPNAME=news\r\nURL=http://x/y?a=b\r\n"),
        "load": nul("https://CONSOLE.kestrix.com:8443/x", "", "L", "SHOWTIP", "p", "p", "A=1\r\n"),
        "stored-host": nul("http://demo.local/x", "demo.local", "C", "PLAYTOURNAMENT", "t", "t",
                           "TOURNAMENTID=12\r\n"),
        "foreign": nul("http://evil.example/console.kestrix.com", "", "C", "INSTALL", "p", "p",
                       "URL=http://evil.example/x.exe\r\n"),
        "userinfo": nul("http://console.kestrix.com@evil.example/", "", "C", "INSTALL"),
        "backslash": nul("http://evil.example\\@console.kestrix.com/", "", "L", "INSTALL"),
        "wide-url": nul(wide("http://console.kestrix.com/\ud800"), "", "C", wide("CMD\u20ac")),
        "bad-host": nul("http://x/", "bad host!", "C", "X"),
        "no-params": nul("http://console.kestrix.com/", "", "C", "REFRESH", "missing"),
    },
    "fuzz_url_parts": {
        "plain": b"http://console.kestrix.com/console.asp?x=1#top",
        "userinfo-port": b"https://user:pw@host.example:8443/path",
        "ipv6": b"http://[::1]:80/x",
        "ipv6-unclosed": b"http://[::1/x",
        "empty-port": b"http://h:/",
        "bad-port": b"http://h:8a/",
        "bad-scheme": b"1http://h/",
        "no-scheme": b"console.kestrix.com/x",
        "backslash": b"http://evil.example\\@console.kestrix.com/",
        "at-in-path": b"http://a.example/@b.example",
        "query-first": b"http://h?x=@y",
        "fragment-host": b"http://h#@evil",
        "many-at": b"ftp://a@b@c:21",
        "empty-host": b"http://@:80",
    },
    "fuzz_http_text": {
        "url": b"http://console.kestrix.com/console.asp?x=1#top",
        "url-port": b"HTTPS://[::1]:8443/a b/%41",
        "url-bad-port": b"http://h:0/",
        "url-control": b"http://h/\r\nX: y",
        "headers": b"Content-Type: application/x-www-form-urlencoded\r\nX-Empty:\r\n\r\nA: b\tc\n",
        "headers-bad": b"Bad Name: x\r\n",
        "connect-to": b"console.kestrix.com:443:127.0.0.1:8443",
        "connect-to-v6": b"[::1]:80:[fe80::1]:8080",
        "path": b"dir/file name#1\x80.txt",
    },
    "fuzz_form_encoding": {
        "plain": b"abc XYZ 123",
        "edges": b"wxyz_-.~!*'()",
        "controls": b"\x00\x01\r\n\t\x7f\x80\xff",
        "password": nul("COMMAND=LOGIN&USERNAME=me&PASSWORD=secret&x=1"),
        "password-lines": b"?newpassword=a b\nPassWord=c&confirmpassword\r\n=d",
        "field": nul("KEY", "va lue&=%"),
    },
    "fuzz_registration_checks": {
        "valid": nul("player1", "pw", "pw", "me@example.com", "Ann", "Lee", "1 Road", "", "Town",
                     "Ohio", "", "12345", "United States", "Friend"),
        "quoted-email": nul("p", "a", "a", "\"john doe\"@example.com", "A", "B", "C", "", "D",
                            "OTHER", "Bavaria", "1", "Germany", ""),
        "other-us": nul("p", "a", "a", "a.b@c.d", "A", "B", "C", "", "D", "OTHER", "X", "1",
                        "United States"),
        "bad-name": nul("a@b", "x", "x"),
        "mismatch": nul("p", "x", "y"),
        "bad-emails": nul("p", "x", "x", "a..b@c", "", "", "", "", "", "", "", "", "", "", ".a@b.c"),
        "escapes": nul("\x80\xff", "x", "x", "\"a\\\"b\".c@d.e", "f"),
        "empty": b"",
    },
    "fuzz_text_conversion": {
        "ascii": b"Hello, world",
        "high": bytes(range(0x80, 0x100)),
        "all": bytes(range(0, 0x100)),
        "utf8": "Zo\u00eb \u20ac \U0001f600 \u00e9".encode("utf-8"),
        "bad-utf8": b"\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82",
        "surrogates": "\ud83d\ude00".encode("utf-16-le", "surrogatepass") + b"\x00\xd8A\x00\x00\xdc",
        "long": b"ab" * 1100,
        "zero-inside": b"abc\x00\x00def",
    },
    "fuzz_game_services": {
        "play": nul("ERRORCODE=0\r\nPLAYID=4711\r\nWORD=abcde\r\nNAME=Zo\x80e\r\n", "Checkers",
                    "init", "Checkers", "info", "get", "", "WORD", "6", "get", "", "WORD", "5",
                    "set", "Level", "3", "end", "120", "end", "5", "status"),
        "before-init": nul("WORD=x\r\n", "Checkers", "get", "", "WORD", "8", "set", "a", "b",
                           "end", "1", "init", "checkers", "info"),
        "buffers": nul("A=\r\nB=1234567\r\n", "G", "init", "G", "get", "", "A", "0", "get", "", "A", "1",
                       "getnull", "B", "8", "getnull", "B", "0", "get", "s", "B", "8192", "get", "", "C", "4"),
        "wide": nul("NAME\x80=v\r\n", "G", "init", wide("G\u0000tail"), "get", "", wide("NAME\u20ac"), "9",
                    "set", wide("\ud800x"), wide("\U0001f600"), "save", "http://h/f", "f.bin",
                    "refresh", "send", "log.txt", "cancel"),
        "long-item": nul("K=v\r\n", "G", "init", "G", "set", "K" * 2000, "V" * 3000, "get", "", "K" * 1500, "2"),
    },
    "fuzz_browser_wire": {
        "form": b"a=1&b=x+y%26z&&c&%zz=%4",
        "headers": b"Content-Type: application/x-www-form-urlencoded\r\nX:\r\n : y\r\nBad\nK:\tv \t\r\n",
        "report-load": (b'{"kind":"load","top":true,"doc":"d1","url":"http://console.kestrix.com/",'
                        b'"element":[["KXOnLoad","SHOWTIP"],["KXParams","p"]],'
                        b'"named":{"key":"p","attributes":[["id","p"]],"text":"A=1\\nB=2\\r"}}'),
        "report-click": (b'{"kind":"click","top":false,"doc":"d2","url":"x","element":null,'
                         b'"named":{"key":"p","attributes":null}}'),
        "report-bad": b'{"kind":"click","top":1,"doc":"d","url":"x"}',
        "crlf": b"a\rb\nc\r\nd\n\re",
    },
    "fuzz_pending_score": {
        "record": score_record("USERNAME ann\nGAMENAME Word%20Maze\nTOURNID 12\nPLAYID 5001\n"
                               "GCS 3cae457a8092cd659adb57e154cf051c\nSCORE 4321\nITEM A 1\n"
                               "ITEM LINE two%0Alines%25\n"),
        "no-items": score_record("USERNAME \nGAMENAME x\nTOURNID \nPLAYID \nGCS \nSCORE 0\n"),
        "later-version": score_record("USERNAME ann\n", version="2"),
        "cut-short": score_record("USERNAME ann\nGAMENAME x\nTOURNID 1\nPLAYID 2\nGCS 0\n"
                                  "SCORE 4294967295\n")[:60],
        "foreign": b"[Settings]\r\nname=value\r\n",
    },
}


def main():
    for target, seeds in SEEDS.items():
        folder = ROOT / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / ("seed-" + name)).write_bytes(data)


if __name__ == "__main__":
    main()

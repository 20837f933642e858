"""Word Maze's conversation with the console's own game services, from Python
through ctypes and the SDK's C interface (run by kx_sdk_console_host on a
private session bus):

    python3 game_services_ctypes_test.py LIBRARY [unittest arguments]
"""

import ctypes
import sys
import unittest

LIBRARY = None

S_OK = 0x00000000
E_POINTER = ctypes.c_int32(0x80004003).value
KX_E_NOTINITIALIZED = ctypes.c_int32(0x80040064).value
KX_E_REFUSED = ctypes.c_int32(0x80040065).value
KX_E_BUFFERTOOSMALL = ctypes.c_int32(0x80040067).value
KX_E_NOSUCHITEM = ctypes.c_int32(0x80040069).value
E_NOTIMPL = ctypes.c_int32(0x80004001).value


class KXTOURINFOSTRUCT(ctypes.Structure):
    # The gaps are written out so that the record has the console's 184
    # bytes also where ctypes aligns a double to 4 bytes.
    _fields_ = [
        ("dwSize", ctypes.c_uint32),
        ("dwTournID", ctypes.c_uint32),
        ("dwNumGames", ctypes.c_uint32),
        ("dwHiScore", ctypes.c_uint32),
        ("szHiPlayer", ctypes.c_uint16 * 50),
        ("_gap", ctypes.c_uint32),
        ("fJackpot", ctypes.c_double),
        ("bIsPromo", ctypes.c_int32),
        ("dwRookieLevel", ctypes.c_uint32),
        ("dwEndScore", ctypes.c_uint32),
        ("szEndDate", ctypes.c_uint16 * 20),
        ("_tail", ctypes.c_uint32),
    ]


def load(path):
    lib = ctypes.CDLL(path)
    handle = ctypes.c_void_p
    result = ctypes.c_int32
    text = ctypes.c_char_p
    signatures = {
        "kx_game_services_create": [ctypes.POINTER(handle), ctypes.c_uint32],
        "kx_game_initialize": [handle, text, ctypes.c_double],
        "kx_game_get_game_info": [handle, ctypes.POINTER(KXTOURINFOSTRUCT)],
        "kx_game_get_game_data_item": [handle, text, text, ctypes.c_char_p, ctypes.c_size_t],
        "kx_game_refresh_game_data": [handle],
        "kx_game_save_url_to_file": [handle, text, text],
        "kx_game_send_file_to_server": [handle, text, ctypes.c_int32],
        "kx_game_get_command_status": [handle],
        "kx_game_cancel_command": [handle],
        "kx_game_set_game_data_item": [handle, text, text],
        "kx_game_end_game": [handle, ctypes.c_uint32],
    }
    for name, argtypes in signatures.items():
        function = getattr(lib, name)
        function.argtypes = argtypes
        function.restype = result
    lib.kx_game_services_destroy.argtypes = [handle]
    lib.kx_game_services_destroy.restype = None
    lib.kx_game_result_name.argtypes = [result]
    lib.kx_game_result_name.restype = ctypes.c_char_p
    return lib


class Services:
    """One services object, destroyed when the block ends."""

    def __init__(self, lib):
        self.lib = lib
        self.handle = ctypes.c_void_p()

    def __enter__(self):
        hr = self.lib.kx_game_services_create(ctypes.byref(self.handle), 5000)
        if hr != S_OK:
            raise AssertionError("create answered " + self.lib.kx_game_result_name(hr).decode())
        return self

    def __exit__(self, *exc):
        self.lib.kx_game_services_destroy(self.handle)

    def item(self, name, size=64):
        buffer = ctypes.create_string_buffer(b"-", size)
        hr = self.lib.kx_game_get_game_data_item(self.handle, b"", name.encode(), buffer, size)
        return hr, buffer.value.decode("utf-8")


class CInterfaceTest(unittest.TestCase):
    def setUp(self):
        self.lib = load(LIBRARY)

    def assertHr(self, expected, actual):
        name = self.lib.kx_game_result_name
        self.assertEqual(actual, expected,
                         "%s, expected %s" % (name(actual).decode(), name(expected).decode()))

    def test_record_has_the_consoles_layout(self):
        self.assertEqual(ctypes.sizeof(KXTOURINFOSTRUCT), 184)
        offsets = {"dwTournID": 4, "szHiPlayer": 16, "fJackpot": 120, "bIsPromo": 128,
                   "dwEndScore": 136, "szEndDate": 140}
        for field, offset in offsets.items():
            self.assertEqual(getattr(KXTOURINFOSTRUCT, field).offset, offset, field)

    def test_result_names_match_the_sdks(self):
        name = self.lib.kx_game_result_name
        self.assertEqual(name(S_OK), b"S_OK")
        self.assertEqual(name(KX_E_REFUSED), b"KX_E_REFUSED")
        self.assertEqual(name(ctypes.c_int32(0xDEADBEEF).value), b"0xDEADBEEF")

    def test_calls_before_initialize_are_refused(self):
        with Services(self.lib) as services:
            info = KXTOURINFOSTRUCT(dwSize=184)
            self.assertHr(KX_E_NOTINITIALIZED,
                          self.lib.kx_game_get_game_info(services.handle, ctypes.byref(info)))
            self.assertEqual(services.item("SEED"), (KX_E_NOTINITIALIZED, "-"))
            self.assertHr(KX_E_NOTINITIALIZED,
                          self.lib.kx_game_set_game_data_item(services.handle, b"MOVES", b"1"))
            self.assertHr(KX_E_NOTINITIALIZED, self.lib.kx_game_end_game(services.handle, 5))

    def test_another_games_name_is_refused(self):
        with Services(self.lib) as services:
            self.assertHr(KX_E_REFUSED,
                          self.lib.kx_game_initialize(services.handle, b"Checkers", 1.5))
            self.assertHr(KX_E_NOTINITIALIZED, self.lib.kx_game_end_game(services.handle, 5))

    def test_null_texts_are_refused(self):
        with Services(self.lib) as services:
            self.assertHr(E_POINTER, self.lib.kx_game_initialize(services.handle, None, 1.5))
            self.assertHr(E_POINTER, self.lib.kx_game_set_game_data_item(
                services.handle, b"MOVES", None))
        self.assertHr(E_POINTER, self.lib.kx_game_end_game(None, 5))

    def test_calls_the_console_does_not_offer(self):
        with Services(self.lib) as services:
            self.assertHr(E_NOTIMPL, self.lib.kx_game_refresh_game_data(services.handle))
            self.assertHr(E_NOTIMPL, self.lib.kx_game_cancel_command(services.handle))
            self.assertHr(E_NOTIMPL, self.lib.kx_game_send_file_to_server(
                services.handle, b"/tmp/x", 0))
            self.assertHr(S_OK, self.lib.kx_game_get_command_status(services.handle))

    def test_the_play(self):
        with Services(self.lib) as services:
            lib, handle = self.lib, services.handle
            self.assertHr(S_OK, lib.kx_game_initialize(handle, "Word Maze".encode(), 1.5))

            info = KXTOURINFOSTRUCT(dwSize=184, dwNumGames=3, dwHiScore=77, fJackpot=12.5)
            info.szHiPlayer[0] = ord("Z")
            self.assertHr(S_OK, lib.kx_game_get_game_info(handle, ctypes.byref(info)))
            self.assertEqual((info.dwSize, info.dwTournID, info.dwNumGames), (184, 12, 0))
            self.assertEqual((info.dwHiScore, info.szHiPlayer[0], info.fJackpot),
                             (77, ord("Z"), 12.5))

            for name, value in (("PLAYID", "4711"), ("SEED", "20240917"), ("LEVEL", "2"),
                                ("TIMELIMIT", "30")):
                self.assertEqual(services.item(name), (S_OK, value), name)
            self.assertEqual(services.item("BONUS"), (KX_E_NOSUCHITEM, "-"))

            # The value and its zero must fit the buffer's bytes.
            self.assertEqual(services.item("SEED", 8), (KX_E_BUFFERTOOSMALL, "-"))
            self.assertEqual(services.item("SEED", 9), (S_OK, "20240917"))
            self.assertEqual(services.item("MOTTO", 6)[0], KX_E_BUFFERTOOSMALL)
            self.assertEqual(services.item("MOTTO", 7), (S_OK, "Gr\u20acn"))

            self.assertHr(S_OK, lib.kx_game_set_game_data_item(handle, b"MOVES", b"17"))
            self.assertHr(S_OK, lib.kx_game_set_game_data_item(handle, b"WORDS", b"4"))
            self.assertHr(S_OK, lib.kx_game_end_game(handle, 1234))
            self.assertHr(KX_E_REFUSED, lib.kx_game_end_game(handle, 99))


if __name__ == "__main__":
    LIBRARY = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])

"""The command pages: LOGIN, STARTTOUR, ENDGAME and CREATEACCOUNT."""

import hashlib
import math
import random

from . import protocol as P
from .store import NameTaken

# Result codes of this service. The console only tells "0" from the rest.
E_LOGIN = 1
E_FIELD = 2
E_TOURNAMENT = 3
E_CLOSED = 4
E_CHECKSUM = 5
E_PLAY = 6
E_SCORED = 7
E_TAKEN = 8
E_COMMAND = 9

FIELD_MAX = 49
USERNAME_BAD = set("()<>@,;:\\\"[]{}!#$%^*+?/|~'`")
INT32 = (-2**31, 2**31 - 1)


class Refusal(Exception):
    def __init__(self, code, text):
        super().__init__(text)
        self.code = code
        self.text = text


def gcs(play_id_text, tournament_id_text, user_id):
    data = (play_id_text + tournament_id_text + str(user_id)).encode(P.WIRE)
    return hashlib.md5(data).hexdigest()


def run(store, endpoint, pairs):
    """Answer one command post; endpoint is "command" or "createaccount"."""
    fields = P.first_values(pairs)
    word = fields.get("COMMAND")
    handlers = COMMAND_PAGE if endpoint == "command" else ACCOUNT_PAGE
    try:
        if word is None:
            raise Refusal(E_COMMAND, "No command was given.")
        handler = handlers.get(word)
        if handler is None:
            raise Refusal(E_COMMAND, "Unknown command: %s" % P.display(word)[:60])
        return P.ok(*handler(store, fields, pairs))
    except Refusal as r:
        return P.refuse(r.code, r.text)


def _field(fields, key, label=None, required=True):
    value = fields.get(key)
    label = label or key
    if value is None or (required and value == ""):
        raise Refusal(E_FIELD, "%s cannot be blank." % label)
    if len(value) > FIELD_MAX:
        raise Refusal(E_FIELD, "%s is too long." % label)
    return value


def _authenticate(store, fields):
    name = _field(fields, "USERNAME", "Username")
    password = _field(fields, "PASSWORD", "Password")
    account = store.account(name)
    if account is None or account["password"] != password:
        raise Refusal(E_LOGIN, "The username or password you entered is incorrect.")
    return account


def login(store, fields, pairs):
    account = _authenticate(store, fields)
    items = [("USERID", str(account["id"])),
             ("SESSIONID", store.new_session(account["id"]))]
    if account["monitor"]:
        items.append(("MONITOR", "1"))
    return items


def _tournament(store, text):
    tid = P.strict_int(text)
    t = store.tournament(tid) if tid is not None else None
    if t is None:
        raise Refusal(E_TOURNAMENT, "That tournament is not available.")
    return t


def start_tour(store, fields, pairs):
    account = _authenticate(store, fields)
    game_name = _field(fields, "GAMENAME", "GAMENAME")
    t = _tournament(store, _field(fields, "TOURNID", "TOURNID"))
    game = store.game(game_name)
    if game is None or t["game"] != game["name"]:
        raise Refusal(E_TOURNAMENT, "That tournament is not played with %s."
                      % P.display(game_name))
    if t["status"] != "open":
        raise Refusal(E_CLOSED, "This tournament has closed. Please choose another one.")
    seed_value = random.randint(1, 999999)
    play_id = store.start_play(t["id"], account["id"], seed_value)
    return [("PLAYID", str(play_id)), ("CLIENTID", game["client_id"]),
            ("TOURNID", str(t["id"])), ("GAMENAME", game["name"]),
            ("SEED", str(seed_value)), ("LEVEL", str(t["level"])),
            ("TIMELIMIT", str(t["time_limit"]))]


def end_game(store, fields, pairs):
    account = _authenticate(store, fields)
    play_text = _field(fields, "PLAYID", "PLAYID")
    tour_text = _field(fields, "TOURNID", "TOURNID")
    checksum = _field(fields, "GCS", "GCS")
    score_text = _field(fields, "SCORE", "SCORE")
    play_id = P.strict_int(play_text)
    play = store.play(play_id) if play_id is not None else None
    if play is None or play["user_id"] != account["id"]:
        raise Refusal(E_PLAY, "That play is not known for this player.")
    if P.strict_int(tour_text) != play["tournament_id"]:
        raise Refusal(E_PLAY, "That play does not belong to this tournament.")
    if checksum != gcs(play_text, tour_text, account["id"]):
        raise Refusal(E_CHECKSUM, "The score could not be verified and was not posted.")
    score = P.strict_int(score_text)
    if score is None or not INT32[0] <= score <= INT32[1]:
        raise Refusal(E_FIELD, "SCORE is not a number.")
    game_data = _game_data(pairs)
    if not store.finish_play(play["id"], score, checksum, game_data):
        # A repeat of the same post (the reply was lost) gets the same answer.
        if store.play(play["id"])["score"] != score:
            raise Refusal(E_SCORED, "A score has already been posted for this play.")
    rank, entries = store.rank(play["id"])
    percentile = max(1, math.ceil(100 * rank / entries))
    return [("RANK", str(rank)), ("PERCENTILE", str(percentile))]


def _game_data(pairs):
    """The items after SCORE: what the game client stored for the service."""
    for i, (key, _) in enumerate(pairs):
        if key == "SCORE":
            return [[k, v] for k, v in pairs[i + 1:]]
    return []


def _valid_email(text):
    local, at, domain = text.rpartition("@")
    return (at and local and "." in domain.strip(".")
            and not any(ch.isspace() for ch in text))


def create_account(store, fields, pairs):
    name = _field(fields, "USERNAME", "Username")
    if any(ch in USERNAME_BAD or ord(ch) < 0x20 for ch in name):
        raise Refusal(E_FIELD, "Username cannot contain invalid characters.")
    password = _field(fields, "PASSWORD", "Password")
    email = _field(fields, "EMAIL", "Email")
    if not _valid_email(email):
        raise Refusal(E_FIELD, "Please enter a valid email address.")
    details = {"EMAIL": email}
    for key, label in (("FIRSTNAME", "First Name"), ("LASTNAME", "Last Name"),
                       ("ADDRESS", "Address"), ("CITY", "City"), ("STATE", "State"),
                       ("ZIP", "Zip / Postal Code"), ("COUNTRY", "Country")):
        details[key] = _field(fields, key, label)
    for key in ("ADDRESS2", "OTHERSTATE", "ABOUT"):
        details[key] = _field(fields, key, required=False) if key in fields else ""
    if details["STATE"] == "OTHER":
        if details["OTHERSTATE"] == "":
            raise Refusal(E_FIELD, "Please enter your state or province in the"
                          " Other (State/Province) field.")
        if details["COUNTRY"] == "United States":
            raise Refusal(E_FIELD, "Please choose a state of the United States,"
                          " or a country other than the United States.")
    try:
        store.create_account(name, password, details)
    except NameTaken:
        raise Refusal(E_TAKEN, "The username %s is already taken. Please choose another."
                      % P.display(name)) from None
    return []


COMMAND_PAGE = {"LOGIN": login, "STARTTOUR": start_tour, "ENDGAME": end_game}
ACCOUNT_PAGE = {"CREATEACCOUNT": create_account}

"""SQLite state: accounts, sessions, games, tournaments, plays and uploads."""

import contextlib
import json
import secrets
import sqlite3
import threading
import time

from . import seed

SCHEMA = """
CREATE TABLE IF NOT EXISTS accounts (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    username TEXT NOT NULL UNIQUE COLLATE NOCASE,
    password TEXT NOT NULL,
    monitor INTEGER NOT NULL DEFAULT 0,
    robot INTEGER NOT NULL DEFAULT 0,
    details TEXT NOT NULL DEFAULT '{}',
    created REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS sessions (
    id TEXT PRIMARY KEY,
    user_id INTEGER NOT NULL,
    created REAL NOT NULL
);
CREATE TABLE IF NOT EXISTS games (
    name TEXT PRIMARY KEY,
    client_id TEXT NOT NULL,
    version TEXT NOT NULL,
    stem TEXT NOT NULL,
    blurb TEXT NOT NULL,
    position INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS tournaments (
    id INTEGER PRIMARY KEY,
    game TEXT NOT NULL,
    title TEXT NOT NULL,
    entry TEXT NOT NULL,
    prize TEXT NOT NULL,
    closes REAL NOT NULL,
    status TEXT NOT NULL,
    level INTEGER NOT NULL,
    time_limit INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS plays (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    tournament_id INTEGER NOT NULL,
    user_id INTEGER NOT NULL,
    seed INTEGER NOT NULL,
    started REAL NOT NULL,
    score INTEGER,
    gcs TEXT,
    game_data TEXT,
    ended REAL
);
CREATE TABLE IF NOT EXISTS uploads (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    play_id INTEGER NOT NULL,
    username TEXT NOT NULL,
    path TEXT NOT NULL,
    size INTEGER NOT NULL,
    complete INTEGER NOT NULL,
    received REAL NOT NULL
);
"""


class NameTaken(Exception):
    pass


class Store:
    """One connection per call, writes serialised by a lock.

    Handler threads come and go; a lock keeps SQLite from ever answering
    "database is locked" under the demo's small load.
    """

    def __init__(self, path):
        self.path = path
        self._lock = threading.RLock()
        with self._db() as db:
            db.executescript(SCHEMA)
            if db.execute("SELECT COUNT(*) FROM games").fetchone()[0] == 0:
                self._seed(db)

    @contextlib.contextmanager
    def _db(self):
        with self._lock:
            conn = sqlite3.connect(self.path, timeout=30)
            conn.row_factory = sqlite3.Row
            try:
                yield conn
                conn.commit()
            except BaseException:
                conn.rollback()
                raise
            finally:
                conn.close()

    def _seed(self, db):
        now = time.time()
        for pos, (name, client_id, version, stem, blurb) in enumerate(seed.GAMES):
            db.execute("INSERT INTO games VALUES (?,?,?,?,?,?)",
                       (name, client_id, version, stem, blurb, pos))
        for uid, name, password, monitor in seed.ACCOUNTS:
            db.execute("INSERT INTO accounts (id, username, password, monitor, created)"
                       " VALUES (?,?,?,?,?)", (uid, name, password, int(monitor), now))
        for i, name in enumerate(seed.ROBOTS):
            db.execute("INSERT INTO accounts (id, username, password, robot, created)"
                       " VALUES (?,?,?,1,?)",
                       (seed.ROBOT_FIRST_ID + i, name, seed.ROBOT_PASSWORD, now))
        # New accounts get ids after the robots, not in between.
        db.execute("UPDATE sqlite_sequence SET seq = ? WHERE name = 'accounts'",
                   (seed.ROBOT_FIRST_ID + 999,))
        db.execute("INSERT INTO sqlite_sequence (name, seq) VALUES ('plays', ?)",
                   (seed.FIRST_PLAY_ID - 1,))
        for (tid, game, title, entry, prize, days, status, level, limit,
             count) in seed.TOURNAMENTS:
            db.execute("INSERT INTO tournaments VALUES (?,?,?,?,?,?,?,?,?)",
                       (tid, game, title, entry, prize, now + days * 86400,
                        status, level, limit))
            for uid, score in seed.robot_scores(tid, count):
                db.execute("INSERT INTO plays (tournament_id, user_id, seed, started,"
                           " score, ended) VALUES (?,?,?,?,?,?)",
                           (tid, uid, 0, now - 3600, score, now - 3000))

    # Accounts and sessions

    def account(self, name):
        with self._db() as db:
            return db.execute("SELECT * FROM accounts WHERE username = ?",
                              (name,)).fetchone()

    def account_by_id(self, user_id):
        with self._db() as db:
            return db.execute("SELECT * FROM accounts WHERE id = ?",
                              (user_id,)).fetchone()

    def create_account(self, name, password, details):
        with self._db() as db:
            try:
                cur = db.execute(
                    "INSERT INTO accounts (username, password, details, created)"
                    " VALUES (?,?,?,?)",
                    (name, password, json.dumps(details), time.time()))
            except sqlite3.IntegrityError:
                raise NameTaken(name) from None
            return cur.lastrowid

    def new_session(self, user_id):
        sid = secrets.token_hex(16).upper()
        with self._db() as db:
            db.execute("INSERT INTO sessions VALUES (?,?,?)", (sid, user_id, time.time()))
        return sid

    # Games and tournaments

    def games(self):
        with self._db() as db:
            return db.execute("SELECT * FROM games ORDER BY position").fetchall()

    def game(self, name):
        with self._db() as db:
            return db.execute("SELECT * FROM games WHERE name = ?", (name,)).fetchone()

    def tournaments(self, game=None):
        with self._db() as db:
            sql = ("SELECT t.*, (SELECT COUNT(*) FROM plays p WHERE p.tournament_id = t.id"
                   " AND p.score IS NOT NULL) AS entries FROM tournaments t")
            if game is None:
                return db.execute(sql + " ORDER BY t.id").fetchall()
            return db.execute(sql + " WHERE t.game = ? ORDER BY t.status DESC, t.id",
                              (game,)).fetchall()

    def tournament(self, tid):
        with self._db() as db:
            return db.execute("SELECT * FROM tournaments WHERE id = ?", (tid,)).fetchone()

    # Plays

    def start_play(self, tournament_id, user_id, seed_value):
        with self._db() as db:
            cur = db.execute("INSERT INTO plays (tournament_id, user_id, seed, started)"
                             " VALUES (?,?,?,?)",
                             (tournament_id, user_id, seed_value, time.time()))
            return cur.lastrowid

    def play(self, play_id):
        with self._db() as db:
            return db.execute("SELECT * FROM plays WHERE id = ?", (play_id,)).fetchone()

    def finish_play(self, play_id, score, gcs, game_data):
        """Store the score once; returns False when the play already had one."""
        with self._db() as db:
            cur = db.execute("UPDATE plays SET score = ?, gcs = ?, game_data = ?, ended = ?"
                             " WHERE id = ? AND score IS NULL",
                             (score, gcs, json.dumps(game_data), time.time(), play_id))
            return cur.rowcount == 1

    def rank(self, play_id):
        """(rank, entries) of a scored play: ties share the better rank."""
        with self._db() as db:
            row = db.execute("SELECT tournament_id, score FROM plays WHERE id = ?",
                             (play_id,)).fetchone()
            if row is None or row["score"] is None:
                return None
            better = db.execute("SELECT COUNT(*) FROM plays WHERE tournament_id = ?"
                                " AND score > ?", (row["tournament_id"], row["score"])
                                ).fetchone()[0]
            entries = db.execute("SELECT COUNT(*) FROM plays WHERE tournament_id = ?"
                                 " AND score IS NOT NULL", (row["tournament_id"],)
                                 ).fetchone()[0]
            return better + 1, entries

    def standings(self, tournament_id):
        with self._db() as db:
            rows = db.execute(
                "SELECT p.id AS play_id, p.user_id, p.score, a.username FROM plays p"
                " JOIN accounts a ON a.id = p.user_id WHERE p.tournament_id = ?"
                " AND p.score IS NOT NULL ORDER BY p.score DESC, p.id",
                (tournament_id,)).fetchall()
        out, rank, last = [], 0, None
        for i, row in enumerate(rows):
            if row["score"] != last:
                rank, last = i + 1, row["score"]
            out.append((rank, row))
        return out

    def last_scored_play(self, user_id, tournament_id):
        with self._db() as db:
            return db.execute("SELECT * FROM plays WHERE user_id = ? AND tournament_id = ?"
                              " AND score IS NOT NULL ORDER BY ended DESC, id DESC LIMIT 1",
                              (user_id, tournament_id)).fetchone()

    # Uploads

    def record_upload(self, play_id, username, path, size, complete):
        with self._db() as db:
            db.execute("INSERT INTO uploads (play_id, username, path, size, complete,"
                       " received) VALUES (?,?,?,?,?,?)",
                       (play_id, username, path, size, int(complete), time.time()))

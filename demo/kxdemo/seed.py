"""What a fresh demo service knows: games, tournaments, players, scores."""

import random

# (name, client id, current version, file stem, blurb)
GAMES = [
    ("Word Maze", "3", "1.5", "wordmaze",
     "Find words in a twisting letter maze before the clock runs out."),
    ("Chess", "7", "2.0", "chess",
     "Timed chess puzzles: mate in as few moves as you can."),
    ("Solitaire Sprint", "11", "1.2", "solitaire",
     "Clear the deck as fast as possible. Every second counts."),
    ("Gem Drop", "14", "3.1", "gemdrop",
     "Match falling gems in chains for huge combo scores."),
]

# (id, game, title, entry, prize, days until close, status, level, time limit s, seeded entries)
TOURNAMENTS = [
    (12, "Word Maze", "Daily Dash", "Free", "50 credits", 1, "open", 1, 180, 8),
    (13, "Word Maze", "Weekend Marathon", "$1.00", "$25.00", 3, "open", 2, 300, 40),
    (14, "Word Maze", "Last Week's Cup", "$2.00", "$50.00", -2, "closed", 3, 300, 12),
    (17, "Chess", "Blitz Ladder", "Free", "100 credits", 2, "open", 2, 240, 10),
    (18, "Chess", "Grandmaster Open", "$5.00", "$120.00", 6, "open", 4, 600, 6),
    (21, "Solitaire Sprint", "Lunch Break Sprint", "Free", "25 credits", 1, "open", 1, 120, 9),
    (22, "Solitaire Sprint", "Marathon Deck", "$1.00", "$30.00", 4, "open", 3, 420, 15),
    (24, "Gem Drop", "Combo Crush", "Free", "40 credits", 2, "open", 2, 200, 7),
]

# (user id, name, password, monitored)
ACCOUNTS = [
    (1001, "guest", "tansy", False),
    (1002, "demo", "demo", False),
    (1003, "monitor", "monitor", True),
]

ROBOTS = [
    "AceOfWords", "BlueHeron", "CaptainQ", "DaisyChain", "EchoFox", "FizzWhiz",
    "GoldLeaf", "HoneyBadger", "IronPawn", "JollyRoger", "KiteRunner", "LunaMoth",
    "MapleSyrup", "NightOwl", "OrbitOne", "PixelPete", "QuietStorm", "RubyRose",
    "SilverBack", "TangoTwo", "UmberWolf", "VelvetJay", "WillowWisp", "XenonBolt",
    "YellowJack", "ZephyrZed", "AmberWave", "BrassTack", "CobaltCat", "DuneRider",
    "EmberGlow", "FrostByte", "GlassHalf", "HazelNut", "IvyLeague", "JadeTiger",
    "KelpForest", "LemonDrop", "MossyRock", "NovaBurst",
]
ROBOT_FIRST_ID = 2001
ROBOT_PASSWORD = "robot"
FIRST_PLAY_ID = 5000


def robot_scores(tournament_id, count):
    """Deterministic seeded standings so that ranks and percentiles mean something."""
    rng = random.Random(tournament_id * 7919)
    names = list(range(len(ROBOTS)))
    rng.shuffle(names)
    return [(ROBOT_FIRST_ID + names[i % len(names)], rng.randint(200, 9800))
            for i in range(count)]

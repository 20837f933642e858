"""The console's pages, rendered from the form data each navigation posts."""

import datetime
import time

from . import protocol as P
from .pagekit import CONSOLE_VERSION, Page, esc, version_tuple

TIPS = {
    "welcome": ("Welcome to Kestrix",
                "<p>Pick a game on the left, choose a tournament and press <b>Play</b>. "
                "Your score is posted automatically when the game ends.</p>"
                "<p>Free tournaments earn game credits; cash tournaments pay real prizes "
                "to the best scores when they close.</p>"),
    "scoring": ("How scoring works",
                "<p>Every play is one entry. Entries are ranked by score, best first; "
                "equal scores share a place.</p>"
                "<p>Places 1 to 25 are shown as your rank. Below that you see how far up "
                "the field you finished, as a percentage.</p>"),
    "fairplay": ("Fair play",
                 "<p>Each play is checked before its score counts. Winning games may be "
                 "reviewed from their game log, so play it straight and have fun.</p>"),
}


class Ctx:
    """What a page knows about the request: the posted session and the service."""

    def __init__(self, store, pairs, base_url, relay=True):
        self.store = store
        self.form = P.first_values(pairs)
        self.base = base_url
        self.relay = relay
        self.username = self.form.get("USERNAME")
        self.userid = self.form.get("USERID")
        self.game_name = self.form.get("GAMENAME")
        self.client_id = self.form.get("CLIENTID")
        self.account = None
        if self.username is not None:
            acc = store.account(self.username)
            if acc is not None and str(acc["id"]) == self.userid:
                self.account = acc

    @property
    def signed_in(self):
        return self.username is not None

    @property
    def stale(self):
        """A posted login that the service no longer recognises."""
        return self.signed_in and self.account is None

    def url(self, path):
        return self.base + path

    def installed_version(self, game_name):
        return self.form.get(game_name)


def _closes(ts):
    left = ts - time.time()
    if left <= 0:
        return "closed " + datetime.datetime.fromtimestamp(ts).strftime("%b %d")
    if left < 86400:
        return "in %d h" % max(1, left // 3600)
    return "in %d days" % (left // 86400)


def _tip(page, ctx, name, label, sized=True, cls="btn quiet"):
    pairs = [("URL", ctx.url("/ws_Console/tips/%s.asp" % name)), ("TIPNAME", name)]
    if sized:
        pairs += [("WIDTH", "400"), ("HEIGHT", "300")]
    return page.command(label, "TIP", pairs, cls=cls)


def _install_pairs(ctx, game, upgrade):
    title = "%s %s" % (game["name"], game["version"])
    # An upgrade replaces a client the console may have started: the console
    # closes while it runs. A new client is waited for, and the page reloaded.
    pairs = [("URL", ctx.url("/downloads/%s-setup.sh" % game["stem"])),
             ("TITLE", title), ("RESTART", "1" if upgrade else "0")]
    if upgrade:
        pairs.append(("UPGRADECONFIRM", "A new version of %s (%s) is available. "
                      "Download and install it now?" % (game["name"], game["version"])))
    else:
        pairs.append(("INSTALLCONFIRM", "Download and install %s now?" % title))
    return pairs


def _game_button(page, ctx, game, selected=False, count=None):
    info = (esc(game["blurb"]) if count is None else
            "%d open tournament%s" % (count, "" if count == 1 else "s"))
    return page.command("<b>%s</b><small>%s</small>" % (esc(game["name"]), info),
                        "SELECTCLIENT",
                        [("GAMENAME", game["name"]), ("CLIENTID", game["client_id"])],
                        cls="game selected" if selected else "game")


def _who(page, ctx):
    if ctx.signed_in:
        who = "Signed in as <b>%s</b>" % esc(P.display(ctx.username))
        return '<div class="who">%s %s %s</div>' % (
            who, page.command("Log out", "LOGOUT"), page.command("Exit", "EXIT"))
    return '<div class="who">Not signed in %s %s</div>' % (
        page.command("Sign in", "LOGIN"), page.command("Exit", "EXIT"))


def _top(page, ctx):
    return ('<div id="top"><div class="logo">KESTRIX<span>SKILL GAME TOURNAMENTS</span></div>'
            '%s</div>' % _who(page, ctx))


def _stale_notice(ctx):
    if not ctx.stale:
        return ""
    return ('<div class="notice bad">Your sign-in is no longer valid. '
            '<a href="/ws_Console/timeout.asp" target="_top">Find out why</a>.</div>')


def console_main(ctx):
    page = Page("Kestrix Console", "window", ctx.relay)
    open_counts = {}
    for t in ctx.store.tournaments():
        if t["status"] == "open":
            open_counts[t["game"]] = open_counts.get(t["game"], 0) + 1
    games = ctx.store.games()
    selected = ctx.game_name if ctx.client_id is not None else None
    if selected is not None:
        # The console keeps the selection; the frame follows it.
        page.body_attrs["KXOnLoad"] = "SHOWTOURLIST"
    tiles = "".join(_game_button(page, ctx, g, g["name"] == selected,
                                 open_counts.get(g["name"], 0)) for g in games)
    side = ('<div id="side"><h2>Games</h2>%s<div class="side-cmds">%s%s%s%s%s</div></div>'
            % (tiles,
               page.command("&#9776; All games", "SHOWGAMELIST", cls="btn quiet"),
               page.command("&#9733; My last game", "LASTPLAY", cls="btn quiet"),
               page.command("&#8635; Refresh", "REFRESH", cls="btn quiet"),
               page.command("&#9881; Software", "SHOWVERSIONS", cls="btn quiet"),
               _tip(page, ctx, "welcome", "&#8505; Tip of the day")))
    frame = ('<iframe name="maintable" id="maintable" src="/ws_Console/welcome.asp"'
             ' frameborder="0"></iframe>')
    return page.render(_top(page, ctx) + side + frame)


def welcome(ctx):
    page = Page("Welcome", "frame", ctx.relay)
    games = ctx.store.games()
    tiles = "".join(_game_button(page, ctx, g) for g in games)
    featured = [t for t in ctx.store.tournaments() if t["status"] == "open"][:5]
    rows = "".join("<tr><td>%s</td><td>%s</td><td>%s</td><td>%s</td></tr>"
                   % (esc(t["game"]), esc(t["title"]), esc(t["prize"]), _closes(t["closes"]))
                   for t in featured)
    body = ('<h1>Welcome to Kestrix</h1><p class="sub">Skill games, real tournaments. '
            'Choose a game to see its tournaments.</p><div class="tiles">%s</div>'
            '<h2 class="sub">Closing soon</h2><table class="list"><tr><th>Game</th>'
            '<th>Tournament</th><th>Prize</th><th>Closes</th></tr>%s</table>'
            '<p class="foot">%s %s</p>'
            % (tiles, rows, _tip(page, ctx, "scoring", "How scoring works", sized=False),
               _tip(page, ctx, "fairplay", "Fair play")))
    return page.render(body)


def _rank_banner(ctx):
    rank_text = ctx.form.get("RANK")
    if rank_text is None:
        return ""
    last = ctx.form.get("LASTTOURNID")
    tid = P.strict_int(last) if last is not None else None
    tour = ctx.store.tournament(tid) if tid is not None else None
    where = " in %s" % esc(tour["title"]) if tour is not None else ""
    shown = esc(P.display(rank_text))
    # Past 25th place the console sends the percentile under the name RANK.
    percentile = False
    if ctx.account is not None and tour is not None:
        play = ctx.store.last_scored_play(ctx.account["id"], tour["id"])
        if play is not None:
            rank, _ = ctx.store.rank(play["id"])
            percentile = rank > 25 or rank < 0
    if percentile:
        return '<div class="banner">You finished in the top %s%%%s.</div>' % (shown, where)
    if rank_text.strip() == "1":
        return ('<div class="banner gold">&#127942; Congratulations! You are in first place%s.'
                '</div>' % where)
    return '<div class="banner">Your score is in: you placed #%s%s.</div>' % (shown, where)


def tour_list(ctx):
    page = Page("Tournaments", "frame", ctx.relay)
    game = ctx.store.game(ctx.game_name) if ctx.game_name is not None else None
    if game is None:
        body = ('<h1>Tournaments</h1><div class="notice">%s</div>%s'
                % ("Choose a game on the left to see its tournaments."
                   if ctx.game_name is None else
                   "There are no tournaments for %s." % esc(P.display(ctx.game_name)),
                   page.command("All games", "SHOWGAMELIST", cls="btn quiet")))
        return page.render(_stale_notice(ctx) + body)
    head = ('<div class="bar"><div class="right">%s %s %s</div><h1>%s</h1>'
            '<div class="sub">%s</div></div>'
            % (_tip(page, ctx, "scoring", "Scoring", sized=False),
               page.command("&#8635; Refresh", "REFRESH", cls="btn quiet"),
               page.command("All games", "SHOWGAMELIST", cls="btn quiet"),
               esc(game["name"]), esc(game["blurb"])))
    installed = ctx.installed_version(game["name"])
    notice = ""
    if installed is None:
        notice = ('<div class="notice">%s is not installed on this computer. %s</div>'
                  % (esc(game["name"]), page.command(
                      "Install %s" % esc(game["version"]), "INSTALL",
                      _install_pairs(ctx, game, False))))
    elif version_tuple(installed) < version_tuple(game["version"]):
        notice = ('<div class="notice">Version %s of %s is available (you have %s). %s</div>'
                  % (esc(game["version"]), esc(game["name"]), esc(P.display(installed)),
                     page.command("Upgrade", "UPGRADE", _install_pairs(ctx, game, True),
                                  cls="btn warn")))
    rows = []
    for t in ctx.store.tournaments(game["name"]):
        tid = str(t["id"])
        status = ('<span class="open">open</span> %s' % _closes(t["closes"])
                  if t["status"] == "open" else
                  '<span class="closed">closed</span>')
        rows.append("<tr><td><b>%s</b><br><small>#%s</small></td><td>%s</td><td>%s</td>"
                    '<td class="num">%d</td><td>%s</td><td>%s %s</td></tr>'
                    % (esc(t["title"]), tid, esc(t["entry"]), esc(t["prize"]), t["entries"],
                       status,
                       page.command("Play", "PLAYTOURNAMENT", [("TOURNAMENTID", tid)],
                                    cls="btn play"),
                       page.command("Standings", "TOURDETAIL", [("TOURNAMENTID", tid)],
                                    cls="btn quiet")))
    table = ('<table class="list"><tr><th>Tournament</th><th>Entry</th><th>Prize</th>'
             '<th>Entries</th><th>Status</th><th></th></tr>%s</table>' % "".join(rows))
    foot = '<p class="foot">%s</p>' % page.command("My last game", "LASTPLAY", cls="btn quiet")
    return page.render(_stale_notice(ctx) + head + _rank_banner(ctx) + notice + table + foot)


def standings(ctx):
    page = Page("Standings", "frame", ctx.relay)
    tid_text = ctx.form.get("TOURNID")
    tid = P.strict_int(tid_text) if tid_text is not None else None
    tour = ctx.store.tournament(tid) if tid is not None else None
    if tour is None:
        body = ('<h1>Standings</h1><div class="notice bad">That tournament is not known.</div>%s'
                % page.command("All games", "SHOWGAMELIST", cls="btn quiet"))
        return page.render(body)
    game = ctx.store.game(tour["game"])
    me = ctx.account["id"] if ctx.account is not None else None
    rows, shown = [], 0
    for rank, row in ctx.store.standings(tour["id"]):
        mine = row["user_id"] == me
        if shown >= 50 and not mine:
            continue
        shown += 1
        rows.append('<tr%s><td class="num">%d</td><td>%s</td><td class="num">%d</td></tr>'
                    % (' class="me"' if mine else "", rank, esc(P.display(row["username"])),
                       row["score"]))
    if not rows:
        rows.append('<tr><td colspan="3">No scores yet. Be the first!</td></tr>')
    buttons = [page.command("&#8635; Refresh", "REFRESH", cls="btn quiet")]
    if game is not None:
        buttons.insert(0, page.command("Back to %s" % esc(game["name"]), "SHOWTOURLIST",
                                       [("GAMENAME", game["name"]),
                                        ("CLIENTID", game["client_id"])], cls="btn quiet"))
    if tour["status"] == "open":
        buttons.insert(0, page.command("Play", "PLAYTOURNAMENT",
                                       [("TOURNAMENTID", str(tour["id"]))], cls="btn play"))
    head = ('<div class="bar"><div class="right">%s</div><h1>%s</h1>'
            '<div class="sub">%s &middot; %s &middot; prize %s &middot; %s</div></div>'
            % (" ".join(buttons), esc(tour["title"]), esc(tour["game"]),
               "#%d" % tour["id"], esc(tour["prize"]),
               "closes " + _closes(tour["closes"]) if tour["status"] == "open" else "closed"))
    table = ('<table class="list"><tr><th class="num">Place</th><th>Player</th>'
             '<th class="num">Score</th></tr>%s</table>' % "".join(rows))
    # A score posted late is answered here, where its tournament stands.
    return page.render(_stale_notice(ctx) + head + _rank_banner(ctx) + table)


def software_versions(ctx):
    page = Page("Software versions", "window", ctx.relay)
    console = ctx.form.get("CONSOLEVER")
    build = ctx.form.get("CONSOLEBUILD")
    rows = ['<tr><td><b>Kestrix Console</b></td><td>%s%s</td><td>%s</td><td>%s</td></tr>'
            % (esc(P.display(console)) if console is not None else "unknown",
               " (build %s)" % esc(P.display(build)) if build is not None else "",
               CONSOLE_VERSION,
               page.command("Repair", "INSTALL",
                            [("URL", ctx.url("/downloads/console-setup.sh")),
                             ("TITLE", "Kestrix Console %s" % CONSOLE_VERSION),
                             ("RESTART", "1"),
                             ("INSTALLCONFIRM", "Reinstall the Kestrix Console? "
                              "The console closes while the installer runs.")],
                            cls="btn quiet"))]
    for game in ctx.store.games():
        have = ctx.installed_version(game["name"])
        if have is None:
            action = page.command("Install", "INSTALL", _install_pairs(ctx, game, False))
            shown = "not installed"
        elif version_tuple(have) < version_tuple(game["version"]):
            action = page.command("Upgrade", "UPGRADE", _install_pairs(ctx, game, True),
                                  cls="btn warn")
            shown = esc(P.display(have))
        else:
            action, shown = "up to date", esc(P.display(have))
        rows.append("<tr><td><b>%s</b></td><td>%s</td><td>%s</td><td>%s</td></tr>"
                    % (esc(game["name"]), shown, esc(game["version"]), action))
    content = ('<div id="content"><div class="bar"><div class="right">%s %s</div>'
               '<h1>Your software</h1><div class="sub">What this computer reported, and '
               'what is current.</div></div><table class="list"><tr><th>Program</th>'
               '<th>Installed</th><th>Current</th><th></th></tr>%s</table></div>'
               % (page.command("&#8635; Refresh", "REFRESH", cls="btn quiet"),
                  page.command("Back to games", "SHOWGAMELIST"), "".join(rows)))
    return page.render(_top(page, ctx) + content)


def create_account_info(ctx):
    page = Page("Create your account", "window", ctx.relay)
    content = ('<div id="content"><h1>Create your free account</h1>'
               '<p class="sub">It takes a minute and costs nothing.</p>'
               '<div class="notice">Press <b>Register</b> in the sign-in window and fill in '
               'the form. A new account starts with free game credits.</div>'
               '<ul><li>Play free tournaments for credits.</li>'
               '<li>Enter cash tournaments and win real prizes.</li>'
               '<li>Track your standings in every tournament.</li></ul>'
               '<p>%s %s</p></div>'
               % (page.command("Sign in", "LOGIN"), page.command("Back to games",
                                                                 "SHOWGAMELIST",
                                                                 cls="btn quiet")))
    return page.render(_top(page, ctx) + content)


def timeout(ctx):
    page = Page("Session timed out", "window", ctx.relay)
    content = ('<div id="content"><h1>Your session has timed out</h1>'
               '<p class="sub">You have been away for a while, or signed in elsewhere.</p>'
               '<div class="notice">Close the console and start it again to sign in.</div>'
               '<p>%s %s</p></div>'
               % (page.command("Exit", "EXIT"),
                  page.command("Back to games", "SHOWGAMELIST", cls="btn quiet")))
    return page.render(_top(page, ctx) + content)


def tip(ctx, name):
    if name not in TIPS:
        return None
    title, text = TIPS[name]
    page = Page(title, "tip", relay=False)
    return page.render('<div style="padding:14px 18px"><h1>%s</h1>%s</div>' % (esc(title), text))

"""Building blocks of the console pages: layout, buttons, parameter blocks."""

import html

CONSOLE_VERSION = "2.01"

CSS = """
* { box-sizing: border-box; }
html, body { margin: 0; padding: 0; }
body { font: 12px Tahoma, Verdana, "Segoe UI", Arial, sans-serif; color: #1d2633;
       background: #eef2f7; }
body.window { width: 800px; height: 545px; overflow: hidden; position: relative; }
body.frame { padding: 12px 14px; overflow-y: auto; }
#top { position: absolute; left: 0; top: 0; width: 800px; height: 54px;
       background: #1b2a41; background: linear-gradient(#24395a, #17243a); color: #fff; }
#top .logo { position: absolute; left: 16px; top: 9px; font: bold 22px Verdana, sans-serif;
             letter-spacing: 3px; color: #f3b33d; }
#top .logo span { display: block; font: 10px Tahoma, sans-serif; letter-spacing: 1px;
                  color: #b9c6da; }
#top .who { position: absolute; right: 12px; top: 16px; color: #cfd9e8; }
#top .who b { color: #fff; }
#side { position: absolute; left: 0; top: 54px; width: 190px; height: 491px;
        background: #dfe6ef; border-right: 1px solid #c3cedb; padding: 10px; overflow: hidden; }
#side h2 { margin: 0 0 6px; font-size: 11px; text-transform: uppercase; letter-spacing: 1px;
           color: #5a6a80; }
#maintable { position: absolute; left: 190px; top: 54px; width: 610px; height: 491px;
             border: 0; background: #fff; }
#content { position: absolute; left: 0; top: 54px; width: 800px; height: 491px;
           padding: 16px 22px; overflow-y: auto; background: #fff; }
button { font: 12px Tahoma, Verdana, sans-serif; cursor: pointer; }
.btn { background: #2b7bb9; color: #fff; border: 1px solid #1f5f91; border-radius: 3px;
       padding: 3px 10px; margin: 0 2px; }
.btn:hover { background: #3590d6; }
.btn.quiet { background: #fff; color: #24395a; border-color: #9fb0c6; }
.btn.quiet:hover { background: #eef4fb; }
.btn.play { background: #2aa26f; border-color: #1d7b53; font-weight: bold; }
.btn.play:hover { background: #33bb81; }
.btn.warn { background: #d9822b; border-color: #a8631d; }
#top .btn { background: transparent; border-color: #5d7598; color: #e6edf7; }
#top .btn:hover { background: #2f4970; }
.game { display: block; width: 100%; text-align: left; margin: 0 0 6px; padding: 6px 8px;
        background: #fff; border: 1px solid #b9c7d8; border-radius: 4px; color: #1d2633; }
.game:hover { border-color: #2b7bb9; background: #f5f9fe; }
.game.selected { border-color: #f3b33d; background: #fff8e8; }
.game b { display: block; font-size: 13px; }
.game small { color: #6b7a8f; }
.side-cmds { position: absolute; left: 10px; bottom: 10px; width: 170px; }
.side-cmds button { display: block; width: 100%; margin: 0 0 4px; text-align: left; }
h1 { font: bold 18px Verdana, sans-serif; margin: 0 0 2px; color: #24395a; }
.sub { color: #6b7a8f; margin: 0 0 10px; }
.bar { overflow: hidden; margin-bottom: 10px; }
.bar .right { float: right; }
table.list { width: 100%; border-collapse: collapse; }
table.list th { text-align: left; font-size: 11px; color: #5a6a80; border-bottom: 2px solid #d3dbe6;
                padding: 4px 6px; }
table.list td { border-bottom: 1px solid #e4e9f0; padding: 5px 6px; }
table.list tr.me td { background: #fff6dc; font-weight: bold; }
table.list td.num { text-align: right; }
.closed { color: #9a3b3b; font-weight: bold; }
.open { color: #1d7b53; font-weight: bold; }
.banner { padding: 8px 12px; margin: 0 0 10px; border-radius: 4px; background: #e4f6ec;
          border: 1px solid #9fd8b9; color: #1d5f3f; }
.banner.gold { background: #fff3d3; border-color: #f0c766; color: #7a5200; }
.notice { padding: 8px 12px; margin: 0 0 10px; border-radius: 4px; background: #eef4fb;
          border: 1px solid #b7cce6; }
.notice.bad { background: #fdecec; border-color: #e5a9a9; color: #7d2525; }
.tiles { overflow: hidden; }
.tiles .game { float: left; width: 47%; margin: 0 2% 8px 0; min-height: 56px; }
.foot { color: #8793a5; font-size: 10px; margin-top: 12px; }
.kxp { display: none; }
#kxrelay { position: absolute; left: -9999px; top: 0; width: 1px; height: 1px; }
"""

# Clicks inside the frame belong to the frame's document, which the console
# does not listen to. The frame hands each command to an off-screen button of
# the top page, which the console does hear.
RELAY_SCRIPT = """
(function () {
  function commandOf(el) {
    while (el && el.nodeType === 1) {
      if (el.getAttribute('KXCommand') !== null) return el;
      el = el.parentNode;
    }
    return null;
  }
  function textOf(el) { return el.textContent !== undefined ? el.textContent : el.innerText; }
  function relay(e) {
    e = e || window.event;
    var el = commandOf(e.target || e.srcElement), top;
    if (!el || window.parent === window) return;
    try { top = window.parent.document; } catch (x) { return; }
    var button = top.getElementById('kxrelay'), box = top.getElementById('kxrelayparams');
    if (!button || !box) return;
    button.setAttribute('KXCommand', el.getAttribute('KXCommand'));
    var id = el.getAttribute('KXParams'), src = id ? document.getElementById(id) : null;
    if (src) {
      if (box.textContent !== undefined) box.textContent = textOf(src); else box.innerText = textOf(src);
      button.setAttribute('KXParams', 'kxrelayparams');
    } else {
      button.removeAttribute('KXParams');
    }
    button.focus();
    button.click();
  }
  if (document.addEventListener) document.addEventListener('click', relay, false);
  else document.attachEvent('onclick', relay);
})();
"""


def esc(text):
    return html.escape(str(text), quote=True)


class Page:
    """One HTML page under construction, with its hidden parameter elements."""

    def __init__(self, title, kind, relay=True):
        self.title = title
        self.kind = kind          # "window" or "frame"
        self.relay = relay
        self.body_attrs = {}
        self._params = []

    def params(self, pairs):
        """A hidden element whose text is the KEY=VALUE lines; returns its id."""
        ident = "kxp%d" % (len(self._params) + 1)
        text = "\r\n".join("%s=%s" % (k, v) for k, v in pairs)
        self._params.append('<pre class="kxp" id="%s" style="display:none">%s</pre>'
                            % (ident, esc(text)))
        return ident

    def command(self, label, word, pairs=None, cls="btn", tag="button", title=None):
        """A clickable element carrying a console command (and its parameters)."""
        attrs = ['KXCommand="%s"' % esc(word)]
        if pairs is not None:
            attrs.append('KXParams="%s"' % self.params(pairs))
        if title:
            attrs.append('title="%s"' % esc(title))
        return '<button type="button" class="%s" %s>%s</button>' % (
            esc(cls), " ".join(attrs), label)

    def render(self, content):
        attrs = "".join(' %s="%s"' % (k, esc(v)) for k, v in self.body_attrs.items())
        script = ""
        if self.kind == "frame" and self.relay:
            script = "<script>%s</script>" % RELAY_SCRIPT
        relay_target = ""
        if self.kind == "window":
            relay_target = ('<button type="button" id="kxrelay" tabindex="-1"></button>'
                            '<pre id="kxrelayparams" style="display:none"></pre>')
        return ("<!DOCTYPE html>\n<html><head>"
                '<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">'
                '<meta http-equiv="X-UA-Compatible" content="IE=edge">'
                "<title>%s</title><style>%s</style></head>\n"
                '<body class="%s"%s>\n%s\n%s\n%s\n%s</body></html>\n'
                % (esc(self.title), CSS, self.kind, attrs, content, relay_target,
                   "\n".join(self._params), script)).encode("cp1252", errors="xmlcharrefreplace")


def version_tuple(text):
    parts = []
    for piece in (text or "").split("."):
        digits = "".join(ch for ch in piece if ch.isdigit())
        parts.append(int(digits) if digits else 0)
    return tuple(parts)

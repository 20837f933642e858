"""Form data in, key/value lines out: the wire format of the command pages."""

import email.parser
import email.policy
from urllib.parse import parse_qsl

# The console's texts are 8-bit in the Windows-1252 code page. Form values are
# kept as latin-1 strings so that every byte survives unchanged; display()
# turns them into readable text for the pages.
WIRE = "latin-1"


def parse_form(body, content_type=""):
    """Form pairs in order, values as byte-exact latin-1 strings."""
    ctype = (content_type or "").lower()
    if ctype.startswith("multipart/form-data"):
        return _parse_multipart(body, content_type)
    text = body.decode(WIRE)
    return parse_qsl(text, keep_blank_values=True, encoding=WIRE, errors="strict")


def _parse_multipart(body, content_type):
    head = "Content-Type: %s\r\nMIME-Version: 1.0\r\n\r\n" % content_type
    msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        head.encode(WIRE) + body)
    pairs = []
    if not msg.is_multipart():
        return pairs
    for part in msg.iter_parts():
        name = part.get_param("name", header="content-disposition")
        if name is None:
            continue
        payload = part.get_payload(decode=True) or b""
        pairs.append((str(name), payload.decode(WIRE)))
    return pairs


def first_values(pairs):
    """Field lookup where the first occurrence wins.

    Game data items follow the fixed fields of an ENDGAME request and may
    reuse their names; the fixed field must not be overridden by them.
    """
    out = {}
    for key, value in pairs:
        out.setdefault(key, value)
    return out


def display(value):
    """A wire string as the text the player typed."""
    return value.encode(WIRE).decode("cp1252", errors="replace")


def reply_body(items):
    """Reply lines KEY=value, each ended by CR LF."""
    out = []
    for key, value in items:
        line = "%s=%s" % (key, value)
        # A line break inside a value would split it into two records.
        line = line.replace("\r", " ").replace("\n", " ")
        out.append(line + "\r\n")
    return "".join(out).encode("cp1252", errors="replace")


def ok(*items):
    return reply_body([("ERRORCODE", "0")] + list(items))


def refuse(code, text):
    return reply_body([("ERRORCODE", str(code)), ("ERRORTEXT", text)])


def leading_int(text):
    """Blanks, an optional sign, then decimal digits; no digits give 0."""
    s = text.lstrip(" \t")
    sign = 1
    if s[:1] in ("+", "-"):
        sign = -1 if s[0] == "-" else 1
        s = s[1:]
    digits = ""
    for ch in s:
        if not "0" <= ch <= "9":
            break
        digits += ch
    return sign * int(digits) if digits else 0


def strict_int(text):
    """A whole decimal number, or None."""
    s = text.strip()
    if s[:1] in ("+", "-"):
        body = s[1:]
    else:
        body = s
    if not body.isdigit() or not body.isascii():
        return None
    return int(s)

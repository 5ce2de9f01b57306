"""Where each key of a TOML file stands: the line of every table header and key, so that an
error in an ensemble plan can name its place in the file.

The standard library's TOML reader gives values without positions; this scan of the text
finds the line of each key path ("parameters", "vd", "gsd") as written. It follows table
headers, dotted and quoted keys and inline tables written on one line; a key it cannot place
falls back to the line of the nearest table above it that it can.
"""
import json
import re

_BARE = r"[A-Za-z0-9_-]+"
_QUOTED = r'"(?:[^"\\]|\\.)*"|\'[^\']*\''
_KEY = rf"(?:{_BARE}|{_QUOTED})"
_DOTTED = rf"{_KEY}(?:\s*\.\s*{_KEY})*"
_HEADER = re.compile(rf"\s*\[\s*({_DOTTED})\s*\]\s*(?:#.*)?\Z")
_ARRAY_HEADER = re.compile(rf"\s*\[\[\s*({_DOTTED})\s*\]\]")
_ASSIGN = re.compile(rf"\s*({_DOTTED})\s*=")
_INLINE_KEY = re.compile(rf"[{{,]\s*({_DOTTED})\s*=")


def _split(dotted):
    """The parts of a dotted key, quotes removed."""
    parts = re.findall(rf"{_KEY}", dotted)
    out = []
    for p in parts:
        if p[0] == "'":
            p = p[1:-1]
        elif p[0] == '"':
            try:
                p = json.loads(p)   # the escapes of a basic TOML string are JSON's
            except ValueError:
                p = p[1:-1]
        out.append(p)
    return tuple(out)


class KeyLines:
    """Line numbers (1-based) of the keys of one TOML text."""

    def __init__(self, text, path):
        self.path = path
        self._lines = {}
        table = ()
        in_multiline = None
        for n, line in enumerate(text.splitlines(), start=1):
            if in_multiline:
                if in_multiline in line:
                    in_multiline = None
                continue
            m = _HEADER.match(line)
            if m:
                table = _split(m.group(1))
                self._lines.setdefault(table, n)
                continue
            m = _ARRAY_HEADER.match(line)
            if m:
                table = _split(m.group(1))
                self._lines.setdefault(table, n)
                continue
            m = _ASSIGN.match(line)
            if not m:
                continue
            key = table + _split(m.group(1))
            for i in range(len(table) + 1, len(key) + 1):
                self._lines.setdefault(key[:i], n)
            rest = line[m.end():]
            for q in ('"""', "'''"):
                if rest.count(q) == 1:
                    in_multiline = q
            if rest.lstrip().startswith("{"):
                for k in _INLINE_KEY.finditer(rest):
                    self._lines.setdefault(key + _split(k.group(1)), n)

    def line(self, *key):
        """Line of the key path, or of its nearest enclosing table that was found."""
        while key:
            if key in self._lines:
                return self._lines[key]
            key = key[:-1]
        return None

    def where(self, *key):
        """"FILE line N" of the key path (the file alone when no line is known)."""
        n = self.line(*key)
        return f"{self.path} line {n}" if n else f"{self.path}"

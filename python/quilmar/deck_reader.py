"""Free-format reading of a deck, value for value as the simulator reads it.

The deck is 42 groups of two comment lines and one value record. Values are separated by
blanks or a comma; a record may run over several lines; `r*value` repeats a value, `r*`
alone or an empty value between two commas leaves items as they are, and a slash ends the
record early. After the record's last value the rest of the line is not read. Reals take
integer, decimal and exponent forms (E or D); integers only an optionally signed string of
digits. A deck the program would stop on raises DeckError with the program's own message.
"""
from .names import RECORDS

COMMENT_WIDTH = 100
INT_MIN, INT_MAX = -2 ** 31, 2 ** 31 - 1


class DeckError(Exception):
    """A deck, or a change to one, that the program would not accept. The message names the
    record and item as the program's own message does."""


def _is_digit(c):
    return "0" <= c <= "9"


def _ends_token(c):
    return c in " \t,/"


def printable(text):
    """A bad value as the program shows it in a one-line message: every byte outside
    printable ASCII as \\xNN, texts over 40 characters cut."""
    out = "".join(c if 0x20 <= ord(c) < 0x7F else f"\\x{ord(c):02x}" for c in text[:40])
    return out + ("..." if len(text) > 40 else "")


def parse_integer(text):
    """(value, out_of_range) of a deck integer, value None when the text is not one."""
    p = 1 if text[:1] in ("+", "-") else 0
    digits = text[p:]
    if not digits or not all(_is_digit(c) for c in digits):
        return None, False
    v = int(text)
    if v < INT_MIN or v > INT_MAX:
        return None, True
    return v, False


def parse_real(text):
    """(value, out_of_range) of a deck real, value None when the text is not one. The
    accepted forms are the program's; the conversion of the normalised text is correctly
    rounded in both, so the double is the same."""
    n = len(text)

    def sign(p):
        return (text[p], p + 1) if p < n and text[p] in "+-" else ("", p)

    def digit_run(p):
        start = p
        while p < n and _is_digit(text[p]):
            p += 1
        return text[start:p], p

    normal, p = sign(0)
    whole, p = digit_run(p)
    normal += whole
    fraction = ""
    if p < n and text[p] == ".":
        fraction, p = digit_run(p + 1)
        normal += "." + fraction
    if not whole and not fraction:
        return None, False
    if p < n:
        if text[p] not in "eEdD":
            return None, False
        exp_sign, p = sign(p + 1)
        exponent, p = digit_run(p)
        if not exponent or p != n:
            return None, False
        normal += "e" + exp_sign + exponent
    v = float(normal)
    if v != v or v in (float("inf"), float("-inf")):
        return None, True
    return v, False


def split_lines(text):
    """Lines of a deck as the program reads them: split at LF, one CR before it dropped;
    when the first line ends in a CR alone, every CR, CR LF or LF ends a line."""
    first = min((i for i in (text.find("\r"), text.find("\n")) if i >= 0), default=-1)
    if first >= 0 and text[first] == "\r" and text[first + 1:first + 2] != "\n":
        text = text.replace("\r\n", "\n").replace("\r", "\n")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [ln[:-1] if ln.endswith("\r") else ln for ln in lines]


def surplus_number(rest):
    """The text after a record's last value when it goes on with something that reads as a
    number (a real or a repeat r*...), past blanks and one comma; None otherwise."""
    s = rest.lstrip(" \t")
    if s.startswith(","):
        s = s[1:].lstrip(" \t")
    end = 0
    while end < len(s) and not _ends_token(s[end]):
        end += 1
    token = s[:end]
    if not token:
        return None
    v, rng = parse_real(token)
    number = v is not None or rng
    star = token.find("*")
    if not number and star > 0 and _is_digit(token[0]):
        r, _ = parse_integer(token[:star])
        number = r is not None and r >= 1
    return s.rstrip(" \t") if number else None


class RecordRead:
    """What one value record left: the values assigned (element name -> value), the number
    of values read, the rest of the line after the record (a note) and where it ended."""

    def __init__(self):
        self.values = {}
        self.count = 0
        self.rest = ""
        self.slash = False


class Reader:
    def __init__(self, text):
        self.lines = split_lines(text)
        self.next = 0
        self.line = None      # the line being read, None when it has been used up
        self.pos = 0

    def _next_line(self):
        if self.next >= len(self.lines):
            self.line = None
            return False
        self.line = self.lines[self.next]
        self.next += 1
        self.pos = 0
        return True

    def comment(self, record, which):
        if not self._next_line():
            raise DeckError(f"deck record {record}, comment line {which}: end of input")
        text = self.line
        self.line = None
        return text

    @staticmethod
    def _fail(record, k, element, what):
        raise DeckError(f"deck record {record}, item {k + 1} ({element.name}): {what}")

    def _assign(self, record, k, element, text, out):
        if element.integer:
            v, rng = parse_integer(text)
            if v is None:
                self._fail(record, k, element, f'"{printable(text)}"' + (
                    " is out of range for a 32-bit integer" if rng else " is not an integer"))
        else:
            v, rng = parse_real(text)
            if v is None:
                self._fail(record, k, element, f'"{printable(text)}"' + (
                    " is out of range for a double" if rng else " is not a real number"))
        out.values[element.name] = v
        out.count += 1

    def _skip_blanks(self, record, k, element):
        while True:
            if self.line is not None:
                while self.pos < len(self.line) and self.line[self.pos] in " \t":
                    self.pos += 1
                if self.pos < len(self.line):
                    return
            if not self._next_line():
                self._fail(record, k, element, "end of input")

    def record(self, record):
        items = RECORDS[record - 1]
        out = RecordRead()
        k = 0
        comma_allowed = False   # a comma right after a value only separates it from the next
        while k < len(items):
            self._skip_blanks(record, k, items[k])
            c = self.line[self.pos]
            if c == "," and comma_allowed:
                self.pos += 1
                comma_allowed = False
                continue
            if c == ",":        # an empty value: the item keeps what it holds
                self.pos += 1
                k += 1
                continue
            if c == "/":        # the record ends here; the remaining items keep their values
                out.slash = True
                break
            start = self.pos
            while self.pos < len(self.line) and not _ends_token(self.line[self.pos]):
                self.pos += 1
            token = self.line[start:self.pos]
            star = token.find("*")
            if star < 0:
                self._assign(record, k, items[k], token, out)
                k += 1
            else:
                count = token[:star]
                repeat, _ = (None, False) if (not count or count[0] in "+-") else \
                    parse_integer(count)
                if repeat is None or repeat < 1:
                    self._fail(record, k, items[k],
                               f'"{printable(token)}" has no valid repeat count')
                value = token[star + 1:]
                r = 0
                while r < repeat and k < len(items):
                    if value:
                        self._assign(record, k, items[k], value, out)
                    r += 1
                    k += 1
            comma_allowed = True
        out.rest = self.line[self.pos:] if self.line is not None else ""
        self.line = None    # the rest of the line after the record's last value is not read
        return out

    def remainder(self):
        """The lines after the last record, which the program does not read."""
        return self.lines[self.next:]

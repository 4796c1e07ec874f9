"""Conversions between Python values and the texts and integers of the C
functions: the register's character set, decimal numbers, dates and times,
and the size of every output buffer."""

import codecs
import datetime
import decimal
import os

DEFAULT_CHARSET = 'CP1250'

# The largest text one answer frame can produce: the buffer of an output
# whose size the tables do not bound.
FRAME_MAX = 256 * 1024


def output_size(param):
    """Bytes of the buffer for a text output (the terminating NUL
    included): the largest text the output can hold where the tables give
    it (``max``), else libmirtel's local buffer that the text is popped
    through (``local``: the text is at most local - 1 bytes), else the
    largest text a frame can carry."""
    if param.get('max') is not None:
        return int(param['max']) + 1
    if param.get('local'):
        return int(param['local'])
    return FRAME_MAX


def resolve_charset(charset=None):
    """The register's character set: ``charset`` when given, else the
    environment variable TARVIK_CHARSET, else CP1250 (the setting trvctl and
    the gateway share). ValueError for a name Python does not know."""
    name = charset or os.environ.get('TARVIK_CHARSET') or DEFAULT_CHARSET
    try:
        codecs.lookup(name)
    except LookupError:
        raise ValueError('unknown character set %r (TARVIK_CHARSET or charset=)' % name) from None
    return name


class Codec:
    """Texts to and from the register's bytes.

    A text that the character set cannot represent is refused (the caller
    turns UnicodeEncodeError into an ArgumentError naming the argument).
    Bytes that the character set does not define come back as lone
    surrogates (Python's "surrogateescape"), and go out as the same bytes,
    so a record read and written back is unchanged."""

    __slots__ = ('name', '_enc', '_dec')

    def __init__(self, name):
        self.name = name
        info = codecs.lookup(name)
        self._enc = info.encode
        self._dec = info.decode

    def encode(self, text):
        return self._enc(text, 'surrogateescape')[0]

    def decode(self, raw):
        return self._dec(raw, 'surrogateescape')[0]


# ---- inputs ----------------------------------------------------------------------

_INT_MAX = {'B': 0xFF, 'W': 0xFFFF, 'L': 0xFFFFFFFF}


_PLACES = {'N': 0, 'K': 2, 'Q': 3}


def decimal_text(value, places=None):
    """A decimal number as the text libtarvik parses: Decimal, int, a
    decimal text, or a float (taken by its shortest repr). With ``places``
    (0 for a Numeric: a whole number; 2 for a Currency; 3 for a Quantity)
    a number with more decimals is refused, and trailing zeros beyond them
    are dropped (Decimal("350.00") is the Numeric 350)."""
    if isinstance(value, bool):
        raise TypeError('a decimal number, not a bool')
    if isinstance(value, int):
        return str(value)
    if isinstance(value, str):
        if places is None:
            return value
        try:
            value = decimal.Decimal(value.strip().replace(',', '.'))
        except decimal.InvalidOperation:
            raise ValueError('%r is no decimal number' % value) from None
    if isinstance(value, float):
        value = decimal.Decimal(repr(value))
    if not isinstance(value, decimal.Decimal):
        raise TypeError('a decimal number (Decimal, int or text), not %s' % type(value).__name__)
    if not value.is_finite():
        raise ValueError('not a finite number')
    if places is not None and value.as_tuple().exponent < -places:
        exact = value.quantize(decimal.Decimal(1).scaleb(-places), rounding=decimal.ROUND_DOWN)
        if exact != value:
            raise ValueError('%s has more than %d decimals%s' % (
                value, places, ' (a Numeric is a whole number: amounts in the smallest unit, 4999 for 49.99)'
                if places == 0 else ''))
        value = exact
    return format(value, 'f')


def _date_text(value, kind):
    if isinstance(value, str):
        return value
    if kind in ('time', 'hm'):
        if isinstance(value, (datetime.time, datetime.datetime)):
            return value.strftime('%H:%M:%S' if kind == 'time' else '%H:%M')
        raise TypeError('a time (datetime.time) or a text, not %s' % type(value).__name__)
    if not isinstance(value, datetime.date):
        raise TypeError('a date (datetime.date / datetime.datetime) or a text, not %s' % type(value).__name__)
    if kind == 'date':
        return '%04d-%02d-%02d' % (value.year, value.month, value.day)
    if not isinstance(value, datetime.datetime):
        value = datetime.datetime.combine(value, datetime.time())
    if kind == 'datetimemin':
        return '%04d-%02d-%02d %02d:%02d' % (value.year, value.month, value.day, value.hour, value.minute)
    return '%04d-%02d-%02d %02d:%02d:%02d' % (value.year, value.month, value.day, value.hour, value.minute,
                                              value.second)


def input_value(kind, value, codec):
    """The C value of an input of ``kind``: an int for B, W, L, one byte for
    char, bytes (or None) for the texts. Raises TypeError, ValueError or
    UnicodeEncodeError."""
    if kind in _INT_MAX:
        if isinstance(value, bool):
            value = int(value)
        if not isinstance(value, int):
            if hasattr(value, '__index__'):
                value = value.__index__()
            else:
                raise TypeError('an integer, not %s' % type(value).__name__)
        if not 0 <= value <= _INT_MAX[kind]:
            raise ValueError('%d is outside 0..%d' % (value, _INT_MAX[kind]))
        return value
    if kind == 'char':
        if isinstance(value, int) and not isinstance(value, bool) and 0 <= value <= 255:
            return bytes([value])
        if isinstance(value, str) and len(value) == 1:
            raw = codec.encode(value)
            if len(raw) == 1:
                return raw
        raise ValueError('one character or a byte value 0..255')
    if value is None:
        return None  # libmirtel decides: the argument's code, or an empty text where allowed
    if isinstance(value, bytes):
        return value
    if kind in _PLACES:
        text = decimal_text(value, _PLACES[kind])
    elif kind in ('date', 'datetime', 'datetimemin', 'timedate', 'time', 'hm'):
        text = _date_text(value, kind)
    elif isinstance(value, (datetime.date, datetime.time)):
        # A text argument of a hand-written function that takes a date or
        # time: libmirtel reads the fields at fixed places, and a longer
        # text than it needs is fine.
        text = _date_text(value, 'time' if isinstance(value, datetime.time) else
                          'datetime' if isinstance(value, datetime.datetime) else 'date')
    elif isinstance(value, (list, tuple)):
        # A list travels as one text, a line feed between two entries.
        text = '\n'.join(_list_item(v) for v in value)
    elif isinstance(value, str):
        text = value
    elif kind == 'ip' or type(value).__name__ in ('IPv4Address',):
        text = str(value)
    else:
        raise TypeError('a text, not %s' % type(value).__name__)
    return codec.encode(text)


def _list_item(v):
    if isinstance(v, str):
        return v
    if isinstance(v, (int, decimal.Decimal, float)) and not isinstance(v, bool):
        return decimal_text(v)
    raise TypeError('list entries are texts or numbers, not %s' % type(v).__name__)


# ---- outputs -----------------------------------------------------------------------

def to_decimal(text):
    """A decimal text of the register as Decimal ("," or "." separator);
    the text itself when it is no number."""
    try:
        return decimal.Decimal(text.replace(',', '.'))
    except (decimal.InvalidOperation, ValueError):
        return text


def _ints(text):
    return [int(p) for p in text.split('-' if '-' in text else ':')]


def to_date(text, kind):
    """A date or time text of libmirtel as datetime.date, datetime.datetime,
    datetime.time or datetime.timedelta; None for the register's all-zero
    "no date"; the text itself when it does not read as one."""
    try:
        if kind == 'interval':
            d, h, m, s = (int(p) for p in text.split(':'))
            return datetime.timedelta(days=d, hours=h, minutes=m, seconds=s)
        if kind in ('time', 'hm'):
            parts = [int(p) for p in text.split(':')]
            if not any(parts):
                return datetime.time()
            return datetime.time(*parts)
        date_part, _, time_part = text.partition(' ')
        y, mo, d = (int(p) for p in date_part.split('-'))
        if y == 0 and mo == 0 and d == 0:
            return None
        if kind == 'date':
            return datetime.date(y, mo, d)
        # time2000 writes the time with dashes: "YYYY-MM-DD HH-MM-SS".
        t = [int(p) for p in time_part.replace('-', ':').split(':')]
        return datetime.datetime(y, mo, d, *t)
    except (ValueError, TypeError):
        return text


SCALAR_KINDS = ('B', 'W', 'L', 'char')
DECIMAL_KINDS = ('N', 'K', 'Q')
DATE_KINDS = ('date', 'datetime', 'datetimemin', 'timedate', 'time', 'hm', 'time2000', 'interval')


def output_value(kind, raw, codec, joined=None):
    """The Python value of a text output of ``kind`` from its bytes: str,
    Decimal, a date or time, or for a joined list (``joined`` values in
    one text) a tuple of such values."""
    text = codec.decode(raw)
    if joined:
        if text == '':
            return ()
        return tuple(_scalar(kind, part) for part in text.split('\n'))
    return _scalar(kind, text)


def _scalar(kind, text):
    if kind in DECIMAL_KINDS:
        return to_decimal(text)
    if kind in SCALAR_KINDS:
        try:
            return int(text)
        except ValueError:
            return text
    if kind in DATE_KINDS:
        return to_date(text, kind)
    return text

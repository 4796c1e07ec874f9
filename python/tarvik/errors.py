"""Exceptions: every failure the libraries report, as a class that says what
became of the request.

Each exception carries ``status`` (the libraries' status code, an int),
``text`` (its text from the language file, English or Polish, through
TRV_GetErrorString) and ``outcome``: what the register did with the
request, one of

``"done"``
    the register answered: it executed the request, or refused it with an
    error answer (``RegisterError``);
``"not done"``
    no frame of the request left the computer: safe to send it again
    (``NotDone``, ``Cancelled``, ``ArgumentError``);
``"unknown"``
    the frame was written and its answer is lost (``OutcomeUnknown``): never
    send it again blindly; read back what it would have changed, or wait for
    it once more;
``None``
    not about a request (``OpenError``, ``InvalidHandle`` for a register
    closed before the call).

::

    TarvikError
     +-- ArgumentError (also ValueError)   an argument, named in .argument
     +-- RegisterError                      the register's error answer
     |    +-- ExecutionError                .execution_error
     |    +-- TransmissionError             .transmission_error
     +-- NotDone                            never sent: safe to retry
     |    +-- Cancelled                     cancelled before a frame went out
     +-- OutcomeUnknown                     .request: wait again or settle
     +-- AnswerError                        the answer cannot be read as asked
     +-- InvalidHandle                      destroyed request, closed register
     +-- OpenError (also ConnectionError)   the connection did not open
"""

import threading

from . import _native

STATUS_OK = 0
STATUS_NOMEMORY = 1
STATUS_OPENFAILED = 5
STATUS_SELECTFAILED = 8
STATUS_INUSE = 32
STATUS_ALREADYCOMPLETED = 0x10000
STATUS_NOASYNCDATA = 0x10001
STATUS_BADDATA = 0x10002
STATUS_TIMEOUT = 0x10003
STATUS_NOTANSWERED = 0x10004
STATUS_NOCOMMAND = 0x10005
STATUS_NULLHANDLE = 0x10006
STATUS_BUFFERTOOSMALL = 0x10007
STATUS_NOMOREVALUES = 0x10008
STATUS_BADMODE = 0x10009
STATUS_CANCELLED = 0x1000a
STATUS_OUTCOME_UNKNOWN = 0x1000b
STATUS_FILLERPUSH = 0x10101
STATUS_INVALIDARG = 0x10102
STATUS_EXEC_ERROR = 0x430000
STATUS_TRANS_ERROR = 0x440000


def status_arg(position):
    """The status of libmirtel's argument ``position`` (hDevice is 1)."""
    return 0x10100 + position


_texts = {}
_texts_lock = threading.Lock()


def status_text(status, lang='en'):
    """The text of a status code in ``lang`` ("en" or "pl", from the
    language files tarvik_<lang>.lng), or a neutral text when the file or
    the code is not there. The register's error answers read as the text of
    their kind followed by the register's own code."""
    key = (status, lang)
    text = _texts.get(key)
    if text is not None:
        return text
    text = _lookup(status, lang)
    if text is None and status & 0xFFFF0000 in (STATUS_EXEC_ERROR, STATUS_TRANS_ERROR):
        kind = _lookup(status & 0xFFFF0000, lang)
        if kind is not None:
            text = '%s (%d)' % (kind, status & 0xFFFF)
    if text is None:
        text = 'status 0x%X' % status
    with _texts_lock:
        _texts[key] = text
    return text


def _lookup(status, lang):
    try:
        raw = _native.libs().TRV_GetErrorString(status, lang.encode('ascii', 'replace'))
    except _native.LibraryNotFound:
        return None
    if raw is None:
        return None
    return raw.decode('utf-8', 'replace')


class TarvikError(Exception):
    """A failure reported by libtarvik or libmirtel.

    ``status`` is the status code, ``text`` its text in the register's
    language (``lang`` of tarvik.connect), ``outcome`` "done", "not done",
    "unknown" or None (see the module's text), ``request`` the Request it
    is about (or None) and ``function`` the C function that reported it
    (or None)."""

    outcome = None

    def __init__(self, status, text=None, *, request=None, function=None, lang='en', detail=None):
        self.status = status
        self.text = text if text is not None else status_text(status, lang)
        self.request = request
        self.function = function
        self.detail = detail
        super().__init__(status, self.text)

    def __str__(self):
        where = '%s: ' % self.function if self.function else ''
        more = ' (%s)' % self.detail if self.detail else ''
        return '%s%s [status 0x%X]%s' % (where, self.text, self.status, more)


class ArgumentError(TarvikError, ValueError):
    """An argument was refused, by the package (wrong type, out of range,
    not representable in the register's character set) or by libmirtel
    (status 0x10100 + its position). ``argument`` names it (None for a value
    the library adds itself). Nothing was sent: the outcome is "not done"."""

    outcome = 'not done'

    def __init__(self, status, text=None, *, argument=None, **kw):
        self.argument = argument
        super().__init__(status, text, **kw)

    def __str__(self):
        base = super().__str__()
        return '%s: %s' % (self.argument, base) if self.argument else base


class RegisterError(TarvikError):
    """The register answered with an error: status 0x430000 + its execution
    error or 0x440000 + its transmission error. The register's error answer
    is kept in ``command`` (the command it refused), ``transmission_error``
    and ``execution_error`` (0 where it gave none). The outcome is "done":
    the register has answered (a refused command changed nothing)."""

    outcome = 'done'

    def __init__(self, status, text=None, *, command=None, transmission_error=0, execution_error=0, **kw):
        self.command = command
        self.transmission_error = transmission_error
        self.execution_error = execution_error
        super().__init__(status, text, **kw)


class ExecutionError(RegisterError):
    """The register refused to execute the command (execution error
    ``execution_error``, for instance 104 no such record)."""


class TransmissionError(RegisterError):
    """The register did not take the frame (transmission error
    ``transmission_error``); the library repeats the frame by itself for the
    errors that allow it before it reports one."""


class NotDone(TarvikError):
    """No frame of the request left the computer: nothing happened on the
    register and the request may be sent again. Raised when a wait ran out
    while the request was still queued (the package then cancels it), when
    the post was refused (queue full, exclusive mode), or when the library
    gave up before writing (status 0x10003)."""

    outcome = 'not done'


class Cancelled(NotDone):
    """The request was cancelled before a frame of it went out (status
    0x1000a)."""


class OutcomeUnknown(TarvikError):
    """The request was written to the register and its answer is lost: the
    wait ran out while the register had it (``state`` "sent" or
    "accepted"), or the connection was lost after it was written (status
    0x1000b), or its answers stayed unreadable. The register may have
    executed it.

    Never send it again blindly: a sale or a report would run twice. Either
    wait once more, ``exc.request.result(timeout=...)`` (while ``state`` is
    "sent" or "accepted" the answer may still come), or settle it by
    reading back what it would have changed (the record, the journal's last
    record, the fiscal memory's counters). ``request`` keeps the request
    until then."""

    outcome = 'unknown'

    def __init__(self, status, text=None, *, state=None, **kw):
        self.state = state
        super().__init__(status, text, **kw)


class AnswerError(TarvikError):
    """The register answered, but the answer cannot be read as asked: it
    belongs to another command (0x10005), has values of other types or too
    few (0x10002, 0x10008), or a text does not fit (0x10007). The outcome
    is "done": the register has executed the request."""

    outcome = 'done'


class InvalidHandle(TarvikError):
    """The request or register no longer exists (status 0x10006): the
    request was destroyed (by Request.destroy, by a reader that finished it,
    or with its register's connection), or the register was closed."""


class OpenError(TarvikError, ConnectionError):
    """The connection to the register did not open: ``status`` says why
    (5 opening failed, 12-18 the serial port, 9-10 USB, 48-62 TCP, 104-109
    the modem's dial)."""

# Statuses of a finished request that leave its outcome unknown: the
# connection was lost after the frame was written; the answers stayed
# unreadable (or the frame could not be encoded: counted as unknown too,
# the safe side); the serial port failed while writing.
UNKNOWN_STATUSES = (STATUS_OUTCOME_UNKNOWN, STATUS_BADDATA, STATUS_SELECTFAILED)

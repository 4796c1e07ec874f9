"""tarvik: drive a tarvik fiscal cash register from Python.

A pure-Python package on ctypes over the two C libraries, libtarvik (the
connection: frames, queues, transports) and libmirtel (one function pair
per register command). Every command of libmirtel is here by name, from the
same command tables the C library is generated from.

    import tarvik
    from decimal import Decimal

    with tarvik.connect("tcp://127.0.0.1:6000", timeout=2.0) as reg:
        print(reg.clock())                              # datetime.datetime
        art = reg.articles[1]                           # an Article record
        reg.articles[101] = art._replace(nazwa="KAWA", barcode="5901234123457",
                                         cena=Decimal(4999))
        print(reg.cmd.PLURead(101, 1))                  # any command, a named tuple
        for rec in reg.journal():                       # the sale journal, typed
            print(type(rec).__name__, rec)
        for ev in reg.events(timeout=1):                # card events
            print(ev.number)

CONNECTING. ``tarvik.connect(url, timeout=2.0, charset=None, lang="en")``
returns a Register; ``url`` is ``tcp://HOST:PORT``,
``serial:///dev/ttyS0?baud=9600``, ``usb://SERIAL`` or
``modem:///dev/ttyS0?number=123456``. The libraries are loaded by soname
(libtarvik.so.1.0, libmirtel.so.1.0) through the dynamic loader:
LD_LIBRARY_PATH works, TARVIK_LIBDIR names their folder explicitly.

COMMANDS. ``reg.cmd.NAME(...)`` sends libmirtel's TRVS_NAME with its
arguments (by position or by the names of mirtel.h), waits for the answer
and returns what the reader TRVG_NAME gives, as a named tuple;
``help(reg.cmd.NAME)`` shows both C functions. ``reg.cmd.NAME.post(...)``
sends without waiting and returns a Request, a future: send many, then
collect ``r.result()`` in turn (pipelining), or ``r.cancel()``. Every C
function is reachable by its own name too: ``reg.post("TRVS_NAME", ...)``
and ``request.read("TRVG_OTHER")``; ``tarvik.functions.FUNCTIONS`` describes
them all.

TABLES. ``reg.articles``, ``reg.users``, ``reg.discounts``,
``reg.packagings``, ``reg.groups``, ``reg.units``, ``reg.payment_forms``,
``reg.hotkeys``, ``reg.barcode_formats``, ``reg.messages``,
``reg.auto_discounts``, ``reg.cashout_descriptions``,
``reg.article_descriptions``: mappings from record number to record (see
tarvik.tables); iteration walks the register's records.

MORE. ``reg.journal()`` (the sale journal, record by record),
``reg.fiscal_memory()``, ``reg.events(timeout)`` (card events, queued by
the library until taken; ``reg.on_event(fn)`` calls a function for each on
a thread of the package, never on the library's receiver thread unless
asked), ``reg.clock()`` / ``reg.set_clock()``, ``reg.vat_rates()``.

VALUES. Numerics, currencies and quantities are decimal.Decimal (a Numeric
is a whole number: prices in the smallest unit, 4999 for 49.99), dates and
times datetime objects, texts str in the register's character set: the
``charset`` argument, else the environment variable TARVIK_CHARSET, else
CP1250 (the setting trvctl uses). A character the register's set cannot
hold is refused with ArgumentError; lengths count the register's bytes.
Outputs of hand-written functions that the tables give only as texts come
as str.

OUTCOMES. Every call ends in one of three ways, and the exceptions say
which (see tarvik.errors):

- done: the answer (a named tuple), or RegisterError (ExecutionError,
  TransmissionError) when the register refused it;
- not done, safe to send again: NotDone, Cancelled, ArgumentError;
- unknown: OutcomeUnknown. The frame was written and the answer did not
  come (the wait ran out, or the connection was lost). Never retry it
  blindly: wait again with ``exc.request.result()`` or read back what it
  would have changed.

Each exception carries ``status`` and ``text`` (English or Polish, from the
libraries' language files: ``lang="pl"``).

THREADS. A Register may be used from several threads at once; calls
release the GIL while they wait. A Request is a future that any thread may
wait on.
"""

from ._native import LibraryNotFound
from .errors import (AnswerError, ArgumentError, Cancelled, ExecutionError, InvalidHandle, NotDone, OpenError,
                     OutcomeUnknown, RegisterError, TarvikError, TransmissionError, status_text)
from .register import CardEvent, Commands, Event, Register, Request, connect, parse_url
from .tables import RECORDS, Table
from . import codes, functions, tables

globals().update(RECORDS)

__version__ = '1.0.1158'

__all__ = ['connect', 'Register', 'Request', 'Commands', 'Table', 'CardEvent', 'Event', 'parse_url',
           'TarvikError', 'ArgumentError', 'RegisterError', 'ExecutionError', 'TransmissionError', 'NotDone',
           'Cancelled', 'OutcomeUnknown', 'AnswerError', 'InvalidHandle', 'OpenError', 'LibraryNotFound',
           'status_text', 'library_version', 'functions', 'codes', 'tables'] + sorted(RECORDS)


def library_version():
    """The versions of the loaded C libraries: (libtarvik, libmirtel), as
    numbers (0x01000486 is 1.0, build 1158)."""
    from . import _native
    libs = _native.libs()
    return libs.TRV_GetLibraryVersion(), libs.TRV_GetHLLibraryVersion()

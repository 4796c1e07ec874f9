"""A connection to one register (Register), the requests sent on it
(Request), its card events and its sale journal."""

import collections
import ctypes
import datetime
import threading
import time
import urllib.parse
import weakref

from . import _native, _values, codes, errors, functions
from ._native import STATE_ACCEPTED, STATE_NAMES, STATE_NEW, STATE_PENDING, STATE_SENT

DEFAULT_TIMEOUT = 2.0

# Defaults of the serial line, in the order of the port text.
_SERIAL_FIELDS = (('baud', '9600'), ('databits', '8'), ('parity', 'N'), ('stopbits', '1'), ('handshake', 'H'))
_SERIAL_ALIASES = {'bits': 'databits', 'stop': 'stopbits', 'flow': 'handshake'}

Event = collections.namedtuple('Event', 'command token values')
Event.__doc__ = """An event the register sent on its own: its ``command``, the
``token`` it came with and its ``values`` (a tuple of int and str)."""
CardEvent = collections.namedtuple('CardEvent', 'number type token')
CardEvent.__doc__ = """A card read at the register (command 2): the card
``number`` (str), its ``type`` (int) and the event's ``token``."""


def _ms(timeout):
    return max(0, min(int(timeout * 1000 + 0.5), 0xFFFFFFFF))


def parse_url(url):
    """The device type and parameters of a register address:

    ``tcp://HOST:PORT``
        a register on the network (port 1000 when not given);
    ``serial:///dev/ttyS0?baud=9600&databits=8&parity=N&stopbits=1&handshake=N``
        a serial port; the query fields are optional (9600 8N1 with RTS/CTS
        handshake, H; S is XON/XOFF, N none);
    ``usb://SERIAL?baud=...``
        an FTDI USB bridge by its serial number, the line as for serial;
    ``modem:///dev/ttyS0?dial=ATDT123456&init=ATZ&baud=...``
        a register behind a Hayes modem on a serial port (``number=123456``
        is short for ``dial=ATDT123456``); connecting dials.

    Returns (device type, {parameter: value}, modem?)."""
    parts = urllib.parse.urlsplit(url)
    scheme = parts.scheme.lower()
    query = {k.lower(): v for k, v in urllib.parse.parse_qsl(parts.query, keep_blank_values=True)}
    query = {_SERIAL_ALIASES.get(k, k): v for k, v in query.items()}
    if scheme == 'tcp':
        if not parts.hostname:
            raise ValueError('tcp://HOST:PORT expected, not %r' % url)
        try:
            port = parts.port or 1000
        except ValueError:
            raise ValueError('bad port in %r' % url) from None
        return _native.DEVICE_ETHER, {_native.PARAM_IPADDRESS: parts.hostname,
                                      _native.PARAM_IPPORT: str(port)}, False
    if scheme in ('serial', 'modem', 'usb'):
        fields = [query.get(name) for name, _ in _SERIAL_FIELDS]
        while fields and fields[-1] is None:
            fields.pop()
        line = ','.join(f if f is not None else d for f, (_, d) in zip(fields, _SERIAL_FIELDS))
        if scheme == 'usb':
            serial = urllib.parse.unquote(parts.netloc + parts.path)
            if not serial:
                raise ValueError('usb://SERIAL expected, not %r' % url)
            params = {_native.PARAM_SERIALNO: serial}
            if line:
                params[_native.PARAM_COMPARAMS] = 'usb,' + line
            return _native.DEVICE_USB, params, False
        path = urllib.parse.unquote(parts.path)
        if not path:
            raise ValueError('%s:///dev/PORT expected, not %r' % (scheme, url))
        params = {_native.PARAM_COMPARAMS: path + (',' + line if line else '')}
        if scheme == 'serial':
            return _native.DEVICE_RS232, params, False
        dial = query.get('dial') or ('ATDT' + query['number'] if query.get('number') else None)
        if not dial:
            raise ValueError('modem:// needs dial=ATDT... or number=...: %r' % url)
        params[_native.PARAM_MODEMMODE] = 1
        params[_native.PARAM_MODEMCALL] = dial
        if query.get('init'):
            params[_native.PARAM_MODEMINIT] = query['init']
        return _native.DEVICE_RS232, params, True
    raise ValueError('unknown register address %r: tcp://, serial://, usb:// or modem://' % url)


def _set_param(lib, handle, code, value):
    if isinstance(value, str):
        arg = value.encode('utf-8')
    elif code == _native.PARAM_DECIMALSEP:
        arg = ctypes.byref(ctypes.c_char(value))
    elif code in (_native.PARAM_STRINGHANDLING, _native.PARAM_MODEMMODE, _native.PARAM_NOSYNC):
        arg = ctypes.byref(ctypes.c_ubyte(value))
    else:
        arg = ctypes.byref(ctypes.c_uint32(value))
    return lib.TRV_SetDeviceParam(handle, code, arg)


def _destroy_request(lib, handle):
    try:
        lib.TRV_DestroyRequest(handle)
    except Exception:  # the interpreter is shutting down
        pass


def _close_device(lib, view, device):
    try:
        if view:
            lib.TRV_CloseDevice(view)
        if device:
            lib.TRV_DestroyDeviceHandle(device)
    except Exception:
        pass


class Register:
    """One register, connected: see tarvik.connect. Use it in a ``with``
    block, or call close() when done.

    Attributes: ``url``, ``timeout`` (seconds a call waits for its answer),
    ``charset`` (the register's character set), ``lang`` (of status texts),
    ``cmd`` (every command by name), and the tables ``articles``, ``users``,
    ``discounts``, ``packagings``, ``groups``, ``units``,
    ``payment_forms``, ``hotkeys``, ``barcode_formats``, ``messages``,
    ``auto_discounts``, ``cashout_descriptions`` and ``article_descriptions``
    (see tarvik.tables).

    Every method may be called from several threads at once, as the C
    libraries allow."""

    def __init__(self, url, *, timeout=DEFAULT_TIMEOUT, charset=None, lang='en', log=None, debug_level=None,
                 queue_limit=None):
        self.url = url
        self.timeout = float(timeout)
        self.charset = _values.resolve_charset(charset)
        self.lang = lang
        self._codec = _values.Codec(self.charset)
        self._lib = lib = _native.libs()
        self._device = self._view = None
        self._closed = False
        self._lock = threading.Lock()
        self._event_thread = None
        self._event_stop = threading.Event()
        self._callback = None
        dtype, params, modem = parse_url(url)
        device = lib.TRV_CreateDeviceHandle(dtype)
        if not device:
            raise errors.OpenError(errors.STATUS_NOMEMORY, lang=lang, detail=url)
        try:
            for code, value in params.items():
                st = _set_param(lib, device, code, value)
                if st:
                    raise errors.ArgumentError(st, argument=url, lang=lang)
            # Decimal answers with a point: Decimal reads them as they come.
            _set_param(lib, device, _native.PARAM_DECIMALSEP, b'.')
            if queue_limit is not None:
                st = _set_param(lib, device, _native.PARAM_OUTQUEUEMAXLEN, int(queue_limit))
                if st:
                    raise errors.ArgumentError(st, argument='queue_limit', lang=lang)
            if log:
                lib.TRV_SetDebugFileName(device, str(log).encode())
                lib.TRV_SetDebugLevel(device, 0x81F00F if debug_level is None else debug_level)
            elif debug_level:
                lib.TRV_SetDebugLevel(device, debug_level)
            view = lib.TRV_OpenDevice(device)
            if not view:
                st = lib.TRV_GetError(device) or errors.STATUS_OPENFAILED
                raise errors.OpenError(st, lang=lang, detail=url)
            self._view = view
            if modem:
                st = lib.TRV_ModemDial(device, 1)
                if st:
                    raise errors.OpenError(st, lang=lang, detail='dialling ' + params[_native.PARAM_MODEMCALL])
            # Text results in string-handling mode 0: every output buffer is
            # sized from the tables' bounds (see _values.output_size).
            _set_param(lib, view, _native.PARAM_STRINGHANDLING, 0)
            # Events wait in the library's queue until events() pops them:
            # no Python code runs on the library's receiver thread.
            lib.TRV_SetEventHandlingMode(view, _native.EVENT_QUEUE)
        except BaseException:
            _close_device(lib, self._view, device)
            self._view = None
            raise
        self._device = device
        self._finalizer = weakref.finalize(self, _close_device, lib, self._view, device)
        self.cmd = Commands(self)
        from . import tables
        tables.attach(self)

    def __repr__(self):
        return '<tarvik.Register %s%s>' % (self.url, ' closed' if self._closed else '')

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def closed(self):
        return self._closed

    def close(self):
        """Closes the connection: stops the event thread, closes the view
        (the last one hangs up a modem and stops the library's threads) and
        destroys the device. Requests still queued are deleted (their
        Request objects then raise InvalidHandle). Closing twice is fine."""
        with self._lock:
            if self._closed:
                return
            self._closed = True
        self._event_stop.set()
        t = self._event_thread
        if t is not None and t is not threading.current_thread():
            t.join()
        self._finalizer()

    # ---- requests ------------------------------------------------------------------

    def _view_handle(self):
        if self._closed:
            raise errors.InvalidHandle(errors.STATUS_NULLHANDLE, lang=self.lang, detail='the register is closed')
        return self._view

    def post(self, command, *args, tryb=0, **kwargs):
        """Sends a command without waiting and returns its Request.
        ``command`` is a sending function's name (``"PLUIns"`` or
        ``"TRVS_PLUIns"``) or a Command; the arguments are its own, by
        position or name. ``tryb`` 1 posts exclusively (only while nothing
        else of the register is on its way). While the library's output queue
        is full this waits (as long as the queue moves) before it posts."""
        if isinstance(command, functions.Command):
            cmd = command
        else:
            f = functions.function(command)
            if not f.sends:
                raise TypeError('%s reads an answer; post its sending function' % f.name)
            cmd = functions.COMMANDS.get(f.short) or functions.Command(f.short, f, None)
            if cmd.sender is not f:  # an alias of another entry
                cmd = functions.Command(f.short, f, cmd.reader, cmd.typemap)
        if tryb not in (0, 1):
            raise errors.ArgumentError(errors.STATUS_BADMODE, argument='tryb', lang=self.lang,
                                       detail='post modes 0 and 1 only: the package keeps every request')
        f = cmd.sender
        values = f.bind(args, kwargs)
        view = self._view_handle()
        st, handle = f.send(view, values, self._codec, tryb, self.lang)
        if st == errors.STATUS_INUSE and handle:
            st = self._post_when_room(handle, tryb)
        if st:
            if handle:
                self._lib.TRV_DestroyRequest(handle)
            raise self._send_error(st, f)
        return Request(self, handle, cmd, values)

    def _post_when_room(self, handle, tryb):
        """A post refused for a full queue (or exclusive mode): posts again
        once there is room, giving up when the queue has not moved for the
        register's time-out."""
        lib = self._lib
        last = lib.TRV_GetRequestCount(self._view, 1)
        moved = time.monotonic()
        nap = 0.0005
        while True:
            time.sleep(nap)
            nap = min(nap * 2, 0.01)
            st = lib.TRV_PostRequest(handle, tryb)
            if st != errors.STATUS_INUSE:
                return st
            n = lib.TRV_GetRequestCount(self._view, 1)
            now = time.monotonic()
            if n != last:
                last, moved = n, now
            elif now - moved > self.timeout:
                return st

    def _send_error(self, st, f):
        lang = self.lang
        if 0x10101 <= st <= 0x10100 + len(f.params):
            return errors.ArgumentError(st, argument=f.argument_at(st) if st != errors.STATUS_FILLERPUSH else None,
                                        function=f.name, lang=lang)
        if st == errors.STATUS_NULLHANDLE:
            return errors.InvalidHandle(st, function=f.name, lang=lang)
        if st == errors.STATUS_INUSE:
            return errors.NotDone(st, function=f.name, lang=lang,
                                  detail='the output queue stayed full; nothing was sent')
        return errors.TarvikError(st, function=f.name, lang=lang)

    def call(self, command, *args, timeout=None, **kwargs):
        """Sends a command and returns its answer (see Request.result):
        ``reg.call("PLURead", 12, 0)`` is ``reg.cmd.PLURead(12, 0)``."""
        return self.post(command, *args, **kwargs).result(timeout)

    # ---- convenience ------------------------------------------------------------------

    def clock(self):
        """The register's clock, as a datetime.datetime."""
        d = self.cmd.DateGet.post()
        t = self.cmd.TimeGet.post()
        date, tm = d.result().data, t.result().time
        if not isinstance(date, datetime.date) or not isinstance(tm, datetime.time):
            raise errors.AnswerError(errors.STATUS_BADDATA, lang=self.lang, detail='clock %r %r' % (date, tm))
        return datetime.datetime.combine(date, tm)

    def set_clock(self, when=None):
        """Sets the register's clock to ``when`` (a datetime; now by default).
        The register stays busy for a moment afterwards; the library holds
        the next requests back meanwhile."""
        self.cmd.DateTimeSet(date_time=when or datetime.datetime.now().replace(microsecond=0))

    def vat_rates(self):
        """The VAT rates A to G in hundredths of a percent (10000 exempt,
        10001 not in use), as a dict."""
        r = self.cmd.VATGet()
        return dict(zip('ABCDEFG', r))

    def journal(self, first=True, timeout=None):
        """The sale journal, record by record: an iterator of typed records
        (named tuples whose class tells the type: FinishedReceipt,
        ArticleLine, Payment, ... see tarvik.codes.JOURNAL), each starting
        with the header ``pelny`` (journal full), ``nastepny`` (records
        after this one) and ``typ``. From the first record when ``first``,
        else from the register's current position. Reading does not remove
        records."""
        how = codes.JOURNAL_FIRST if first else codes.JOURNAL_NEXT
        while True:
            try:
                rec = self.cmd.SaleRecGet.post(sposob=how).result(timeout)
            except errors.ExecutionError as e:
                if e.execution_error == codes.EXEC_JOURNAL_END:
                    return
                raise
            yield rec
            if rec.nastepny == 0:
                return
            how = codes.JOURNAL_NEXT

    def fiscal_memory(self, timeout=None):
        """The fiscal memory's records, first to last, typed as the journal's
        (DailyReport, VATRateChange, ... see tarvik.codes.FISCAL_MEMORY),
        each with its record number ``numer_rekordu`` first."""
        try:
            n = self.cmd.FiscMemFirst(typ=0).numer
        except errors.ExecutionError as e:
            if e.execution_error == codes.EXEC_NOT_FOUND:
                return
            raise
        while n:
            rec = self.cmd.FiscMemRead.post(numer_rekordu=n).result(timeout)
            yield _with_number(rec, n)
            try:
                n = self.cmd.FiscMemNext(typ=0, numer=n).nastepny
            except errors.ExecutionError as e:
                if e.execution_error == codes.EXEC_NOT_FOUND:
                    return
                raise

    # ---- events -------------------------------------------------------------------------

    def events(self, timeout=1.0):
        """Card events (and any other event the register sends), oldest
        first: CardEvent(number, type, token), or Event(command, token,
        values) for other commands. Waits up to ``timeout`` seconds for each
        next event and ends when none came; ``timeout=None`` waits for ever.
        Events wait in the library's queue (at most 4096) until taken here."""
        view = self._view_handle()
        while not self._closed:
            if timeout is None:
                h = self._lib.TRV_PopAsyncData(view, 1000)
                if not h:
                    continue
            else:
                h = self._lib.TRV_PopAsyncData(view, _ms(timeout))
                if not h:
                    return
            yield self._event(h)

    def _event(self, h):
        lib = self._lib
        try:
            cmd = lib.TRV_GetRequestCommandID(h)
            token = lib.TRV_GetRequestCommandSerial(h)
            values = pop_values(lib, h, self._codec)
        finally:
            lib.TRV_DestroyRequest(h)
        if cmd == codes.EVENT_CARD and len(values) >= 1 and isinstance(values[0], str):
            return CardEvent(values[0], values[1] if len(values) > 1 else 0, token)
        return Event(cmd, token, tuple(values))

    def on_event(self, callback, *, receiver_thread=False):
        """Calls ``callback(event)`` for every event from now on (None
        stops it). By default a thread of the package takes the events from
        the library's queue and calls it, so the library's receiver thread
        never waits for Python code. With ``receiver_thread=True`` the
        library calls it on its receiver thread (no answer is processed
        while it runs: keep it short, and do not close the register from
        it). An exception in the callback is printed and otherwise
        ignored."""
        lib = self._lib
        view = self._view_handle()
        self._event_stop.set()
        t = self._event_thread
        if t is not None and t is not threading.current_thread():
            t.join()
        self._event_thread = None
        lib.TRV_SetEventHandlingMode(view, _native.EVENT_QUEUE)
        if callback is None:
            return
        if receiver_thread:
            def trampoline(h, self_ref=weakref.ref(self)):
                reg = self_ref()
                if reg is None:
                    lib.TRV_DestroyRequest(h)
                    return
                _run_callback(callback, reg._event, h)
            self._callback = _native.CALLBACK(trampoline)  # kept alive as long as the library may call it
            lib.TRV_SetCallback(view, self._callback)
            lib.TRV_SetEventHandlingMode(view, _native.EVENT_CALLBACK)
            return
        self._event_stop = stop = threading.Event()

        def pump():
            while not stop.is_set() and not self._closed:
                h = lib.TRV_PopAsyncData(view, 200)
                if h and not stop.is_set():
                    _run_callback(callback, self._event, h)
                elif h:
                    lib.TRV_DestroyRequest(h)

        self._event_thread = threading.Thread(target=pump, name='tarvik-events', daemon=True)
        self._event_thread.start()

    # ---- the library's own --------------------------------------------------------------

    def queue_stats(self):
        """(frames sent, answers processed) of the connection."""
        sent, done = ctypes.c_uint32(), ctypes.c_uint32()
        self._lib.TRV_RequestQueueStats(self._view_handle(), ctypes.byref(sent), ctypes.byref(done))
        return sent.value, done.value


def _run_callback(callback, convert, h):
    try:
        callback(convert(h))
    except Exception:
        import traceback
        traceback.print_exc()


def _with_number(rec, n):
    cls = type(rec)
    full = _numbered.get(cls)
    if full is None:
        full = _numbered[cls] = collections.namedtuple(cls.__name__, ('numer_rekordu',) + cls._fields)
    return full(n, *rec)


_numbered = {}


def pop_values(lib, h, codec):
    """Every value of a finished request, by its type: int for B, V, L, str
    for texts, Decimal for N, K, Q."""
    out = []
    buf = ctypes.create_string_buffer(_values.FRAME_MAX)
    for _ in range(lib.TRV_GetResponseValueCount(h)):
        t = lib.TRV_GetResponseValueType(h)
        if t == _native.TYPE_BYTE:
            v = ctypes.c_ubyte()
            st = lib.TRV_PopResponseValueByte(h, ctypes.byref(v))
        elif t == _native.TYPE_WORD:
            v = ctypes.c_ushort()
            st = lib.TRV_PopResponseValueWord(h, ctypes.byref(v))
        elif t == _native.TYPE_LONG:
            v = ctypes.c_uint32()
            st = lib.TRV_PopResponseValueLong(h, ctypes.byref(v))
        elif t in (_native.TYPE_STRING, _native.TYPE_NUMERIC, _native.TYPE_CURRENCY, _native.TYPE_QUANTITY):
            pop = {_native.TYPE_STRING: lib.TRV_PopResponseValueString,
                   _native.TYPE_NUMERIC: lib.TRV_PopResponseValueNumeric,
                   _native.TYPE_CURRENCY: lib.TRV_PopResponseValueCurrency,
                   _native.TYPE_QUANTITY: lib.TRV_PopResponseValueQuantity}[t]
            st = pop(h, buf, len(buf))
            if st:
                break
            text = codec.decode(buf.value)
            out.append(text if t == _native.TYPE_STRING else _values.to_decimal(text))
            continue
        else:
            break
        if st:
            break
        out.append(v.value)
    return out


class Commands:
    """Every libmirtel command of the register by name: ``reg.cmd.NAME``
    for each sending function TRVS_NAME. Calling it sends the command with
    the given arguments (by position or name, as in mirtel.h), waits for the
    answer (the register's time-out) and returns the reader's outputs as a
    named tuple; ``reg.cmd.NAME.post(...)`` sends without waiting and
    returns the Request. ``help(reg.cmd.NAME)`` shows the arguments, the
    result and the C functions; ``dir(reg.cmd)`` lists them all."""

    def __init__(self, register):
        self._register = weakref.ref(register)

    def __getattr__(self, name):
        cmd = functions.COMMANDS.get(name)
        if cmd is None:
            raise AttributeError('no command %r (see dir(reg.cmd))' % name)
        reg = self._register()
        if reg is None:
            raise errors.InvalidHandle(errors.STATUS_NULLHANDLE, detail='the register is gone')
        fn = _bound_command(reg, cmd)
        self.__dict__[name] = fn
        return fn

    def __dir__(self):
        return sorted(functions.COMMANDS)


def _bound_command(reg, cmd):
    reg_ref = weakref.ref(reg)

    def post(*args, **kwargs):
        return reg_ref().post(cmd, *args, **kwargs)

    def call(*args, **kwargs):
        return reg_ref().post(cmd, *args, **kwargs).result()

    for fn, doc in ((call, cmd.describe()), (post, 'Sends %s without waiting: returns its Request.\n\n%s' % (
            cmd.name, cmd.describe()))):
        fn.__name__ = fn.__qualname__ = cmd.name
        fn.__doc__ = doc
        fn.__signature__ = cmd.signature
    call.post = post
    call.command = cmd
    return call


_UNSET = object()


class Request:
    """A request on its way to the register, or answered: a future.

    ``result(timeout)`` waits and returns the answer as a named tuple (or
    raises); ``done()``, ``wait(timeout)``, ``cancel()``, ``exception()``
    as for concurrent.futures.Future. ``state`` ("pending", "sent",
    "accepted", "completed", "error" or "destroyed"), ``status``,
    ``token`` and ``command`` come from the library; ``function`` is the
    sending function and ``arguments`` what it was sent with (to settle an
    unknown outcome by reading back).

    The C request is destroyed when it has been read, or when this object is
    garbage-collected: a request dropped on its way is taken out of the
    queue, and whether the register ran it is then not known. Keep it until
    it is done."""

    def __init__(self, register, handle, command, values):
        self.register = register
        self.handle = handle
        self.command_info = command
        self.function = command.sender
        self.arguments = dict(zip((p['name'] for p in command.sender.inputs), values))
        self._lib = register._lib
        self._lock = threading.Lock()
        self._value = _UNSET
        self._error = None
        self._kept = False   # a type reader has read the head: the body reader goes on from there
        self._finalizer = weakref.finalize(self, _destroy_request, self._lib, handle)

    def __repr__(self):
        return '<tarvik.Request %s token %d %s>' % (self.function.name, self.token, self.state)

    # ---- the library's view -----------------------------------------------------------

    @property
    def state(self):
        s = self._lib.TRV_GetRequestState(self.handle) if self._finalizer.alive else errors.STATUS_NULLHANDLE
        return STATE_NAMES.get(s, 'destroyed')

    @property
    def status(self):
        if not self._finalizer.alive:
            return errors.STATUS_NULLHANDLE
        return self._lib.TRV_GetRequestStatus(self.handle)

    @property
    def token(self):
        return self._lib.TRV_GetRequestCommandSerial(self.handle) if self._finalizer.alive else 0

    @property
    def command(self):
        """The command id."""
        return self.function.id

    def done(self):
        """True once the request has finished (answered, failed, cancelled
        or destroyed)."""
        if self._value is not _UNSET or self._error is not None or not self._finalizer.alive:
            return True
        return self._lib.TRV_GetRequestState(self.handle) not in (STATE_NEW, STATE_PENDING, STATE_SENT,
                                                                   STATE_ACCEPTED)

    def wait(self, timeout=None):
        """Waits until the request has finished, at most ``timeout`` seconds
        (the register's time-out when None). True when it has."""
        if self.done():
            return True
        t = self.register.timeout if timeout is None else timeout
        st = self._lib.TRV_WaitForRequestCompleted(self.handle, _ms(t))
        return st != errors.STATUS_TIMEOUT

    def cancel(self):
        """Ends the request now. True when no frame of it had gone out (it is
        then not done, and result() raises Cancelled); False when it had
        finished already, or a frame had gone out (result() then raises
        OutcomeUnknown: the register may run it; one it was executing is
        sent a stop, command 10, by the library)."""
        with self._lock:
            if self._value is not _UNSET or self._error is not None or not self._finalizer.alive:
                return False
            st = self._lib.TRV_CancelRequest(self.handle)
            return st == 0 and self._lib.TRV_GetRequestStatus(self.handle) == errors.STATUS_CANCELLED

    def cancelled(self):
        return isinstance(self._error, errors.Cancelled) or (
            self._finalizer.alive and self._lib.TRV_GetRequestStatus(self.handle) == errors.STATUS_CANCELLED)

    def exception(self, timeout=None):
        """The exception result() would raise, or None."""
        try:
            self.result(timeout)
        except errors.TarvikError as e:
            return e
        return None

    def destroy(self):
        """Destroys the C request now, wherever it is (it leaves the queues;
        a frame already written may still be run by the register)."""
        with self._lock:
            if self._error is None and self._value is _UNSET:
                self._error = errors.InvalidHandle(errors.STATUS_NULLHANDLE, request=self, lang=self.register.lang,
                                                   detail='the request was destroyed')
            self._finalizer()

    # ---- the answer ----------------------------------------------------------------------

    def result(self, timeout=None):
        """Waits for the answer (``timeout`` seconds; the register's time-out
        when None) and returns it as the reader's named tuple. Raises:

        RegisterError
            the register refused it (execution or transmission error);
        NotDone / Cancelled
            no frame went out: the wait ran out while the request was still
            queued (it is cancelled then), or it was cancelled: safe to retry;
        OutcomeUnknown
            the frame was written and no answer came in time (state "sent"
            or "accepted": call result() again to wait more), or the
            connection was lost after it was written;
        AnswerError
            the answer does not read as this command's;
        InvalidHandle
            the request was destroyed (or its register closed)."""
        if self._value is not _UNSET:
            return self._value
        if self._error is not None:
            raise self._error
        finished = self.wait(timeout)
        with self._lock:
            if self._value is _UNSET and self._error is None:
                if not finished:
                    self._timed_out()
                if self._value is _UNSET and self._error is None:
                    self._finish()
        if self._error is not None:
            raise self._error
        return self._value

    def read(self, reader=None, timeout=None):
        """Reads the answer with another reader than the command's own, by
        name (``"TRVG_v2_PLURead"`` or ``"v2_PLURead"``), or a type reader
        that keeps the request for a body reader: the values are read from
        the first again (a type reader's from where it stopped, so that the
        body reader goes on after it). Raises as result()."""
        if reader is None:
            return self.result(timeout)
        f = reader if isinstance(reader, functions.Function) else functions.FUNCTIONS.get(
            reader if reader.startswith('TRVG_') else 'TRVG_' + reader)
        if f is None or f.sends:
            raise KeyError('no reader %r' % (reader,))
        if not self.wait(timeout):
            with self._lock:
                self._timed_out()
        with self._lock:
            if self._error is not None:
                raise self._error
            status = self._lib.TRV_GetRequestStatus(self.handle) if self._finalizer.alive else \
                errors.STATUS_NULLHANDLE
            if status:
                self._fail(status)
                raise self._error
            if not self._kept:
                self._lib.TRV_ResponseRewind(self.handle)
            st, value = f.read(self.handle, self.register._codec)
            if st:
                raise errors.AnswerError(st, request=self, function=f.name, lang=self.register.lang)
            self._kept = f.keep
            if not f.keep:
                self._finalizer.detach()
                self._value = value
            return value

    def _timed_out(self):
        """The wait ran out: a request still queued is cancelled (not done);
        one the register has is left alone (outcome unknown for now)."""
        lib = self._lib
        state = lib.TRV_GetRequestState(self.handle) if self._finalizer.alive else errors.STATUS_NULLHANDLE
        if state in (STATE_NEW, STATE_PENDING):
            if lib.TRV_CancelRequest(self.handle) == 0 and \
                    lib.TRV_GetRequestStatus(self.handle) == errors.STATUS_CANCELLED:
                self._error = errors.NotDone(errors.STATUS_TIMEOUT, request=self, function=self.function.name,
                                             lang=self.register.lang,
                                             detail='the wait ran out before the frame was sent; the request '
                                                    'was cancelled and may be sent again')
                self._finalizer()
            return  # finished meanwhile (or a frame went out as it was cancelled): _finish tells
        if state in (STATE_SENT, STATE_ACCEPTED):
            raise errors.OutcomeUnknown(errors.STATUS_TIMEOUT, request=self, function=self.function.name,
                                        state=STATE_NAMES[state], lang=self.register.lang,
                                        detail='no answer in time; the register has the request (%s): wait '
                                               'again or read back' % STATE_NAMES[state])

    def _finish(self):
        status = self._lib.TRV_GetRequestStatus(self.handle) if self._finalizer.alive else \
            errors.STATUS_NULLHANDLE
        if status:
            self._fail(status)
            return
        self._value = self._read_answer()

    def _read_answer(self):
        cmd, h, codec, lib = self.command_info, self.handle, self.register._codec, self._lib
        if cmd.typemap is None and cmd.reader is None:
            lib.TRVG_Default(h)
            self._finalizer.detach()
            return cmd.empty_result()
        reader = cmd.reader
        st, head = reader.read(h, codec)
        if st:
            self._answer_error(st, reader)
        if cmd.typemap is None:
            self._finalizer.detach()
            return head
        code = getattr(head, cmd.typemap.type_field)
        t = cmd.typemap.find(code)
        if t is None:
            lib.TRVG_Default(h)
            self._finalizer.detach()
            return cmd.typed_result(head, reader, 'Record%d' % code, ())
        body_reader = functions.FUNCTIONS[t.reader]
        st, body = body_reader.read(h, codec)
        if st:
            self._answer_error(st, body_reader)
        self._finalizer.detach()
        return cmd.typed_result(head, body_reader, t.cls, body)

    def _answer_error(self, st, reader):
        self._error = errors.AnswerError(st, request=self, function=reader.name, lang=self.register.lang)
        raise self._error

    def _fail(self, status):
        lang, name = self.register.lang, self.function.name
        kind = status & 0xFFFF0000
        if kind in (errors.STATUS_EXEC_ERROR, errors.STATUS_TRANS_ERROR):
            cmd, trans, exe = self._error_answer(status)
            cls = errors.ExecutionError if kind == errors.STATUS_EXEC_ERROR else errors.TransmissionError
            self._error = cls(status, request=self, function=name, lang=lang, command=cmd,
                              transmission_error=trans, execution_error=exe)
            self._finalizer()
        elif status == errors.STATUS_CANCELLED:
            self._error = errors.Cancelled(status, request=self, function=name, lang=lang)
            self._finalizer()
        elif status == errors.STATUS_TIMEOUT:
            self._error = errors.NotDone(status, request=self, function=name, lang=lang,
                                         detail='the frame was never written')
            self._finalizer()
        elif status in errors.UNKNOWN_STATUSES:
            self._error = errors.OutcomeUnknown(status, request=self, function=name, lang=lang, state='error')
        elif status == errors.STATUS_NULLHANDLE:
            self._error = errors.InvalidHandle(status, request=self, function=name, lang=lang)
        else:
            self._error = errors.TarvikError(status, request=self, function=name, lang=lang)

    def _error_answer(self, status):
        """The register's error answer: (command, transmission error,
        execution error); the codes from the status where it cannot be
        read."""
        lib, h = self._lib, self.handle
        words = []
        lib.TRV_ResponseRewind(h)
        w = ctypes.c_ushort()
        for _ in range(3):
            if lib.TRV_PopResponseValueWord(h, ctypes.byref(w)):
                break
            words.append(w.value)
        if len(words) == 3:
            return tuple(words)
        code = status & 0xFFFF
        if status & 0xFFFF0000 == errors.STATUS_EXEC_ERROR:
            return self.function.id, 0, code
        return self.function.id, code, 0


def connect(url, *, timeout=DEFAULT_TIMEOUT, charset=None, lang='en', log=None, debug_level=None,
            queue_limit=None):
    """Connects to a register and returns the Register (use it in a
    ``with`` block).

    ``url``: ``tcp://HOST:PORT``, ``serial:///dev/ttyS0?baud=9600``,
    ``usb://SERIAL`` or ``modem:///dev/ttyS0?number=123456`` (see
    tarvik.register.parse_url for every field).
    ``timeout``: seconds each call waits for its answer (default 2).
    ``charset``: the register's character set (default: the environment
    variable TARVIK_CHARSET, else CP1250).
    ``lang``: "en" or "pl", the language of the status texts in exceptions.
    ``log``: a file for the library's debug log (``debug_level`` its level,
    0x81F00F by default: everything).
    ``queue_limit``: the library's output queue length from which posts wait
    (256 by default).

    Raises OpenError when the connection does not open, ValueError for a bad
    address or character set, tarvik.LibraryNotFound when the libraries
    cannot be loaded."""
    return Register(url, timeout=timeout, charset=charset, lang=lang, log=log, debug_level=debug_level,
                    queue_limit=queue_limit)

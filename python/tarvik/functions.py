"""Every libmirtel function, described by the command tables and callable
through ctypes.

``FUNCTIONS`` maps each C name (``"TRVS_PLUReadEx"``, ``"TRVG_PLUReadEx"``,
aliases included) to a ``Function``: its command id, C prototype, wire
layout, inputs and outputs. ``COMMANDS`` maps each sending function's short
name (``"PLUReadEx"``) to a ``Command``: the sender with the reader of its
answer, which a Register offers as ``reg.cmd.PLUReadEx``.

Nothing here is written per command: a new line of a command table appears
in both maps once the generated table (tarvik/_commands.py) is current.
"""

import collections
import ctypes
import inspect
import keyword
import threading

from . import _commands, _native, _values, codes, errors

# C types of the tables' parameter types.
_CTYPES = {
    'TARVIK_HANDLE': ctypes.c_void_p,
    'TARVIK_HANDLE*': ctypes.POINTER(ctypes.c_void_p),
    'unsigned char': ctypes.c_ubyte,
    'char': ctypes.c_char,
    'unsigned short': ctypes.c_ushort,
    'unsigned long': ctypes.c_ulong,
    'const char*': ctypes.c_char_p,
    'unsigned char*': ctypes.POINTER(ctypes.c_ubyte),
    'unsigned short*': ctypes.POINTER(ctypes.c_ushort),
    'unsigned long*': ctypes.POINTER(ctypes.c_ulong),
    'char*': ctypes.POINTER(ctypes.c_char),
}
_OUT_SCALARS = {'unsigned char*': ctypes.c_ubyte, 'unsigned short*': ctypes.c_ushort,
                'unsigned long*': ctypes.c_ulong}
_PY_TYPES = {'B': 'int 0..255', 'W': 'int 0..65535', 'L': 'int 0..4294967295', 'char': 'one character',
             'S': 'str', 'text': 'str (a list of str: one line each)', 'N': 'Decimal', 'K': 'Decimal',
             'Q': 'Decimal', 'date': 'datetime.date', 'datetime': 'datetime.datetime',
             'datetimemin': 'datetime.datetime (to the minute)', 'timedate': 'datetime.datetime',
             'time': 'datetime.time', 'hm': 'datetime.time (hours and minutes)', 'ip': 'str "a.b.c.d"',
             'port': 'str "baud,bits,parity,stop,handshake"', 'time2000': 'datetime.datetime',
             'interval': 'datetime.timedelta'}

# Buffers up to this size are kept per function and thread; larger ones come
# from a per-thread pool that all readers share (a thread runs one reader at
# a time), so a thread holds a handful of them, not one per output.
_SMALL = 4096
_tls = threading.local()


def _identifier(name):
    return name + '_' if keyword.iskeyword(name) else name


def _result_type(typename, fields):
    return collections.namedtuple(_identifier(typename), [_identifier(f) for f in fields], rename=True)


class Function:
    """One libmirtel function as the command tables describe it.

    ``name`` (C name), ``id`` (command), ``unit`` (family), ``section``,
    ``sends`` (a TRVS_ sender, else a TRVG_ reader), ``hand`` (hand-written
    body), ``keep`` (a type reader that leaves the request alive), ``wire``
    (the values in wire order: B Byte, V Word, L Long, S String, N Numeric,
    K Currency, Q Quantity), ``params`` (the C parameters in C order, as the
    table gives them), ``inputs`` and ``outputs`` (the command's own
    parameters), ``prototype`` (the C declaration), ``result_type`` (the
    named tuple a reader returns)."""

    def __init__(self, entry, name):
        self.entry = entry
        self.name = name
        self.short = name[5:]
        self.id = entry['id']
        self.unit = entry['unit']
        self.section = entry.get('section')
        self.sends = entry['direction'] == 'send'
        self.hand = entry['hand']
        self.keep = entry['keep']
        self.wire = entry['wire'] or ''
        self.params = entry['c']['params']
        self.inputs = [p for p in self.params if p['role'] == 'in']
        self.outputs = [p for p in self.params if p['role'] == 'out']
        self.doc = entry.get('doc') or []
        self._cfunc = None
        self._result_type = None
        self._lock = threading.Lock()

    def __repr__(self):
        return '<tarvik function %s (command %d)>' % (self.name, self.id)

    @property
    def prototype(self):
        ps = ', '.join('%s %s' % (p['type'], p['name']) for p in self.params)
        return 'TARVIK_STATUS %s(%s)' % (self.name, ps)

    @property
    def result_type(self):
        if self._result_type is None:
            self._result_type = _result_type(self.short, [p['name'] for p in self.outputs])
        return self._result_type

    def cfunc(self):
        """The C function, bound with its prototype on first use."""
        f = self._cfunc
        if f is None:
            with self._lock:
                if self._cfunc is None:
                    f = getattr(_native.libs().mirtel, self.name)
                    f.restype = ctypes.c_uint32
                    f.argtypes = [_CTYPES[p['type']] for p in self.params]
                    self._cfunc = f
                f = self._cfunc
        return f

    # ---- sending -----------------------------------------------------------------

    def bind(self, args, kwargs):
        """The inputs in C order from positional and keyword arguments
        (TypeError as for a Python function)."""
        names = self.inputs
        n = len(args)
        if n > len(names):
            raise TypeError('%s() takes %d arguments (%d given)' % (self.short, len(names), n))
        out = list(args)
        for p in names[n:]:
            try:
                out.append(kwargs[p['name']])
            except KeyError:
                raise TypeError('%s() missing argument %r' % (self.short, p['name'])) from None
        if len(kwargs) != len(names) - n:
            known = {p['name'] for p in names[n:]}
            bad = sorted(k for k in kwargs if k not in known)
            raise TypeError('%s() got unexpected or repeated arguments: %s' % (self.short, ', '.join(bad)))
        return out

    def send(self, view, values, codec, tryb=0, lang='en'):
        """Calls the TRVS_ function. Returns (status, request handle or
        None); an input the package refuses raises ArgumentError naming it."""
        cargs = [view, None]
        pos = 3
        for p, v in zip(self.inputs, values):
            try:
                cargs.append(_values.input_value(p['kind'], v, codec))
            except (TypeError, ValueError, UnicodeError) as e:
                raise errors.ArgumentError(errors.status_arg(pos), argument=p['name'], function=self.name,
                                           lang=lang, detail=_reason(e, codec)) from None
            pos += 1
        h = ctypes.c_void_p()
        cargs[1] = ctypes.byref(h)
        cargs.append(tryb)
        st = self.cfunc()(*cargs)
        return st, h.value

    def argument_at(self, status):
        """The name of the argument that libmirtel's status 0x10100 + n
        names (hDevice is 1), or None."""
        n = status - 0x10100
        if 1 <= n <= len(self.params):
            return self.params[n - 1]['name']
        return None

    # ---- reading -------------------------------------------------------------------

    def _buffers(self):
        """This thread's output objects and the C arguments pointing at them."""
        cache = getattr(_tls, 'outs', None)
        if cache is None:
            cache = _tls.outs = {}
            _tls.pool = []
        got = cache.get(self.name)
        if got is None:
            objs, cargs, big = [], [], []
            for i, p in enumerate(self.outputs):
                if p['type'] in _OUT_SCALARS:
                    o = _OUT_SCALARS[p['type']]()
                    objs.append(o)
                    cargs.append(ctypes.byref(o))
                else:
                    size = _values.output_size(p)
                    if size <= _SMALL:
                        o = ctypes.create_string_buffer(size)
                        objs.append(o)
                        cargs.append(o)
                    else:
                        objs.append(None)
                        cargs.append(None)
                        big.append((i, size))
            got = cache[self.name] = (objs, cargs, big)
        objs, cargs, big = got
        if big:
            pool = _tls.pool
            objs, cargs = list(objs), list(cargs)
            for n, (i, size) in enumerate(big):
                if n == len(pool):
                    pool.append(ctypes.create_string_buffer(size))
                elif len(pool[n]) < size:
                    pool[n] = ctypes.create_string_buffer(size)
                objs[i] = cargs[i] = pool[n]
        return objs, cargs

    def read(self, handle, codec):
        """Calls the TRVG_ function on the request. Returns (status, result
        named tuple or None)."""
        objs, cargs = self._buffers()
        for o in objs:
            if isinstance(o, ctypes.Array):
                o[0] = b'\0'   # an output a reader leaves alone reads empty, not stale
            else:
                o.value = 0
        st = self.cfunc()(handle, *cargs)
        if st:
            return st, None
        vals = []
        for p, o in zip(self.outputs, objs):
            if isinstance(o, ctypes.Array):
                vals.append(_values.output_value(p['kind'], o.value, codec, p.get('joined')))
            else:
                vals.append(o.value)
        return 0, self.result_type._make(vals)

    def describe(self):
        """A text for people: the prototype, the layout and the table's notes."""
        lines = [self.prototype, '', 'Command %d, %s %s.' % (
            self.id, 'sends' if self.sends else 'reads', ' '.join(self.wire) if self.wire else 'nothing')]
        lines += self.doc
        return '\n'.join(lines)


def _reason(e, codec):
    if isinstance(e, UnicodeEncodeError):
        return 'the character %r cannot be written in the register\'s character set %s' % (
            e.object[e.start:e.end], codec.name)
    return str(e)


class Command:
    """A sending function together with the reader of its answer: what
    ``reg.cmd.NAME`` calls. ``sender`` and ``reader`` are Functions (reader
    None when the command has no reader of its own: the request is released
    with TRVG_Default and the result is an empty named tuple), ``typemap`` a
    codes.TypeMap for answers read by a type reader and then the reader of
    that type."""

    def __init__(self, name, sender, reader, typemap=None):
        self.name = name
        self.sender = sender
        self.reader = reader
        self.typemap = typemap
        self._typed = {}
        self._empty = None
        self.signature = inspect.Signature(
            [inspect.Parameter(_identifier(p['name']), inspect.Parameter.POSITIONAL_OR_KEYWORD)
             for p in sender.inputs])

    def __repr__(self):
        return '<tarvik command %s (command %d)>' % (self.name, self.sender.id)

    def empty_result(self):
        if self._empty is None:
            self._empty = _result_type(self.name, [])
        return self._empty()

    def typed_result(self, type_result, body_reader, cls_name, body):
        """One named tuple of a typed record: the type reader's outputs
        (renamed where a body reuses the name), then the body's."""
        key = (body_reader.name, cls_name)
        rt = self._typed.get(key)
        if rt is None:
            head = [self.typemap.rename.get(f, f) for f in type_result._fields]
            fields = head + [f if f not in head else f + '_' for f in body._fields]
            rt = self._typed[key] = _result_type(cls_name, fields)
        return rt._make(tuple(type_result) + tuple(body))

    def describe(self):
        s = self.sender
        lines = ['%s(%s)' % (self.name, ', '.join(p['name'] for p in s.inputs)), '']
        if s.section:
            lines.append('%s. Command %d.' % (s.section, s.id))
        lines += s.doc
        if s.inputs:
            lines += ['', 'Arguments (sent in the order %s):' % (' '.join(s.wire) or 'none')]
            for p in s.inputs:
                lines.append('  %-24s %s' % (p['name'], _PY_TYPES.get(p['kind'], p['kind'])))
        lines.append('')
        if self.typemap:
            lines.append('Returns the record read by %s, then by the reader of its type:' % self.typemap.type_reader)
            for t in self.typemap.types.values():
                lines.append('  %-3d %-18s %s' % (t.code, t.cls, t.reader))
        elif self.reader:
            lines.append('Returns %s(%s), read by %s:' % (
                self.reader.short, ', '.join(p['name'] for p in self.reader.outputs), self.reader.name))
            for p in self.reader.outputs:
                kind = _PY_TYPES.get(p['kind'], p['kind'])
                if p.get('joined'):
                    kind = 'tuple of %d: %s' % (p['joined'], kind)
                elif p['kind'] == 'text':
                    kind = 'str'
                lines.append('  %-24s %s' % (p['name'], kind))
        else:
            lines.append('Returns an empty %s() once the register has executed it.' % self.name)
        lines += ['', 'C: ' + s.prototype]
        if self.reader:
            lines.append('   ' + self.reader.prototype)
        return '\n'.join(lines)


def _build(entries):
    functions = {}
    for e in entries:
        for name in e['names']:
            functions[name] = Function(e, name)
    readers = {n: f for n, f in functions.items() if not f.sends}
    by_lower = {n.lower(): f for n, f in readers.items()}
    by_cmd = collections.defaultdict(list)
    for f in readers.values():
        if not f.keep and f not in by_cmd[f.id]:
            by_cmd[f.id].append(f)
    commands = {}
    for name, f in functions.items():
        if not f.sends:
            continue
        typemap = codes.TYPE_MAPS.get(name)
        reader = None
        if typemap:
            reader = functions.get(typemap.type_reader)
        else:
            # The reader of the same name (TRVG_CashRegStatusGet answers
            # TRVS_CashregStatusGet), else the only reader of the command.
            reader = readers.get('TRVG_' + f.short) or by_lower.get(('TRVG_' + f.short).lower())
            if reader is None and len(by_cmd[f.id]) == 1:
                reader = by_cmd[f.id][0]
            if reader is not None and reader.keep:
                reader = None
        commands[f.short] = Command(f.short, f, reader, typemap)
    return functions, commands


FUNCTIONS, COMMANDS = _build(_commands.FUNCTIONS)


def function(name):
    """The Function of a C name, or of a short name (``"PLURead"`` is the
    sender, ``TRVG_`` must be named for a reader). KeyError when there is
    none."""
    f = FUNCTIONS.get(name) or FUNCTIONS.get('TRVS_' + name)
    if f is None:
        raise KeyError('no libmirtel function %r' % name)
    return f

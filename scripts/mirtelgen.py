#!/usr/bin/env python3
"""The libmirtel command table: one description per register command.

Each command family keeps its table beside its source unit, in
tarvik_lib/mirtel/<unit>.cmds. From the tables this script writes

  include/tarvik/mirtel.h   the prototypes, between the two GENERATED
                            marker lines (the rest of the header is prose);
  <out>/<unit>_table.cpp    the exported definitions, through the Command and
                            Answer builders, each guarded so that no
                            exception reaches the application;
  <out>/mirtel_hand.h       declarations of the hand-written bodies;
  <out>/mirtel_ids.h        every command id as a named constant (trv::cmd);
  <out>/mirtel_layouts.inc  the wire layouts, for the simulator's checks and
                            its default answers;
  <out>/test_mirtel_layout*.{h,cpp}  a test that runs every regular function
                            against the wire;
  <out>/test_mirtel_bounds*.cpp  a test that drives every reader in
                            string-handling mode 0 with its longest answers,
                            dates and times out of range and lists as long as
                            their counts allow, into buffers of exactly the
                            sizes the header states;
  <out>/mirtel_names.txt    every exported name, one per line;
  <out>/mirtel_cxx_names.txt the names exported with C++ linkage as well
                            (flag cxx), one per line;
  <out>/mirtel_calls.inc    every function callable by name with text
                            arguments and named outputs (for trvctl);
  <out>/mirtel_commands.json the table itself, for other tools and bindings:
                            per function its id, names, family, direction,
                            wire layout, values, and its C parameters (name,
                            type, role) in C order; each text output with its
                            max (below);
  <out>/mirtel_schema.json  every function as JSON Schema for the gateway
                            (trvgw): its named arguments and named results,
                            with the ranges and text forms of their kinds;
  <out>/mirtel_commands.py  the same as a module of the Python package
                            (python/tarvik/_commands.py is a copy kept in the
                            source tree; --check-python compares them).

Usage:
  mirtelgen.py --out DIR TABLE...         write the generated sources
  mirtelgen.py --header FILE TABLE...     rewrite the header's generated part
  mirtelgen.py --check FILE TABLE...      fail when the header is not current
  mirtelgen.py --python FILE TABLE...     write the Python package's table module
  mirtelgen.py --check-python FILE TABLE...  fail when that module is not current

Table syntax (one command per line; a line starting with blanks continues
the line before it; '#' starts a comment):

  == Title                 a section heading in the header
  -- text                  a comment line for the next command's prototype
  ID NAME[,ALIAS...] [FLAG...] [VALUE...] [order=a,b,...] [wire=P] [answer=P]

NAME starts with TRVS_ (a sending function: the values are its parameters
in wire order) or TRVG_ (a reader: the values are the answer's values in
order); the flag 'send' makes a sending function of any name. ALIASes are
further exported names of the same function.

Flags:
  hand   the body is written by hand, as mirtel::hand::NAME(...) in the
         family's source unit; the values then only give the C signature.
  keep   a reader that leaves the request alive (a type reader: the reader
         chosen for the type continues on the same request).
  cxx    the function has C++ linkage: C++ callers see a C++ declaration,
         C callers a C one, and the library exports both symbols, so that a
         caller compiled against either declaration links.

Values, NAME:KIND[MODS]:
  B V L                    Byte, Word, Long: the tables, the wire patterns and the
                           header's comments write kinds with the wire's letters
  char (sending)           a plain char argument, sent as a Byte
  S N K Q                  String, Numeric, Currency, Quantity texts; in a
                           reader a local buffer size may follow (S256;
                           64 without one)
  date                     "YYYY-MM-DD" as day B, month B, year V
  datetime                 "YYYY-MM-DD HH:MM:SS" as date, then hour, minute, second B
  datetimemin              "YYYY-MM-DD HH:MM" as date, then hour, minute B
  timedate                 "YYYY-MM-DD HH:MM:SS" with the time first: B B B B B V
  time                     "HH:MM:SS" (sending: also "HH:MM") as B B B
  hm                       "HH:MM" as hour, minute B (sending: ParseTime, seconds not sent)
  ip                       a dotted IPv4 text as one Long, first number most significant
  port                     a serial line text "9600,8,N,1,H" as five codes B: baud,
                           handshake, data bits, parity, stop bits
  time2000 (reader)        a Long of seconds since 2000-01-01 00:00:00 local time, as
                           "YYYY-MM-DD HH-MM-SS"
  interval (reader)        a Long of seconds, as "D:HH:MM:SS"
  X*n (reader)             n values of kind X (B V L S N K Q) joined into one text,
                           a line feed between two
  text                     a text argument or output of a hand-written function;
                           an output states its maximum: text=LIMIT (below)
  X<Y                      wire kind X for a C argument or output of kind Y; only
                           widening: V<B sends a Byte argument as a Word, B<V
                           reads a Byte into an unsigned short output
MODS:
  !                        (reader) the output is required: null returns its
                           position's code after the value was taken, request alive
  ?                        (sending text) null is sent as the empty text
  @0x10106                 the failure code, where it is not the position's
  =LIMIT                   (hand-written text output) the largest text it
                           holds: KIND, or COUNT*KIND for COUNT values of KIND
                           joined with line feeds. KIND is B V L N K Q, S with
                           its buffer size (S, S256), or a text kind (date, hm,
                           ip, port, ...). COUNT is the register's own limit,
                           or the largest the wire carries: the count's own
                           range (255 for a Byte), or a wire group in
                           parentheses, (VNN), for as many of those values as
                           one frame holds.
Special values:
  B=0                      (sending) a value the library adds itself (code 0x10101)
  _:B                      (reader) a value that no output receives
  ...NAME                  the values of another entry, then the ones that follow

Maxima: every text output of a reader has one, the bytes (NUL included) of
the longest text it can hold: S the buffer it is read through, N 14
("-500000000000"), K and Q 15, date 11, datetime 20, datetimemin 17, time 9,
hm 6, ip 16, port 15, time2000 20, interval 15; n values joined n times the
text of one with its line feed (B 4, W 6, L 11). The header prints them
after each reader ("Buffers:"); the JSON gives max, the longest text
itself (one less, as local is one more than its longest text). In
string-handling mode 0 a longer text is bad data (tarvik_mirtel_helper.h
holds the same figures).

order=a,b,c                the C argument order, where it differs from the wire order
wire=P, answer=P           wire patterns of a hand-written function, for the
                           simulator: letters B V L S N K Q, groups (..), and
                           after a letter or group * (any number), ? (optional)
                           or a count; alternatives separated by | (at the top
                           only). A pattern that does not read so is refused.
"""

import argparse
import json
import os
import re
import sys

# ---- kinds -----------------------------------------------------------------

# kind: (C argument type, wire letters, Command step)
SEND_KINDS = {
    'B': ('unsigned char', 'B', 'byte'),
    'char': ('char', 'B', 'byte'),
    'W': ('unsigned short', 'V', 'word'),
    'L': ('unsigned long', 'L', 'dword'),
    'S': ('const char*', 'S', 'string'),
    'N': ('const char*', 'N', 'numeric'),
    'K': ('const char*', 'K', 'currency'),
    'Q': ('const char*', 'Q', 'quantity'),
    'date': ('const char*', 'BBV', 'date'),
    'datetime': ('const char*', 'BBVBBB', 'dateTimeSec'),
    'datetimemin': ('const char*', 'BBVBB', 'dateTimeMin'),
    'timedate': ('const char*', 'BBBBBV', 'timeDateSec'),
    'time': ('const char*', 'BBB', 'time'),
    'hm': ('const char*', 'BB', 'hourMinute'),
    'ip': ('const char*', 'L', 'ipv4'),
    'port': ('const char*', 'BBBBB', 'portConfig'),
    'text': ('const char*', None, None),
}

# kind: (C output type, wire letters, Answer step)
GET_KINDS = {
    'B': ('unsigned char*', 'B', 'byte'),
    'W': ('unsigned short*', 'V', 'word'),
    'L': ('unsigned long*', 'L', 'dword'),
    'S': ('char*', 'S', 'string'),
    'N': ('char*', 'N', 'numeric'),
    'K': ('char*', 'K', 'currency'),
    'Q': ('char*', 'Q', 'quantity'),
    'date': ('char*', 'BBV', 'date'),
    'datetime': ('char*', 'BBVBBB', 'dateTimeSec'),
    'datetimemin': ('char*', 'BBVBB', 'dateTimeMin'),
    'time': ('char*', 'BBB', 'time'),
    'hm': ('char*', 'BB', 'hourMinute'),
    'ip': ('char*', 'L', 'ipv4'),
    'port': ('char*', 'BBBBB', 'portConfig'),
    'time2000': ('char*', 'L', 'time2000'),
    'interval': ('char*', 'L', 'interval'),
    'text': ('char*', None, None),
}

SCALAR_WIRE = {'B': 'B', 'W': 'V', 'L': 'L', 'S': 'S', 'N': 'N', 'K': 'K', 'Q': 'Q'}
WIRE_ENUM = {'B': 'Wire::Byte', 'W': 'Wire::Word', 'L': 'Wire::Long', 'S': 'Wire::String',
             'N': 'Wire::Numeric', 'K': 'Wire::Currency', 'Q': 'Wire::Quantity'}
CONST_KINDS = {'B': 'filler', 'W': 'fillerWord'}

# Order of the sections in the header: that of the source units.
UNIT_ORDER = ['config', 'fiscal', 'reports', 'hotkey', 'cntx', 'plu', 'barcode', 'pludesc', 'salerec',
              'user', 'discnt', 'pack', 'group', 'mu', 'payform', 'codefmt', 'cashout', 'errmsg', 'stat']

BEGIN = '/* ---- GENERATED from tarvik_lib/mirtel/ tables by scripts/mirtelgen.py: edit the tables, not this part */'
END = '/* ---- END OF GENERATED PART */'


class TableError(Exception):
    pass


class Value:
    """One value of a command, in wire order."""

    def __init__(self, name, kind, ckind=None, count=None, size=64, required=False, orempty=False,
                 code=None, const=None, dropped=False, maxform=None, maxmax=None, maxcount=None):
        self.name = name            # argument or output name; None for constants and dropped values
        self.kind = kind            # wire-side kind
        self.ckind = ckind or kind  # C-side kind (W<B: kind W, ckind B)
        self.count = count          # X*n joined output
        self.size = size
        self.required = required
        self.orempty = orempty
        self.code = code
        self.const = const
        self.dropped = dropped
        self.maxform = maxform      # =LIMIT of a hand-written text output
        self.maxmax = maxmax        # ... and the bytes it comes to
        self.maxcount = maxcount    # ... and the values it joins at most
        self.position = None        # C argument position (hDevice / phRequest is 1)

    def is_arg(self):
        return self.name is not None


class Entry:
    def __init__(self, cmd, names, send, flags, values, order, wire, answer, doc, section, unit, where):
        self.cmd = cmd
        self.names = names
        self.send = send
        self.hand = 'hand' in flags
        self.keep = 'keep' in flags
        self.cxx = 'cxx' in flags
        self.values = values
        self.order = order
        self.wire_pattern = wire
        self.answer_pattern = answer
        self.doc = doc
        self.section = section
        self.unit = unit
        self.where = where

    @property
    def name(self):
        return self.names[0]

    def args(self):
        """The C arguments (values with a name), in C order."""
        named = [v for v in self.values if v.is_arg()]
        if not self.order:
            return named
        by = {v.name: v for v in named}
        if sorted(by) != sorted(self.order) or len(by) != len(named):
            raise TableError('%s: order= must list every argument once' % self.where)
        return [by[n] for n in self.order]

    def wire(self):
        """Wire letters of a regular entry, or the hand-written pattern."""
        if self.hand:
            return self.wire_pattern if self.send else self.answer_pattern
        letters = ''
        for v in self.values:
            if v.const is not None:
                letters += SCALAR_WIRE[v.kind]
            elif v.count:
                letters += SCALAR_WIRE[v.kind] * v.count
            else:
                letters += (SEND_KINDS if self.send else GET_KINDS)[v.kind][1]
        return letters

    def fields(self):
        """One name per wire letter of a regular entry (a value of several
        letters, a date, names each of them), or None for a hand-written one."""
        if self.hand:
            return None
        names = []
        for v in self.values:
            name = v.name or ('(filler)' if v.const is not None else '(unread)')
            if v.const is not None:
                names.append(name)
            elif v.count:
                names += [name] * v.count
            else:
                names += [name] * len((SEND_KINDS if self.send else GET_KINDS)[v.kind][1])
        return names


# ---- parsing ---------------------------------------------------------------

VALUE_RE = re.compile(r'^(?P<name>[A-Za-z_][A-Za-z0-9_]*):(?P<kind>[a-z0-9]+|[BVLSNKQ](?:<[BVL])?)'
                      r'(?P<size>\d+)?(?:\*(?P<count>\d+))?(?P<mods>[!?]*)(?:@(?P<code>0x[0-9A-Fa-f]+))?'
                      r'(?:=(?P<max>\S+))?$')

# ---- text maxima -------------------------------------------------------------
#
# The largest text an output can hold, in bytes with the NUL: what a caller
# in string-handling mode 0 must provide, and what the library refuses to
# exceed there (tarvik_mirtel_helper.h has the same figures).

# Texts of fixed layout.
FIXED_MAX = {'date': 11, 'datetime': 20, 'datetimemin': 17, 'time': 9, 'hm': 6, 'ip': 16, 'port': 15,
             'time2000': 20, 'interval': 15}
# One value as text: "255", "65535", "4294967295", "-500000000000", and a
# decimal separator more for Currency and Quantity.
SCALAR_TEXT = {'B': 3, 'W': 5, 'L': 10, 'N': 13, 'K': 14, 'Q': 14}
# Wire bytes of a value (type letter included); a String of a local buffer
# of n bytes is at most n - 1 bytes, its type letter and its NUL.
WIRE_BYTES = {'B': 2, 'V': 3, 'L': 5, 'N': 7, 'K': 7, 'Q': 8}
# The value bytes one frame carries (its 16-bit length less the 16 bytes
# around them).
FRAME_VALUE_BYTES = 65519

MAXFORM_RE = re.compile(r'^(?:(?P<count>\d+|\([BVLSNKQ0-9]+\))\*)?(?P<kind>[BVLSNKQ](?P<size>\d+)?|[a-z0-9]+)$')


def entry_max(kind, size):
    """Bytes of one value's text with its line feed or NUL."""
    if kind == 'S':
        return size
    return SCALAR_TEXT[kind] + 1


def frame_count(group, where):
    """How many groups of these wire values one frame carries at most; one
    more where a group holds a String, for a last group with a shorter text."""
    toks = re.findall(r'S\d*|[BVLNKQ]', group)
    if ''.join(toks) != group or not toks:
        raise TableError('%s: cannot read the wire group (%s)' % (where, group))
    cost = sum(int(t[1:] or 64) + 1 if t[0] == 'S' else WIRE_BYTES[t] for t in toks)
    return FRAME_VALUE_BYTES // cost + (1 if any(t[0] == 'S' for t in toks) else 0)


def parse_maxform(form, where):
    """=LIMIT of a hand-written text output: KIND, or COUNT*KIND for COUNT
    values joined; COUNT is a number or a wire group in parentheses (as many
    of them as one frame carries)."""
    m = MAXFORM_RE.match(form)
    if not m:
        raise TableError('%s: cannot read the maximum %r' % (where, form))
    kind, count = table_kind(m.group('kind')), m.group('count')
    if kind in FIXED_MAX:
        if count:
            raise TableError('%s: %s texts are not joined: %r' % (where, kind, form))
        return FIXED_MAX[kind]
    if kind[0] not in SCALAR_TEXT and kind[0] != 'S':
        raise TableError('%s: unknown kind in the maximum %r' % (where, form))
    if m.group('size') and kind[0] != 'S':
        raise TableError('%s: only Strings have a buffer size: %r' % (where, form))
    one = entry_max(kind[0], int(m.group('size') or 64))
    if not count:
        return one
    return list_count(form, where) * one


def list_count(form, where):
    """The most values a =COUNT*KIND maximum allows, or None for one value."""
    count = MAXFORM_RE.match(form).group('count')
    if not count:
        return None
    return frame_count(count[1:-1], where) if count.startswith('(') else int(count)


def text_max(v):
    """The maximum of a reader's text output, or None for a number."""
    if v.maxform:
        return v.maxmax
    if v.count:
        return v.count * entry_max(v.kind, v.size)
    if v.kind in FIXED_MAX:
        return FIXED_MAX[v.kind]
    if v.ckind in ('S', 'N', 'K', 'Q'):
        return entry_max(v.kind, v.size)
    return None


WIRE_LETTERS = 'BVLSNKQ'


def check_pattern(text, where):
    """A wire pattern as the simulator reads it: alternatives separated by
    |, each a sequence of letters (BVLSNKQ) and groups in parentheses, each
    of them followed by at most one of * (any number), ? (optional) or a
    count. Returns the text; a TableError says where it goes wrong."""
    pos = 0

    def fail(why):
        raise TableError('%s%s: %s at character %d (%s^%s)' % (where, text, why, pos + 1, text[:pos], text[pos:]))

    def seq(in_group):
        nonlocal pos
        atoms = 0
        while pos < len(text) and text[pos] not in ')|':
            c = text[pos]
            if c == '(':
                pos += 1
                seq(True)
                if pos >= len(text) or text[pos] != ')':
                    fail('a group not closed')
                pos += 1
            elif c in WIRE_LETTERS:
                pos += 1
            elif c == 'W':
                fail('a Word is V on the wire')
            else:
                fail('%r is no wire letter (%s), group or repetition' % (c, WIRE_LETTERS))
            if pos < len(text) and text[pos] in '*?':
                pos += 1
            elif pos < len(text) and text[pos].isdigit():
                start = pos
                while pos < len(text) and text[pos].isdigit():
                    pos += 1
                if int(text[start:pos]) == 0:
                    fail('a count of 0')
            if pos < len(text) and text[pos] in '*?0123456789':
                fail('two repetitions of one thing')
            atoms += 1
        if not atoms:
            fail('an empty group' if in_group else 'an empty alternative')
        if in_group and pos < len(text) and text[pos] == '|':
            fail('alternatives only at the top')

    if not text:
        fail('no pattern')
    seq(False)
    while pos < len(text):
        if text[pos] == ')':
            fail('a ) without its (')
        pos += 1  # |
        seq(False)
    return text


def table_kind(kind):
    """A kind as the tables write it (the wire's letters: V for a Word) in
    the generator's own terms (W for a Word)."""
    return 'W' if kind == 'V' else kind


def parse_value(tok, send, where):
    if re.search(r'(^|[:<*=])W([<!?@*=\d]|$)', tok.split(':', 1)[-1] if ':' in tok else tok):
        raise TableError('%s: a Word is written V, its letter on the wire: %s' % (where, tok))
    m = re.match(r'^([BV])=(\d+)$', tok)
    if m:
        if not send:
            raise TableError('%s: a constant belongs to a sending function: %s' % (where, tok))
        return Value(None, table_kind(m.group(1)), const=int(m.group(2)))
    m = VALUE_RE.match(tok)
    if not m:
        raise TableError('%s: cannot read the value %r' % (where, tok))
    name, kind = m.group('name'), m.group('kind')
    ckind = None
    if '<' in kind:
        kind, ckind = kind.split('<')
    kind = table_kind(kind)
    ckind = table_kind(ckind) if ckind else None
    if ckind:
        # A sending function widens its argument onto the wire, a reader
        # widens the wire value into its output; nothing is cut.
        wider = 'BWL'.index(kind) > 'BWL'.index(ckind)
        if wider != send or kind == ckind:
            raise TableError('%s: %s would cut a value' % (where, tok))
    kinds = SEND_KINDS if send else GET_KINDS
    if kind not in kinds:
        raise TableError('%s: unknown kind %r in %s' % (where, kind, tok))
    count = int(m.group('count')) if m.group('count') else None
    if count and (send or kind not in SCALAR_WIRE):
        raise TableError('%s: only readers join scalar values: %s' % (where, tok))
    size = int(m.group('size')) if m.group('size') else 64
    mods = m.group('mods')
    code = int(m.group('code'), 16) if m.group('code') else None
    maxform = m.group('max')
    if maxform and (send or kind != 'text'):
        raise TableError('%s: =LIMIT states the maximum of a hand-written text output: %s' % (where, tok))
    if kind == 'text' and not send and not maxform:
        raise TableError('%s: a text output states its maximum (=LIMIT): %s' % (where, tok))
    if name == '_':
        if send:
            raise TableError('%s: a dropped value belongs to a reader: %s' % (where, tok))
        return Value(None, kind, size=size, dropped=True)
    if '!' in mods and send:
        raise TableError('%s: ! marks required outputs: %s' % (where, tok))
    if '?' in mods and (not send or kinds[kind][0] != 'const char*'):
        raise TableError('%s: ? is for text arguments: %s' % (where, tok))
    v = Value(name, kind, ckind=ckind, count=count, size=size, required='!' in mods,
              orempty='?' in mods, code=code, maxform=maxform)
    if maxform:
        v.maxmax = parse_maxform(maxform, where)
        v.maxcount = list_count(maxform, where)
    return v


def read_lines(path):
    """Logical lines (continuations joined) with their line numbers."""
    out = []
    with open(path, encoding='utf-8') as f:
        for n, raw in enumerate(f, 1):
            line = raw.rstrip('\n')
            if line.lstrip().startswith('#') or not line.strip():
                continue
            if '#' in line and not line.lstrip().startswith('--'):
                line = line[:line.index('#')]
            if line[:1] in (' ', '\t') and out and not out[-1][1].startswith(('==', '--')):
                out[-1] = (out[-1][0], out[-1][1] + ' ' + line.strip())
            else:
                out.append((n, line.strip()))
    return out


def unit_of(path):
    base = os.path.basename(path)
    m = re.match(r'^tarvik_mirtel_(\w+)\.cmds$', base)
    if not m:
        raise TableError('%s: tables are named tarvik_mirtel_<unit>.cmds' % path)
    return m.group(1)


def parse_table(path, by_name):
    unit = unit_of(path)
    entries = []
    section = None
    doc = []
    for n, line in read_lines(path):
        where = '%s:%d' % (os.path.basename(path), n)
        if line.startswith('=='):
            section = line[2:].strip()
            continue
        if line.startswith('--'):
            doc.append(line[2:].strip())
            continue
        toks = line.split()
        if len(toks) < 2 or not toks[0].isdigit():
            raise TableError('%s: an entry starts with the command id and the name' % where)
        cmd = int(toks[0])
        names = toks[1].split(',')
        for name in names:
            if not re.match(r'^TRV[SG]_\w+$', name):
                raise TableError('%s: %s is no TRVS_/TRVG_ name' % (where, name))
        flags, values, order, wire, answer = set(), [], None, None, None
        send = names[0].startswith('TRVS_')
        rest = toks[2:]
        if 'send' in rest:
            send = True
        for tok in rest:
            if tok in ('hand', 'keep', 'send', 'cxx'):
                flags.add(tok)
            elif tok.startswith('order='):
                order = tok[6:].split(',')
            elif tok.startswith('wire='):
                wire = check_pattern(tok[5:], '%s: wire=' % where)
            elif tok.startswith('answer='):
                answer = check_pattern(tok[7:], '%s: answer=' % where)
            elif tok.startswith('...'):
                base = by_name.get(tok[3:])
                if not base:
                    raise TableError('%s: %s is not defined before this line' % (where, tok[3:]))
                if base.send != send:
                    raise TableError('%s: %s is of the other direction' % (where, tok[3:]))
                values.extend(Value(**{k: v for k, v in vars(x).items() if k != 'position'})
                              for x in base.values)
            else:
                values.append(parse_value(tok, send, where))
        if 'keep' in flags and send:
            raise TableError('%s: keep is for readers' % where)
        if 'cxx' in flags and len(names) != 1:
            raise TableError('%s: a cxx entry has one name' % where)
        if not flags & {'hand'}:
            for v in values:
                if v.kind == 'text':
                    raise TableError('%s: text values are for hand-written functions' % where)
        e = Entry(cmd, names, send, flags, values, order, wire, answer, doc, section, unit, where)
        for pos, v in enumerate(e.args(), 3 if send else 2):
            v.position = pos
        names_seen = [v.name for v in e.args()]
        if len(set(names_seen)) != len(names_seen):
            raise TableError('%s: an argument name repeats' % where)
        # The parameters every function has around the table's values.
        taken = {'hDevice', 'phRequest', 'tryb'} if send else {'phRequest'}
        for name in names_seen:
            if name in taken:
                raise TableError('%s: %s is the name of a parameter every %s function has' %
                                 (where, name, 'TRVS_' if send else 'TRVG_'))
        for name in names:
            if name in by_name:
                raise TableError('%s: %s is defined twice' % (where, name))
            by_name[name] = e
        entries.append(e)
        doc = []
    return unit, entries


def load(paths):
    by_name = {}
    units = []
    for p in paths:
        units.append(parse_table(p, by_name))
    rank = {u: i for i, u in enumerate(UNIT_ORDER)}
    units.sort(key=lambda u: (rank.get(u[0], len(rank)), u[0]))
    return units


# ---- C text ------------------------------------------------------------------

def c_arg(e, v):
    if e.send:
        return 'const %s %s' % (SEND_KINDS[v.ckind][0], v.name) if SEND_KINDS[v.ckind][0] != 'const char*' \
            else 'const char* %s' % v.name
    if v.count:
        return 'char* %s' % v.name
    return '%s %s' % (GET_KINDS[v.ckind][0], v.name)


def params(e, qualified=True):
    if e.send:
        ps = ['const TARVIK_HANDLE hDevice', 'TARVIK_HANDLE* phRequest'] + [c_arg(e, v) for v in e.args()] + \
             ['const unsigned char tryb']
    else:
        ps = ['const TARVIK_HANDLE phRequest'] + [c_arg(e, v) for v in e.args()]
    return ps


def call_args(e):
    if e.send:
        return ['hDevice', 'phRequest'] + [v.name for v in e.args()] + ['tryb']
    return ['phRequest'] + [v.name for v in e.args()]


def wrap(head, ps, tail, width=118):
    """head(p1, p2, ...)tail, wrapped under the opening parenthesis."""
    indent = ' ' * (len(head) + 1)
    lines, cur = [], head + '('
    for i, p in enumerate(ps):
        piece = p + (', ' if i < len(ps) - 1 else ')' + tail)
        if len(cur) + len(piece.rstrip()) > width and cur.strip() != head + '(':
            lines.append(cur.rstrip())
            cur = indent
        cur += piece
    lines.append(cur.rstrip())
    return '\n'.join(lines)


def buffer_size(e, v):
    """A reader's text value read through another buffer than 64 bytes: its size."""
    if e.send or v.kind not in 'SNKQ' or v.size == 64:
        return ''
    return str(v.size)


def layout_comment(e):
    parts = []
    for v in e.values:
        if v.const is not None:
            parts.append('%s=%d' % (SCALAR_WIRE[v.kind], v.const))
        elif v.dropped:
            parts.append('(%s)' % GET_KINDS[v.kind][1])
        elif v.count:
            parts.append('%d%s%s' % (v.count, SCALAR_WIRE[v.kind], buffer_size(e, v)) + ('!' if v.required else ''))
        else:
            kinds = SEND_KINDS if e.send else GET_KINDS
            w = kinds[v.kind][1]
            if v.kind == 'text':
                continue
            w = w + buffer_size(e, v) if len(w) == 1 else '%s[%s]' % (v.kind, ' '.join(w))
            parts.append(w + ('!' if v.required else ''))
    if e.hand:
        pat = e.wire_pattern if e.send else e.answer_pattern
        layout = pat if pat else 'see below'
    else:
        layout = ' '.join(parts) if parts else 'nothing'
    what = 'sends' if e.send else ('reads, keeps the request:' if e.keep else 'reads')
    text = '%d %s %s' % (e.cmd, what, layout)
    if e.order and not e.hand:
        text += '; wire order: ' + ', '.join(v.name or '-' for v in e.values if v.is_arg())
    return text


def buffers_lines(e, width=76):
    """The bytes each text output of a reader needs at most, NUL included."""
    if e.send:
        return []
    sizes = ['%s %d' % (v.name, text_max(v)) for v in e.args() if text_max(v)]
    lines = []
    for i, size in enumerate(sizes):
        piece = size + (',' if i < len(sizes) - 1 else '')
        if lines and len(lines[-1]) + 1 + len(piece) <= width:
            lines[-1] += ' ' + piece
        else:
            lines.append(('Buffers: ' if not lines else '  ') + piece)
    return lines


def header_part(units):
    out = [BEGIN, '']
    for unit, entries in units:
        section = None
        for e in entries:
            if e.section != section:
                section = e.section
                if out[-1] != '':
                    out.append('')
                title = '/* ---- %s ' % (section or unit)
                out.append(title + '-' * max(4, 80 - len(title) - 2) + ' */')
                out.append('')
            lines = [layout_comment(e)] + e.doc
            lines += buffers_lines(e)
            if len(lines) == 1:
                out.append('/* %s */' % lines[0])
            else:
                out.append('/* ' + lines[0])
                out.extend(' * ' + l for l in lines[1:])
                out.append(' */')
            if e.cxx:
                # The C++ form for C++ callers, outside the header's extern "C".
                decl = wrap('TARVIK_API TARVIK_STATUS ' + e.name, params(e), ';')
                out += ['#ifdef __cplusplus', '}', decl, 'extern "C" {', '#else', decl, '#endif']
                continue
            for name in e.names:
                out.append(wrap('TARVIK_API TARVIK_STATUS ' + name, params(e), ';'))
        out.append('')
    out.append(END)
    return '\n'.join(out)


def rewrite_header(path, units, check):
    with open(path, encoding='utf-8') as f:
        text = f.read()
    if BEGIN not in text or END not in text:
        raise TableError('%s has no generated part (marker lines missing)' % path)
    head, rest = text.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    new = head + header_part(units) + tail
    if check:
        if new != text:
            sys.stderr.write('%s is not current: run scripts/mirtelgen.py --header %s '
                             'tarvik_lib/mirtel/*.cmds\n' % (path, path))
            return 1
        return 0
    if new != text:
        with open(path, 'w', encoding='utf-8') as f:
            f.write(new)
    return 0


# ---- definitions ---------------------------------------------------------------

def send_body(e):
    chain = ['Command(hDevice, phRequest, %d, tryb)' % e.cmd]
    auto = 3
    for v in e.values:
        if v.const is not None:
            chain.append('.%s(%d)' % (CONST_KINDS[v.kind], v.const))
            continue
        code = v.code if v.code is not None else 0x10100 + v.position
        if code != 0x10100 + auto:
            chain.append('.withCode(0x%Xu)' % code)
        auto += 1
        step = SEND_KINDS[v.kind][2]
        if v.orempty:
            step = 'stringOrEmpty'
        arg = v.name
        if v.ckind != v.kind:
            arg = 'static_cast<%s>(%s)' % (SEND_KINDS[v.kind][0], v.name)
        elif v.kind == 'char':
            arg = 'static_cast<unsigned char>(%s)' % v.name
        chain.append('.%s(%s)' % (step, arg))
    chain.append('.post()')
    return 'return ' + ''.join(chain) + ';'


def get_body(e):
    chain = ['Answer(phRequest, %d)' % e.cmd]
    for v in e.values:
        if v.dropped:
            chain.append('.skip(%s)' % WIRE_ENUM[v.kind])
            continue
        if v.required:
            chain.append('.required(0x%Xu)' % (v.code if v.code is not None else 0x10100 + v.position))
        out = v.name
        if v.ckind != v.kind:
            # B<W and the like: the wire value, stored in a wider output.
            chain.append('.%s(%s)' % (GET_KINDS[v.kind][2], out))
            continue
        if v.count:
            chain.append('.joined(%s, %s, %d%s)' % (out, WIRE_ENUM[v.kind], v.count,
                                                    ', %d' % v.size if v.size != 64 else ''))
            continue
        step = GET_KINDS[v.kind][2]
        size = ', %d' % v.size if v.kind in 'SNKQ' and v.size != 64 else ''
        chain.append('.%s(%s%s)' % (step, out, size))
    chain.append('.keep()' if e.keep else '.finish()')
    return 'return ' + ''.join(chain) + ';'


def definitions(unit, entries):
    out = ['// Generated by scripts/mirtelgen.py from tarvik_lib/mirtel/tarvik_mirtel_%s.cmds; do not edit.' % unit,
           '#include "tarvik_mirtel_helper.h"', '#include "mirtel_hand.h"', '',
           'using namespace mirtel;', '', 'extern "C" {', '']
    cxx = []
    for e in entries:
        if e.hand:
            body = 'return hand::%s(%s);' % (e.name, ', '.join(call_args(e)))
        else:
            body = send_body(e) if e.send else get_body(e)
        if e.cxx:
            cxx.append((e, body))
            continue
        for name in e.names:
            out.append(wrap('TARVIK_API TARVIK_STATUS ' + name, params(e), ' {'))
            out.append('    return guarded([&]() -> TARVIK_STATUS { %s });' % body)
            out.append('}')
            out.append('')
    out.append('}  // extern "C"')
    for e, body in cxx:
        # The C++ function, and the same function under its C symbol name
        # (a second C++ name bound to that symbol: one name cannot have both
        # linkages in one program).
        twin = e.name + '_C'
        out += ['', '// C++ linkage, as the header declares it for C++ callers.',
                wrap('TARVIK_API TARVIK_STATUS ' + e.name, params(e), ' {'),
                '    return guarded([&]() -> TARVIK_STATUS { %s });' % body, '}', '',
                '// C linkage, for callers compiled as C.',
                wrap('extern "C" TARVIK_API TARVIK_STATUS ' + twin, params(e), ' __asm__("%s");' % e.name),
                wrap('extern "C" TARVIK_STATUS ' + twin, params(e), ' {'),
                '    return %s(%s);' % (e.name, ', '.join(call_args(e))), '}']
    return '\n'.join(out) + '\n'


def hand_header(units):
    out = ['// Generated by scripts/mirtelgen.py: the hand-written bodies of the irregular',
           '// commands, one per entry marked "hand" in the tables. Each lives in its',
           '// family\'s source unit; the exported function of the same name calls it.',
           '#pragma once', '', '#include <cstdint>', '', '#include "tarvik/mirtel.h"', '',
           'namespace mirtel::hand {', '']
    for unit, entries in units:
        for e in entries:
            if e.hand:
                out.append(wrap('TARVIK_STATUS ' + e.name, params(e), ';'))
    out += ['', '}  // namespace mirtel::hand', '',
            '// The maxima the header states for the text outputs of the hand-written',
            '// readers (bytes, NUL included); the bodies pass them to the reader.',
            'namespace mirtel::maxima {', '']
    for unit, entries in units:
        for e in entries:
            if e.hand and not e.send:
                sizes = ['%s = %d' % (v.name, text_max(v)) for v in e.args() if text_max(v)]
                if sizes:
                    out.append('struct %s {' % e.name)
                    out.extend('    static constexpr uint32_t %s;' % x for x in sizes)
                    out.append('};')
    out += ['', '}  // namespace mirtel::maxima']
    return '\n'.join(out) + '\n'


# ---- command identifiers -----------------------------------------------------

def id_name(e):
    """The constant's name: the function's name without TRVS_/TRVG_."""
    return e.name[5:]


def command_ids(units):
    """trv::cmd::NAME = id for every command, so that a number is written
    once (in its table) and the library's hand-written bodies, the
    simulator and the tools name it. A sender and its reader share a name
    when they share an id."""
    ids = {}
    for unit, entries in units:
        for e in entries:
            n = id_name(e)
            if n in ids and ids[n][0] != e.cmd:
                raise TableError('%s: %s names the ids %d and %d' % (e.where, n, ids[n][0], e.cmd))
            ids.setdefault(n, (e.cmd, unit))
    out = ['// Generated by scripts/mirtelgen.py from the command tables: the id of every',
           '// register command, named after its function (TRVS_PackDel -> cmd::PackDel).',
           '// The rules the protocol attaches to some of them are in trvlib_protocol.h.',
           '#pragma once', '', '#include <cstdint>', '', 'namespace trv::cmd {', '']
    unit_now = None
    for n, (cmd, unit) in ids.items():
        if unit != unit_now:
            if unit_now is not None:
                out.append('')
            out.append('// tarvik_mirtel_%s' % unit)
            unit_now = unit
        out.append('inline constexpr uint16_t %s = %d;' % (n, cmd))
    out += ['', '}  // namespace trv::cmd']
    return '\n'.join(out) + '\n'


# ---- layouts for the simulator ----------------------------------------------

def layouts(units):
    out = ['// Generated by scripts/mirtelgen.py: wire layouts of the libmirtel commands.',
           '// {command, function, sends (else reads), pattern (null: hand-written, unchecked), type reader,',
           '//  the value names, one per letter of a regular layout (null: hand-written)}']
    for unit, entries in units:
        for e in entries:
            pat = e.wire()
            pat_c = 'nullptr' if pat is None else '"%s"' % pat
            fields = e.fields()
            fields_c = 'nullptr' if fields is None else '"%s"' % ' '.join(fields)
            out.append('{%d, "%s", %s, %s, %s, %s},' % (e.cmd, e.name, 'true' if e.send else 'false', pat_c,
                                                      'true' if e.keep else 'false', fields_c))
    return '\n'.join(out) + '\n'


# ---- the layout test -------------------------------------------------------------

class Samples:
    """Distinct sample values per position, and how they look on the wire."""

    @staticmethod
    def clock(i):
        """Day, month, year, hour, minute, second, no two alike, so that a swap shows."""
        return 10 + i % 18, 1 + i % 9, 2000 + i, i % 20, 20 + i % 20, 40 + i % 20

    @staticmethod
    def send(kind, i):
        """(C literal of the argument, [wire descriptions])"""
        d, mo, y, h, mi, s = Samples.clock(i)
        if kind in ('B', 'char'):
            return str(10 + i), ['B%d' % (10 + i)]
        if kind == 'W':
            return str(1000 + i), ['V%d' % (1000 + i)]
        if kind == 'L':
            return '%dul' % (70000 + i), ['L%d' % (70000 + i)]
        if kind == 'S':
            return '"s%d"' % i, ["S's%d'" % i]
        if kind == 'N':
            return '"%d"' % (100 + i), ['N%d' % (100 + i)]
        if kind == 'K':
            return '"%d.%02d"' % (i, i), ['K%d.%02d' % (i, i)]
        if kind == 'Q':
            return '"%d.%03d"' % (i, i), ['Q%d.%03d' % (i, i)]
        date = ['B%d' % d, 'B%d' % mo, 'V%d' % y]
        tm = ['B%d' % h, 'B%d' % mi, 'B%d' % s]
        if kind == 'date':
            return '"%04d-%02d-%02d"' % (y, mo, d), date
        if kind == 'datetime':
            return '"%04d-%02d-%02d %02d:%02d:%02d"' % (y, mo, d, h, mi, s), date + tm
        if kind == 'timedate':
            return '"%04d-%02d-%02d %02d:%02d:%02d"' % (y, mo, d, h, mi, s), tm + date
        if kind == 'datetimemin':
            return '"%04d-%02d-%02d %02d:%02d"' % (y, mo, d, h, mi), date + tm[:2]
        if kind == 'time':
            return '"%02d:%02d:%02d"' % (h, mi, s), tm
        if kind == 'hm':
            return '"%02d:%02d"' % (h, mi), tm[:2]
        if kind == 'ip':
            return '"10.%d.%d.%d"' % (i, 2 * i, 3 * i), ['L%d' % ((10 << 24) | (i << 16) | (2 * i << 8) | 3 * i)]
        if kind == 'port':
            # Five different codes: baud 7, handshake 3, data bits 1, parity 2, stop bits 0.
            return '"115200,7,O,1,D"', ['B7', 'B3', 'B1', 'B2', 'B0']
        raise TableError('no sample for ' + kind)

    @staticmethod
    def scalar(kind, i):
        """(answer value V::..., its text in a joined list)"""
        if kind == 'B':
            return 'V::B(%d)' % (20 + i % 200), str(20 + i % 200)
        if kind == 'W':
            return 'V::W(%d)' % (2000 + i), str(2000 + i)
        if kind == 'L':
            return 'V::L(%du)' % (80000 + i), str(80000 + i)
        if kind == 'S':
            return 'V::S("a%d")' % i, 'a%d' % i
        if kind == 'N':
            return 'V::N("%d")' % (300 + i), str(300 + i)
        if kind == 'K':
            return 'V::K("%d.%02d")' % (i, i), '%d,%02d' % (i, i)
        if kind == 'Q':
            return 'V::Q("%d.%03d")' % (i, i), '%d,%03d' % (i, i)
        raise TableError('no sample for ' + kind)

    @staticmethod
    def get(kind, i):
        """([answer values], expected output: ('int', n) or ('str', text))"""
        import datetime
        d, mo, y, h, mi, s = Samples.clock(i)
        date = ['V::B(%d)' % d, 'V::B(%d)' % mo, 'V::W(%d)' % y]
        tm = ['V::B(%d)' % h, 'V::B(%d)' % mi, 'V::B(%d)' % s]
        ds = '%04d-%02d-%02d' % (y, mo, d)
        if kind in SCALAR_WIRE:
            v, text = Samples.scalar(kind, i)
            return [v], ('int', text) if kind in 'BWL' else ('str', text)
        if kind == 'date':
            return date, ('str', ds)
        if kind == 'datetime':
            return date + tm, ('str', '%s %02d:%02d:%02d' % (ds, h, mi, s))
        if kind == 'datetimemin':
            return date + tm[:2], ('str', '%s %02d:%02d' % (ds, h, mi))
        if kind == 'time':
            return tm, ('str', '%02d:%02d:%02d' % (h, mi, s))
        if kind == 'hm':
            return tm[:2], ('str', '%02d:%02d' % (h, mi))
        if kind == 'ip':
            n = (192 << 24) | (168 << 16) | (i << 8) | (i + 1)
            return ['V::L(%du)' % n], ('str', '192.168.%d.%d' % (i, i + 1))
        if kind == 'port':
            # baud 5, handshake 3, data bits 1, parity 2, stop bits 0
            return ['V::B(5)', 'V::B(3)', 'V::B(1)', 'V::B(2)', 'V::B(0)'], ('str', '38400,7,O,1,D')
        if kind == 'time2000':
            off = 86400 * (400 + i) + 3600 * 5 + 61 * i
            t = datetime.datetime(2000, 1, 1) + datetime.timedelta(seconds=off)
            return ['V::L(%du)' % off], ('str', '%d-%02d-%02d %02d-%02d-%02d' % (
                t.year, t.month, t.day, t.hour, t.minute, t.second))
        if kind == 'interval':
            off = 90061 + 3723 * i
            return ['V::L(%du)' % off], ('str', '%d:%02d:%02d:%02d' % (
                off // 86400, off // 3600 % 24, off // 60 % 60, off % 60))
        raise TableError('no sample for ' + kind)


def cstr(s):
    return '"' + s.replace('\\', '\\\\').replace('"', '\\"').replace('\n', '\\n') + '"'


def test_send(e):
    out = []
    args = {}
    wires = {}
    for v in e.args():
        lit, wire = Samples.send(v.ckind, v.position)
        if v.ckind != v.kind:
            wire = [SCALAR_WIRE[v.kind] + wire[0][1:]]
        args[v.name] = lit
        wires[v.name] = wire
    expected = []
    for v in e.values:
        if v.const is not None:
            expected.append('%s%d' % (SCALAR_WIRE[v.kind], v.const))
        else:
            expected.extend(wires[v.name])
    for name in e.names:
        call_ok = '%s(view, &req, %s)' % (name, ', '.join([args[v.name] for v in e.args()] + ['0']))
        out.append('    {')
        out.append('        SCOPED_TRACE("%s");' % name)
        out.append('        TARVIK_HANDLE req = nullptr;')
        out.append('        ASSERT_EQ(%s, 0u);' % call_ok.replace('(view, &req, 0)', '(view, &req, 0)'))
        out.append('        EXPECT_EQ(sent(%d), %s);' % (e.cmd, cstr(' '.join(expected))))
        out.append('        TRV_DestroyRequest(req);')
        # Every text argument that may not be null reports its own code.
        for v in e.args():
            if SEND_KINDS[v.ckind][0] != 'const char*' or v.orempty:
                continue
            code = v.code if v.code is not None else 0x10100 + v.position
            bad = [('nullptr' if w is v else args[w.name]) for w in e.args()] + ['0']
            out.append('        EXPECT_EQ(%s(view, &req, %s), 0x%Xu);' % (name, ', '.join(bad), code))
            out.append('        EXPECT_TRUE(keptUnposted(req));')
            out.append('        TRVG_Default(req);')
        out.append('    }')
    return out


def test_get(e):
    out = []
    decl, outs, answer, checks = [], {}, [], []
    for i, v in enumerate(e.values):
        if v.dropped:
            answer.extend(Samples.get(v.kind, 90 + i)[0])
            continue
        var = 'o_%s' % v.name
        pos = v.position
        if v.count:
            vals, texts = zip(*[Samples.scalar(v.kind, pos * 10 + k) for k in range(v.count)])
            answer.extend(vals)
            exp = ('str', '\n'.join(texts))
        else:
            vals, exp = Samples.get(v.kind, pos)
            answer.extend(vals)
            if v.ckind != v.kind:
                exp = ('int', exp[1])
        ctype = GET_KINDS[v.ckind][0] if not v.count else 'char*'
        if ctype == 'char*':
            decl.append('char %s[512] = "";' % var)
            outs[v.name] = var
            checks.append('EXPECT_STREQ(%s, %s);' % (var, cstr(exp[1])))
        else:
            decl.append('%s %s = 0;' % (ctype[:-1], var))
            outs[v.name] = '&' + var
            checks.append('EXPECT_EQ(%s, %s);' % (var, exp[1]))
    order = [v.name for v in e.args()]
    for name in e.names:
        out.append('    {')
        out.append('        SCOPED_TRACE("%s");' % name)
        for d in decl:
            out.append('        ' + d)
        out.append('        const std::vector<V> values = {%s};' % ', '.join(answer))
        out.append('        TARVIK_HANDLE h = answer(%d, values);' % e.cmd)
        out.append('        ASSERT_EQ(%s(%s), 0u);' % (name, ', '.join(['h'] + [outs[n] for n in order])))
        if e.keep:
            out.append('        EXPECT_FALSE(destroyed(h));')
            out.append('        TRVG_Default(h);')
        else:
            out.append('        EXPECT_TRUE(destroyed(h));')
        for c in checks:
            out.append('        ' + c)
        # A required output given as null: its code, the request stays.
        for v in e.args():
            if not v.required:
                continue
            code = v.code if v.code is not None else 0x10100 + v.position
            args = ['h'] + [('nullptr' if n == v.name else outs[n]) for n in order]
            out.append('        h = answer(%d, values);' % e.cmd)
            out.append('        EXPECT_EQ(%s(%s), 0x%Xu);' % (name, ', '.join(args), code))
            out.append('        EXPECT_FALSE(destroyed(h));')
            out.append('        TRVG_Default(h);')
        out.append('    }')
    return out


# The generated tests come one file per family, so that a table edit
# recompiles its family's tests only; <name>.h holds what they share and
# <name>.cpp what is defined once.
def layout_test(units):
    """{file name: text} of test_mirtel_layout."""
    files = {}
    files['test_mirtel_layout.h'] = '\n'.join([
        '// Generated by scripts/mirtelgen.py from the command tables; do not edit.',
        '// Every regular libmirtel function on the wire: each sending function with',
        '// distinct sample values against the frame the sender wrote, each reader',
        '// against an answer of its layout (outputs, status 0, the request freed).',
        '// One file per command family: test_mirtel_layout_<family>.cpp.',
        '#pragma once',
        '',
        '#include <cstdlib>',
        '#include <ctime>',
        '#include <set>',
        '',
        '#include "test_mirtel_fixture.h"',
        '',
        'using namespace mirtel_test;',
        '',
        '// Which requests the library freed (linked with --wrap=TRV_DestroyRequest).',
        'inline std::set<TARVIK_HANDLE> g_destroyed;',
        '// Time texts are checked in UTC.',
        'inline const bool g_utc = [] { setenv("TZ", "UTC", 1); tzset(); return true; }();',
        '',
        'class MirtelLayout : public MirtelTest {',
        'protected:',
        '    TARVIK_HANDLE answer(uint16_t cmd, const std::vector<V>& values) {',
        '        TARVIK_HANDLE h = MirtelTest::answer(cmd, values);',
        '        g_destroyed.erase(h);',
        '        return h;',
        '    }',
        '    static bool destroyed(TARVIK_HANDLE h) { return g_destroyed.count(h) != 0; }',
        '};',
        '']) + '\n'
    files['test_mirtel_layout.cpp'] = '\n'.join([
        '// Generated by scripts/mirtelgen.py; do not edit. What the layout tests define once.',
        '#include "test_mirtel_layout.h"',
        '',
        'extern "C" TARVIK_STATUS __real_TRV_DestroyRequest(TARVIK_HANDLE hRequest);',
        'extern "C" TARVIK_STATUS __wrap_TRV_DestroyRequest(TARVIK_HANDLE hRequest) {',
        '    g_destroyed.insert(hRequest);',
        '    return __real_TRV_DestroyRequest(hRequest);',
        '}',
        '']) + '\n'
    for unit, entries in units:
        out = ['// Generated by scripts/mirtelgen.py from tarvik_mirtel_%s.cmds; do not edit.' % unit,
               '#include "test_mirtel_layout.h"', '']
        regular = [e for e in entries if not e.hand]
        if regular:
            out.append('TEST_F(MirtelLayout, %s) {' % unit)
            out.append('    ASSERT_TRUE(g_utc);')
            for e in regular:
                out.extend(test_send(e) if e.send else test_get(e))
            out.append('}')
        else:
            out.append('// No regular function: its hand-written ones have tests of their own.')
        files['test_mirtel_layout_%s.cpp' % unit] = '\n'.join(out) + '\n'
    return files


# ---- the bounds test ----------------------------------------------------------

# The longest text of each scalar kind, as an answer value.
WORST = {'B': 'V::B(255)', 'W': 'V::W(65535)', 'L': 'V::L(4294967295u)', 'N': 'V::N("-500000000000")',
         'K': 'V::K("-5000000000.00")', 'Q': 'V::Q("-500000000.000")'}

# The clock kinds: their fields in wire order, each (name, wire, largest valid
# value, values out of its range). The valid values give the longest text.
CLOCK_FIELDS = {
    'day': ('B', 28, [255, 32, 0]), 'month': ('B', 12, [255, 13, 0]), 'year': ('W', 9999, [65535, 10000]),
    'hour': ('B', 23, [255, 24]), 'minute': ('B', 59, [255, 60]), 'second': ('B', 59, [255, 60]),
}
CLOCK_KINDS = {
    'date': ['day', 'month', 'year'],
    'datetime': ['day', 'month', 'year', 'hour', 'minute', 'second'],
    'datetimemin': ['day', 'month', 'year', 'hour', 'minute'],
    'time': ['hour', 'minute', 'second'],
    'hm': ['hour', 'minute'],
}


def worst_values(v):
    """The answer values of one reader value that give its longest text."""
    if v.kind in CLOCK_KINDS:
        return ['V::%s(%d)' % ('W' if CLOCK_FIELDS[f][0] == 'W' else 'B', CLOCK_FIELDS[f][1])
                for f in CLOCK_KINDS[v.kind]]
    one = 'V::S(std::string(%d, \'x\'))' % (v.size - 1) if v.kind == 'S' else WORST.get(v.kind)
    if v.count:
        return [one] * v.count
    if v.kind in ('ip', 'time2000', 'interval'):
        return [WORST['L']]
    if v.kind == 'port':
        return ['V::B(7)', 'V::B(0)', 'V::B(0)', 'V::B(0)', 'V::B(0)']  # 115200,8,N,1,N
    return [one]


def reader_outputs(e):
    """Declarations of a reader's outputs (text buffers of exactly the stated
    size) and the arguments that pass them, in C order."""
    decl, args = [], []
    for v in e.args():
        m = text_max(v)
        if m:
            decl.append('Buf %s(%d);' % (v.name, m))
            args.append('%s.p()' % v.name)
        else:
            decl.append('%s %s = 0;' % (GET_KINDS[v.ckind][0][:-1], v.name))
            args.append('&' + v.name)
    return decl, args


def bounds_reader(e):
    """Statements that drive one regular reader: its longest answer fits
    buffers of exactly the stated sizes; every clock field out of its range
    is bad data, writes nothing and keeps the request."""
    out = []
    decl, args = reader_outputs(e)
    worst = []
    bad = []  # (output, [(index, value)])
    for v in e.values:
        if v.dropped:
            worst.append(WORST.get(v.kind, 'V::B(255)'))
            continue
        if v.kind in CLOCK_KINDS:
            cases = []
            for k, f in enumerate(CLOCK_KINDS[v.kind]):
                wire, _, values = CLOCK_FIELDS[f]
                cases += ['{%d, V::%s(%d)}' % (len(worst) + k, 'W' if wire == 'W' else 'B', b) for b in values]
            bad.append((v.name, cases))
        worst.extend(worst_values(v))
    for name in e.names:
        out.append('    {')
        out.append('        SCOPED_TRACE("%s");' % name)
        out.extend('        ' + d for d in decl)
        out.append('        const auto read = [&](TARVIK_HANDLE h) { return %s(%s); };' % (
            name, ', '.join(['h'] + args)))
        out.append('        const std::vector<V> worst = {%s};' % ', '.join(worst))
        out.append('        fits(%d, worst, read, %s);' % (e.cmd, 'true' if e.keep else 'false'))
        for output, cases in bad:
            out.append('        refused(%d, worst, read, %s, {%s});' % (e.cmd, output, ', '.join(cases)))
        out.append('    }')
    return out


def bounds_hand_reader(e):
    """Statements that drive one hand-written reader with hostile answers of
    its layout (test_mirtel_hostile.h): whatever the reader makes of them,
    nothing goes past buffers of exactly the stated sizes."""
    out = []
    decl, args = reader_outputs(e)
    # Lists one value longer than the longest any output allows.
    runs = 1 + max([v.maxcount or 0 for v in e.args()])
    for name in e.names:
        out.append('    {')
        out.append('        SCOPED_TRACE("%s");' % name)
        out.extend('        ' + d for d in decl)
        out.append('        drive(%d, "%s", %d, [&](TARVIK_HANDLE h) { return %s(%s); });' % (
            e.cmd, e.answer_pattern, runs, name, ', '.join(['h'] + args)))
        out.append('    }')
    return out


def bounds_test(units):
    """{file name: text} of test_mirtel_bounds."""
    files = {'test_mirtel_bounds.cpp': '\n'.join([
        '// Generated by scripts/mirtelgen.py from the command tables; do not edit.',
        '// Every reader in string-handling mode 0, with buffers of exactly the sizes',
        '// the header states: the longest answers fit them, dates and times out of',
        '// their range are bad data, and lists as long as their counts allow never',
        '// go past them (the suite runs under AddressSanitizer too). One file per',
        '// command family: test_mirtel_bounds_<family>.cpp.',
        '#include "test_mirtel_hostile.h"',
        '',
        'TRACK_DESTROYED_REQUESTS',
        '']) + '\n'}
    for unit, entries in units:
        out = ['// Generated by scripts/mirtelgen.py from tarvik_mirtel_%s.cmds; do not edit.' % unit,
               '#include "test_mirtel_hostile.h"', '', 'using namespace mirtel_test;', '']
        readers = [e for e in entries if not e.send and (not e.hand or e.answer_pattern)]
        if readers:
            out.append('TEST_F(MirtelBounds, %s) {' % unit)
            for e in readers:
                out.extend(bounds_hand_reader(e) if e.hand else bounds_reader(e))
            out.append('}')
        else:
            out.append('// No reader with a known layout.')
        files['test_mirtel_bounds_%s.cpp' % unit] = '\n'.join(out) + '\n'
    return files


# ---- calls by name ------------------------------------------------------------

C_SLOT = {'unsigned char': 'u8', 'char': 'ch', 'unsigned short': 'u16', 'unsigned long': 'u32',
          'const char*': 'text', 'unsigned char*': 'u8', 'unsigned short*': 'u16', 'unsigned long*': 'u32',
          'char*': 'text'}


def slot(e, v):
    if e.send:
        return C_SLOT[SEND_KINDS[v.ckind][0]]
    return 'text' if v.count else C_SLOT[GET_KINDS[v.ckind][0]]


def calls(units):
    """Every function as data: its fields (C order) and a call through
    text slots. The includer defines Slots with u8(i), ch(i), u16(i), u32(i),
    text(i) for arguments and outU8(i), outU16(i), outU32(i), outText(i) for
    outputs, and the struct the initialisers fill."""
    out = ['// Generated by scripts/mirtelgen.py: every libmirtel function, callable by name.',
           '// {name, unit, command, sends, type reader, {fields}, sending call, reader call}']
    for unit, entries in units:
        for e in entries:
            fields = ', '.join('{"%s", "%s"}' % (v.name, slot(e, v)) for v in e.args())
            for name in e.names:
                if e.send:
                    args = ['h', 'r'] + ['s.%s(%d)' % (slot(e, v), i) for i, v in enumerate(e.args())] + ['t']
                    fn = ('[](TARVIK_HANDLE h, TARVIK_HANDLE* r, [[maybe_unused]] Slots& s, unsigned char t) -> TARVIK_STATUS '
                          '{ return %s(%s); }' % (name, ', '.join(args)))
                    out.append('{"%s", "%s", %d, true, false, {%s}, %s, nullptr},' % (name, unit, e.cmd, fields, fn))
                else:
                    args = ['r'] + ['s.out%s(%d)' % (slot(e, v)[0].upper() + slot(e, v)[1:], i)
                                    for i, v in enumerate(e.args())]
                    fn = '[](TARVIK_HANDLE r, [[maybe_unused]] Slots& s) -> TARVIK_STATUS { return %s(%s); }' % (name, ', '.join(args))
                    out.append('{"%s", "%s", %d, false, %s, {%s}, nullptr, %s},' % (
                        name, unit, e.cmd, 'true' if e.keep else 'false', fields, fn))
    return '\n'.join(out) + '\n'


# ---- main -------------------------------------------------------------------------

def write_if_changed(path, text):
    try:
        with open(path, encoding='utf-8') as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def c_params(e):
    """The C parameters as data, in C order: name, type and role (device,
    request_out, request, in, out, mode); an output's local buffer (the
    longest text it can carry is one less) where libmirtel pops through one;
    every text output's max: the bytes of its largest text, without the
    NUL (the buffer a caller gives in string-handling mode 0 is one more,
    the size the header states)."""
    ps = []
    if e.send:
        ps.append({'name': 'hDevice', 'type': 'TARVIK_HANDLE', 'role': 'device'})
        ps.append({'name': 'phRequest', 'type': 'TARVIK_HANDLE*', 'role': 'request_out'})
    else:
        ps.append({'name': 'phRequest', 'type': 'TARVIK_HANDLE', 'role': 'request'})
    for v in e.args():
        if e.send:
            p = {'name': v.name, 'type': SEND_KINDS[v.ckind][0], 'role': 'in', 'kind': v.ckind}
        else:
            ctype = 'char*' if v.count else GET_KINDS[v.ckind][0]
            p = {'name': v.name, 'type': ctype, 'role': 'out', 'kind': v.ckind, 'required': v.required}
            if v.count:
                p['joined'] = v.count
            elif ctype == 'char*' and v.ckind in ('S', 'N', 'K', 'Q'):
                p['local'] = v.size
            if ctype == 'char*':
                p['max'] = text_max(v) - 1  # the text's bytes; its buffer is one more
        ps.append(p)
    if e.send:
        ps.append({'name': 'tryb', 'type': 'unsigned char', 'role': 'mode'})
    return ps


def as_json(units):
    doc = []
    for unit, entries in units:
        for e in entries:
            doc.append({
                'id': e.cmd, 'names': e.names, 'unit': unit, 'section': e.section,
                'direction': 'send' if e.send else 'read', 'hand': e.hand, 'keep': e.keep, 'cxx': e.cxx,
                'wire': e.wire(), 'doc': e.doc,
                'values': [{'name': v.name, 'kind': v.kind, 'ckind': v.ckind, 'count': v.count,
                            'required': v.required, 'constant': v.const, 'position': v.position}
                           for v in e.values],
                'c': {'return': 'TARVIK_STATUS', 'params': c_params(e)},
            })
    return json.dumps(doc, indent=1) + '\n'


# ---- JSON Schema of every function (the gateway's commands by name) ---------------

# kind: (JSON Schema, text form for the description)
SCHEMA_TEXT = {
    'S': None,
    'text': None,
    'N': ('^-?[0-9]+[.,]?$', 'a whole number as text (no decimals)'),
    'K': ('^-?[0-9]+([.,][0-9]{0,2})?$', 'an amount as text, at most 2 decimals'),
    'Q': ('^-?[0-9]+([.,][0-9]{0,3})?$', 'a quantity as text, at most 3 decimals'),
    'date': ('^[0-9]{4}.[0-9]{2}.[0-9]{2}$', 'YYYY-MM-DD'),
    'datetime': (None, 'YYYY-MM-DD HH:MM:SS'),
    'datetimemin': (None, 'YYYY-MM-DD HH:MM'),
    'timedate': (None, 'YYYY-MM-DD HH:MM:SS'),
    'time': (None, 'HH:MM:SS'),
    'hm': (None, 'HH:MM'),
    'ip': ('^[0-9]{1,3}([.][0-9]{1,3}){3}$', 'a dotted IPv4 address'),
    'port': (None, 'serial line settings such as 9600,8,N,1,H'),
    'time2000': (None, 'YYYY-MM-DD HH-MM-SS'),
    'interval': (None, 'D:HH:MM:SS'),
}
INT_MAX = {'B': 255, 'W': 65535, 'L': 4294967295}


def value_schema(p):
    """The JSON Schema of one C parameter (from c_params)."""
    kind = p.get('kind')
    if p.get('joined'):
        return {'type': 'string', 'description': '%d values, a line feed between two' % p['joined']}
    if kind in INT_MAX:
        return {'type': 'integer', 'minimum': 0, 'maximum': INT_MAX[kind]}
    if kind == 'char':
        return {'type': 'string', 'minLength': 1, 'maxLength': 1}
    sch = {'type': 'string'}
    form = SCHEMA_TEXT.get(kind)
    if form:
        if form[0]:
            sch['pattern'] = form[0]
        sch['description'] = form[1]
    if p['role'] == 'in' and kind not in ('S', 'text', 'N', 'K', 'Q'):
        sch['minLength'] = 1
    return sch


def gateway_schema(units):
    """Per function: its id, family, direction and the JSON Schema of its
    named arguments (sending) or results (reader); text results keep their
    buffer bounds (local, and max where the table gives one)."""
    doc = []
    for unit, entries in units:
        for e in entries:
            props, order, bounds = {}, [], {}
            for p in c_params(e):
                if p['role'] not in ('in', 'out'):
                    continue
                props[p['name']] = value_schema(p)
                order.append(p['name'])
                b = {k: p[k] for k in ('local', 'max') if k in p}
                if b:
                    bounds[p['name']] = b
            sch = {'type': 'object', 'properties': props, 'additionalProperties': False}
            if e.send:
                sch['required'] = order
            for name in e.names:
                doc.append({'name': name, 'id': e.cmd, 'unit': unit, 'section': e.section,
                            'direction': 'send' if e.send else 'read', 'type_reader': e.keep,
                            'doc': e.doc, 'order': order, 'schema': sch, 'bounds': bounds})
    return json.dumps(doc, indent=1) + '\n'


PYTHON_HEAD = '''\
# Generated by scripts/mirtelgen.py from the command tables
# (tarvik_lib/mirtel/*.cmds): edit the tables, not this file. After changing
# a table run
#   python3 scripts/mirtelgen.py --python python/tarvik/_commands.py tarvik_lib/mirtel/*.cmds
"""Every libmirtel function as data, one JSON object per line: the same as
the build's mirtel_gen/mirtel_commands.json (id, names, unit, section,
direction, hand, keep, cxx, wire, doc, values, and c.params: the C
parameters in C order, each with its name, type and role, and for outputs
kind, required, joined, local and max where the tables give them)."""

import json

FUNCTIONS = [json.loads(_line) for _line in r"""
'''


def python_module(units):
    """The Python package's table: mirtel_commands.json as a module, one
    function per line (json.loads of a line imports much faster than the
    same data written as Python literals)."""
    lines = [json.dumps(e, separators=(',', ':')) for e in json.loads(as_json(units))]
    return PYTHON_HEAD + '\n'.join(lines) + '\n""".splitlines() if _line]\n'


def check_python(path, units):
    try:
        with open(path, encoding='utf-8') as f:
            current = f.read() == python_module(units)
    except FileNotFoundError:
        current = False
    if not current:
        sys.stderr.write('mirtelgen: %s is not current; run\n  python3 scripts/mirtelgen.py --python %s '
                         'tarvik_lib/mirtel/*.cmds\n' % (path, path))
        return 1
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--out')
    ap.add_argument('--header')
    ap.add_argument('--check')
    ap.add_argument('--python')
    ap.add_argument('--check-python')
    ap.add_argument('tables', nargs='+')
    a = ap.parse_args()
    try:
        units = load(a.tables)
        if a.check:
            return rewrite_header(a.check, units, True)
        if a.check_python:
            return check_python(a.check_python, units)
        if a.python:
            write_if_changed(a.python, python_module(units))
        if a.header:
            rewrite_header(a.header, units, False)
        if a.out:
            os.makedirs(a.out, exist_ok=True)
            for unit, entries in units:
                write_if_changed(os.path.join(a.out, 'tarvik_mirtel_%s_table.cpp' % unit), definitions(unit, entries))
            write_if_changed(os.path.join(a.out, 'mirtel_hand.h'), hand_header(units))
            write_if_changed(os.path.join(a.out, 'mirtel_ids.h'), command_ids(units))
            write_if_changed(os.path.join(a.out, 'mirtel_layouts.inc'), layouts(units))
            for name, text in {**layout_test(units), **bounds_test(units)}.items():
                write_if_changed(os.path.join(a.out, name), text)
            names = sorted(n for _, es in units for e in es for n in e.names)
            write_if_changed(os.path.join(a.out, 'mirtel_names.txt'), '\n'.join(names) + '\n')
            cxx = sorted(e.name for _, es in units for e in es if e.cxx)
            write_if_changed(os.path.join(a.out, 'mirtel_cxx_names.txt'), ''.join(n + '\n' for n in cxx))
            write_if_changed(os.path.join(a.out, 'mirtel_commands.json'), as_json(units))
            write_if_changed(os.path.join(a.out, 'mirtel_calls.inc'), calls(units))
            write_if_changed(os.path.join(a.out, 'mirtel_schema.json'), gateway_schema(units))
            write_if_changed(os.path.join(a.out, 'mirtel_commands.py'), python_module(units))
    except TableError as err:
        sys.stderr.write('mirtelgen: %s\n' % err)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())

"""The register's tables as mappings from record number to record.

Each table of a Register (``reg.articles``, ``reg.users``, ...) reads a
record with the table's read command, writes one with its insert command
and deletes one with its delete command::

    art = reg.articles[12]                    # an Article, KeyError if none
    reg.articles[13] = art._replace(nazwa='KAWA 500G')
    del reg.articles[13]
    for number, art in reg.articles.items():  # walks the register's records
        ...
    reg.articles.insert(14, art, overwrite=False)   # the flags explicitly

A record is a named tuple of the insert command's arguments (without the
record number and the overwrite flags), so a record read back writes the
same record again. Names follow mirtel.h; where the reader names an output
differently the record uses the insert command's name. Numerics are
Decimal (whole numbers: prices in the smallest unit), lists (barcodes,
discount thresholds) tuples. A table whose records come in kinds has a
class per kind (discounts: StdDiscount, ProgDiscount, PromoDiscount;
hotkeys: QuickSaleKey ... ReportKey), and writing picks the insert command
of the record's class. A record of a kind no class describes reads as the
reader's own named tuple and cannot be written back.

Iteration reads every record number of the table's range (several reads
on their way at once) and skips the numbers without a record; it stops at
the first number the register calls out of range. ``first``/``last`` of a
table give the range (a larger register: set them).
"""

import collections
import collections.abc
import decimal

from . import _values, codes, errors, functions

Field = collections.namedtuple('Field', 'name src derive decimal list default')
_KIND_DEFAULT = object()


def F(name, src=None, derive=None, decimal=False, list=False, default=_KIND_DEFAULT):  # noqa: A002
    """A record field: the insert argument ``name``, read back from the
    reader's output ``src`` (the same name when None) or computed by
    ``derive(answer)``; ``decimal`` and ``list`` convert the reader's texts."""
    return Field(name, src, derive, decimal, list, default)


class Variant:
    """One kind of record: its code in the selector, its record class and
    the insert command(s) writing it."""

    def __init__(self, cls, insert, fields, code=None, flags=None, computed=None, after=None, pick=None, fill=None):
        self.cls_name = cls
        self.code = code
        self.inserts = insert if isinstance(insert, (list, tuple)) or callable(insert) else [insert]
        self.fields = fields
        self.flags = flags or {}            # insert argument -> 'overwrite' | 'force'
        self.computed = computed or {}      # insert argument -> f(record)
        self.after = after                  # f(register, number, record) -> [Request] after the insert
        self.pick = pick                    # f(record) -> insert name, for several inserts
        self.fill = fill                    # f(record, function, argument) for arguments no field names
        self.cls = None


class TableDef:
    def __init__(self, attr, title, read, variants, delete, first, last, read_args=None, selector=None,
                 delete_flags=None, count=None, find=None):
        self.attr = attr
        self.title = title
        self.read = read
        self.read_args = read_args or {}
        self.variants = variants
        self.selector = selector
        self.delete = delete
        self.delete_flags = delete_flags or {}
        self.first, self.last = first, last
        self.count = count
        self.find = find
        self.by_cls = {}


def _typ_discount(bit_clear):
    # The reader answers one type code for two insert flags: bit 0 set for
    # an amount (else a percentage), bit 1 set for a markup (else a discount).
    return lambda r: 1 if (r.typ & bit_clear) == 0 else 0


def _article_barcodes(reg, number, rec):
    # The additional barcodes become exactly those of the record.
    out = [reg.cmd.BarcodeDelAllForPLU.post(number)]
    if rec.barcodes:
        out.append(reg.cmd.BarcodeIns.post(number, list(rec.barcodes)))
    return out


def _db_articles(reg):
    counts = reg.cmd.DBStatusGet().zaprogramowane.split('\n')
    return int(counts[0]) if counts and counts[0].isdigit() else None


def _report_hotkey_inserts():
    return [f.name for f in functions.FUNCTIONS.values()
            if f.sends and f.unit == 'hotkey' and (f.id == 3211 or 3401 <= f.id <= 3472)]


def _report_hotkey_pick(rec):
    for name in _report_hotkey_inserts():
        if functions.FUNCTIONS[name].id == rec.raport:
            return name
    raise errors.ArgumentError(errors.STATUS_INVALIDARG, argument='raport',
                               detail='no report hotkey programs report %r' % (rec.raport,))


_REPORT_RANGE = ('zakres_raportu', 'zakres')
_REPORT_UNANSWERED = ('identyfikator', 'typ_raportu', 'rodzaj_raportu', 'typ_rekordu')


def _report_hotkey_fill(rec, f, name):
    # A report key answers its range and its record selectors, not the
    # identifier or report type it was programmed with (they read back as
    # 0); the selectors fill the remaining arguments in order.
    if name in _REPORT_RANGE:
        return rec.zakres
    if name in _REPORT_UNANSWERED:
        return 0
    p = next(p for p in f.inputs if p['name'] == name)
    if p['kind'] in _values.DATE_KINDS or p['kind'] == 'text':
        return rec.data
    selectors = [q['name'] for q in f.inputs[1:] if q['name'] not in _REPORT_RANGE + _REPORT_UNANSWERED
                 and q['role'] == 'in' and q['name'] != 'czy_nadpisac'
                 and q['kind'] not in _values.DATE_KINDS and q['kind'] != 'text']
    return rec.rekord_od if selectors.index(name) == 0 else rec.rekord_do


OVERWRITE = {'czy_nadpisac': 'overwrite'}

TABLE_DEFS = [
    TableDef('articles', 'articles (PLU) with their additional barcodes', 'TRVS_PLUReadEx', [
        Variant('Article', 'TRVS_PLUIns', [
            F('nazwa'), F('barcode', 'kod_kreskowy_podstawowy'), F('cena', decimal=True),
            F('ilosc_min', 'min_stan', decimal=True), F('numer_opakowania', 'numer_opak'), F('numer_MU', 'numerMU'),
            F('numer_rabatu'), F('numer_grupy'), F('numer_VAT', 'stawka_PTU'), F('format_ilosci'),
            F('cena_sztywna', 'flaga_ceny'), F('czy_rabat', 'flaga_rabatow'), F('czy_notatnik', 'w_notatniku'),
            F('barcodes', list=True)],
            code=0, flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowy': 'force'},
            after=_article_barcodes)],
        'TRVS_PLUDel', 1, 5000, read_args={'barcode': '', 'z_kodem': 1}, selector='typ_rekordu',
        delete_flags={'czy_niezerowe': 'force', 'czy_z_zestawu': 'related'}, count=_db_articles,
        find=('barcode', {'numer_rekordu': 0})),
    TableDef('users', 'users (cashiers)', 'TRVS_UserReadExEx', [
        Variant('User', 'TRVS_UserInsExEx', [
            F('nazwa'), F('haslo'), F('karta'), F('pin'), F('uprawnienia', 'prawa'),
            F('uprawnienia_raportow', 'prawa_raporty'), F('uprawnienia_klawisze', 'prawa_klawisze'),
            F('limit_paragonu')],
            flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'})],
        'TRVS_UserDel', 1, 32, delete_flags={'czy_niezerowe': 'force'}),
    TableDef('discounts', 'discounts: standard, with thresholds, promotional M for N', 'TRVS_DiscntRead', [
        Variant('StdDiscount', 'TRVS_StdDiscntIns', [
            F('nazwa'), F('czy_rabat', derive=_typ_discount(2)), F('czy_procentowy', derive=_typ_discount(1)),
            F('wartosc', 'wartosci', decimal=True), F('czy_z_narzutami'), F('czy_z_rabatami')],
            code=0, flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'}),
        Variant('ProgDiscount', 'TRVS_ProgDiscntIns', [
            F('nazwa'), F('czy_rabat', derive=_typ_discount(2)), F('czy_procentowy', derive=_typ_discount(1)),
            F('wartosci', decimal=True, list=True), F('kwoty', 'progi', decimal=True, list=True),
            F('czy_z_narzutami'), F('czy_z_rabatami')],
            code=1, flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'},
            computed={'ilosc_progow': lambda r: len(r.wartosci)}),
        Variant('PromoDiscount', 'TRVS_PromoDiscntIns', [
            F('nazwa'), F('wartosc_sprzedawana', 'wart_M'), F('wartosc_naliczana', 'wart_N'),
            F('czy_z_narzutami'), F('czy_z_rabatami')],
            code=2, flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'})],
        'TRVS_DiscntDel', 1, 64, selector='rodzaj', delete_flags={'czy_powiazane': 'related', 'czy_niezerowe': 'force'}),
    TableDef('packagings', 'returnable packagings', 'TRVS_PackRead', [
        Variant('Packaging', 'TRVS_PackIns', [
            F('nazwa'), F('kod_kreskowy'), F('cena'), F('min_stan', 'stan_min'), F('czy_cena_sztywna', 'czy_sztywna')],
            flags={'czy_nadpisac': 'overwrite', 'czy_niezerowy': 'force'})],
        'TRVS_PackDel', 1, 255, delete_flags={'czy_powiazane': 'related', 'czy_niezerowe': 'force'}),
    TableDef('groups', 'article groups', 'TRVS_GroupReadExEx', [
        Variant('Group', 'TRVS_GroupInsExEx', [
            F('nazwa'), F('rabat'), F('cena'), F('tow_wazone', 'towary_waz'), F('id_drukarki')],
            flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'})],
        'TRVS_GroupDel', 1, 99, delete_flags={'czy_powiazane': 'related', 'czy_niezerowe': 'force'}),
    TableDef('units', 'units of measure', 'TRVS_MURead', [
        Variant('Unit', 'TRVS_MUIns', [F('nazwa'), F('skrot')], flags=OVERWRITE)],
        'TRVS_MUDel', 1, 20, delete_flags={'czy_powiazane': 'related'}),
    TableDef('payment_forms', 'payment forms', 'TRVS_PayformRead', [
        Variant('PaymentForm', 'TRVS_PayformIns', [
            F('nazwa'), F('typ_platnosci', 'typ'), F('flagi_platnosci', 'flagi'), F('skrot_waluty', 'waluta'),
            F('kurs_lub_cashback', 'kurs')],
            flags={'czy_nadpisac': 'overwrite', 'czy_nadpisac_niezerowe': 'force'})],
        'TRVS_PayformDel', 1, 16, delete_flags={'czy_niezerowe': 'force'}),
    TableDef('hotkeys', 'hotkeys, one insert command per kind of action', 'TRVS_HotkeyRead', [
        Variant('QuickSaleKey', 'TRVS_HotkeyPLUInsEx', [
            F('numer_PLU', 'PLU'), F('ilosc'), F('numer_platnosci', 'platnosc'), F('czy_wazony')],
            code=1, flags=OVERWRITE),
        Variant('DiscountKey', 'TRVS_HotkeyDiscntIns', [F('numer_rabatu', 'numer')], code=2, flags=OVERWRITE),
        Variant('PaymentFormKey', 'TRVS_HotkeyFormIns', [F('numer_platnosci', 'numer')], code=3, flags=OVERWRITE),
        Variant('PackagingKey', 'TRVS_HotkeyPackIns', [
            F('numer_opakowania', 'numer'), F('ilosc'), F('czy_wydanie', 'tryb')], code=4, flags=OVERWRITE),
        Variant('FunctionKey', 'TRVS_HotkeyFuncIns', [F('ident_funkcji', 'numer'), F('parametry', 'port')],
                code=5, flags=OVERWRITE),
        Variant('ReportSetKey', 'TRVS_HotkeyRepSetIns', [F('numer_zestawu', 'numer')], code=6, flags=OVERWRITE),
        Variant('CurrencyKey', 'TRVS_HotkeyCurrencyIns', [F('numer_platnosci', 'numer')], code=7, flags=OVERWRITE),
        Variant('ReportKey', _report_hotkey_inserts, [
            F('raport', default=0), F('zakres', default=0), F('rekord_od', default=0), F('rekord_do', default=0),
            F('data', derive=lambda r: None, default=None)],
            code=8, flags=OVERWRITE, pick=_report_hotkey_pick, fill=_report_hotkey_fill)],
        'TRVS_HotkeyDel', 1, 128, selector='typ'),
    TableDef('barcode_formats', 'barcode formats of weighed and priced articles', 'TRVS_CodeFmtRead', [
        Variant('BarcodeFormat', 'TRVS_CodeFmtIns', [F('format')], flags=OVERWRITE)],
        'TRVS_CodeFmtDel', 1, 10),
    TableDef('messages', 'operator messages for execution errors', 'TRVS_ErrMsgRead', [
        Variant('Message', 'TRVS_ErrMsgIns', [F('numer_bledu'), F('rodzaj_obslugi'), F('komunikat')])],
        'TRVS_ErrMsgDel', 1, 50),
    TableDef('auto_discounts', 'automatic (time-controlled) discounts', 'TRVS_AutoDiscntReadEx', [
        Variant('AutoDiscount', 'TRVS_AutoDiscntInsEx', [
            F('numer_rabatu'), F('rodzaj'), F('data_pocz'), F('godz_pocz', 'godz_od'), F('data_konc'),
            F('godz_konc', 'godz_do')], flags=OVERWRITE)],
        'TRVS_AutoDiscntDel', 1, 32),
    TableDef('cashout_descriptions', 'descriptions of cash taken out (the flags are not read back)',
         'TRVS_CashoutDescRead', [
             Variant('CashoutDescription', 'TRVS_CashoutDescIns', [F('nazwa'), F('flagi', derive=lambda r: 0)])],
         'TRVS_CashoutDescDel', 1, 20),
    TableDef('article_descriptions', 'article descriptions', 'TRVS_PLUDescRead', [
        Variant('ArticleDescription', 'TRVS_PLUDescIns', [F('komunikat')])],
        'TRVS_PLUDescDel', 1, 5000),
]


def _default(p):
    kind = p['kind']
    if kind in ('B', 'W', 'L', 'char'):
        return 0
    if kind in _values.DECIMAL_KINDS:
        return decimal.Decimal(0)
    if kind in _values.DATE_KINDS:
        return None
    return ''


def _make_classes():
    out = {}
    for tdef in TABLE_DEFS:
        for v in tdef.variants:
            v.inserts = v.inserts() if callable(v.inserts) else v.inserts
            first = functions.FUNCTIONS[v.inserts[0]]
            params = {p['name']: p for p in first.inputs}
            defaults = [f.default if f.default is not _KIND_DEFAULT else () if f.list else _default(params[f.name])
                        for f in v.fields]
            cls = collections.namedtuple(v.cls_name, [f.name for f in v.fields], defaults=defaults)
            cls.__doc__ = '%s: a record of the table %s (reg.%s), written by %s.\nFields: %s.' % (
                v.cls_name, tdef.title, tdef.attr, ', '.join(v.inserts), ', '.join(cls._fields))
            v.cls = cls
            tdef.by_cls[cls] = v
            out[v.cls_name] = cls
    return out


RECORDS = _make_classes()
globals().update(RECORDS)


class Table(collections.abc.MutableMapping):
    """One table of the register, as a mapping from record number to
    record (see the module's text). ``overwrite`` (True), ``force``
    (False: refuse records with non-zero totals) and ``related`` (False:
    leave records that others refer to) are the flags of ``t[n] = rec`` and
    ``del t[n]``; insert() and delete() take them per call."""

    def __init__(self, register, tdef):
        self._reg = register
        self.tdef = tdef
        self.name = tdef.attr
        self.first, self.last = tdef.first, tdef.last
        self.overwrite, self.force, self.related = True, False, False
        self.window = 32   # reads on their way at once while walking
        self._read = functions.COMMANDS[tdef.read[5:]]
        self._read_key = self._read.sender.inputs[0]['name']

    def __repr__(self):
        return '<tarvik table %s: %s>' % (self.name, self.tdef.title)

    # ---- reading ---------------------------------------------------------------------------

    def _post_read(self, number):
        args = dict(self.tdef.read_args)
        args[self._read_key] = number
        return self._reg.post(self._read, **args)

    def _record(self, answer):
        tdef = self.tdef
        if tdef.selector is None:
            v = tdef.variants[0]
        else:
            code = getattr(answer, tdef.selector)
            v = next((x for x in tdef.variants if x.code == code), None)
            if v is None:
                return answer
        vals = []
        for f in v.fields:
            if f.derive is not None:
                val = f.derive(answer)
            else:
                val = getattr(answer, f.src or f.name)
            vals.append(_column(val, f))
        return v.cls._make(vals)

    def read(self, number, timeout=None):
        """The record ``number``; KeyError when the register has none
        there (execution error 104, or 103 for a number out of range)."""
        try:
            return self._record(self._post_read(number).result(timeout))
        except errors.ExecutionError as e:
            if e.execution_error in (codes.EXEC_NOT_FOUND, 103):
                raise KeyError(number) from None
            raise

    __getitem__ = read

    def find(self, barcode):
        """The record number and record of the article with this barcode
        (primary or additional); KeyError when none has it."""
        if not self.tdef.find:
            raise TypeError('%s cannot be searched by barcode' % self.name)
        arg, fixed = self.tdef.find
        args = dict(self.tdef.read_args)
        args.update(fixed)
        args[arg] = barcode
        try:
            answer = self._reg.post(self._read, **args).result()
        except errors.ExecutionError as e:
            if e.execution_error == codes.EXEC_NOT_FOUND:
                raise KeyError(barcode) from None
            raise
        return answer[0], self._record(answer)

    def items(self):
        """(number, record) of every record, walking the table's range with
        several reads on their way at once."""
        return _Walk(self)

    def keys(self):
        return collections.abc.KeysView(self)

    def values(self):
        return collections.abc.ValuesView(self)

    def __iter__(self):
        for n, _ in self.items():
            yield n

    def __len__(self):
        return sum(1 for _ in self.items())

    def __contains__(self, number):
        try:
            self.read(number)
        except KeyError:
            return False
        return True

    # ---- writing -----------------------------------------------------------------------

    def insert(self, number, record, *, overwrite=None, force=None, timeout=None):
        """Writes ``record`` as number ``number``. ``overwrite`` an existing
        record (default: the table's ``overwrite``), ``force`` one with
        non-zero totals. Raises as Request.result (ExecutionError 105: the
        record exists and overwrite is off)."""
        for r in self.post_insert(number, record, overwrite=overwrite, force=force):
            r.result(timeout)

    __setitem__ = insert

    def post_insert(self, number, record, *, overwrite=None, force=None):
        """insert() without waiting: the Requests, in order (the insert, then
        the steps after it, such as an article's additional barcodes)."""
        v = self.tdef.by_cls.get(type(record))
        if v is None:
            raise TypeError('%s takes records of %s, not %s' % (
                self.name, ', '.join(x.cls_name for x in self.tdef.variants), type(record).__name__))
        flags = {'overwrite': self.overwrite if overwrite is None else overwrite,
                 'force': self.force if force is None else force}
        name = v.pick(record) if v.pick else v.inserts[0]
        f = functions.FUNCTIONS[name]
        values = record._asdict()
        args = []
        for p in f.inputs:
            n = p['name']
            if p is f.inputs[0]:
                args.append(number)
            elif n in v.flags:
                args.append(1 if flags[v.flags[n]] else 0)
            elif n in v.computed:
                args.append(v.computed[n](record))
            elif n in values:
                args.append(values[n])
            elif v.fill:
                args.append(v.fill(record, f, n))
            else:
                raise TypeError('%s: no value for %s' % (name, n))
        out = [self._reg.post(name, *args)]
        if v.after:
            out += v.after(self._reg, number, record)
        return out

    def delete(self, number, *, force=None, related=None, timeout=None):
        """Deletes record ``number``: also one with non-zero totals when
        ``force``, and one that other records refer to when ``related``
        (those follow as the register's rules say). KeyError when there is
        none."""
        flags = {'force': self.force if force is None else force,
                 'related': self.related if related is None else related}
        f = functions.FUNCTIONS[self.tdef.delete]
        args = [number] + [1 if flags[self.tdef.delete_flags[p['name']]] else 0 for p in f.inputs[1:]]
        try:
            self._reg.post(f.name, *args).result(timeout)
        except errors.ExecutionError as e:
            if e.execution_error == codes.EXEC_NOT_FOUND:
                raise KeyError(number) from None
            raise

    __delitem__ = delete


class _Walk(collections.abc.ItemsView):
    def __init__(self, table):
        super().__init__(table)
        self._table = table

    def __iter__(self):
        t = self._table
        expected = t.tdef.count(t._reg) if t.tdef.count else None
        if expected == 0:
            return
        found = 0
        pending = collections.deque()
        n = t.first
        try:
            while n <= t.last or pending:
                while n <= t.last and len(pending) < t.window:
                    pending.append((n, t._post_read(n)))
                    n += 1
                number, req = pending.popleft()
                try:
                    answer = req.result()
                except errors.ExecutionError as e:
                    if e.execution_error == codes.EXEC_NOT_FOUND:
                        continue
                    if e.execution_error == 103:  # beyond the register's range
                        break
                    raise
                yield number, t._record(answer)
                found += 1
                if expected is not None and found >= expected:
                    break
        finally:
            # Reads still on their way are let finish, not cancelled: a
            # cancel of a request the register has sends it a stop.
            for _, req in pending:
                req.wait()


def _column(val, f):
    if f.list:
        if isinstance(val, str):
            val = tuple(val.split('\n')) if val else ()
        if f.decimal:
            val = tuple(_values.to_decimal(x) if isinstance(x, str) else x for x in val)
        return val
    if f.decimal and isinstance(val, str):
        return _values.to_decimal(val)
    return val


def attach(register):
    for tdef in TABLE_DEFS:
        setattr(register, tdef.attr, Table(register, tdef))

"""The package's view of libmirtel comes from the command tables: it is
current, a new table line needs no edit, and every function is callable by
name with named results."""

import datetime
import decimal
import importlib.util
import json
import os
import types

import pytest

import tarvik
from tarvik import _commands, functions

from conftest import SOURCE_DIR

TABLE_DIR = os.path.join(SOURCE_DIR, 'tarvik_lib', 'mirtel')


def _generator():
    loader_spec = importlib.util.spec_from_file_location('mirtelgen', os.path.join(SOURCE_DIR, 'scripts', 'mirtelgen.py'))
    gen = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(gen)
    return gen


def _tables():
    return sorted(os.path.join(TABLE_DIR, f) for f in os.listdir(TABLE_DIR) if f.endswith('.cmds'))


def test_generated_table_is_current():
    gen = _generator()
    text = gen.python_module(gen.load(_tables()))
    with open(os.path.join(SOURCE_DIR, 'python', 'tarvik', '_commands.py'), encoding='utf-8') as f:
        assert f.read() == text, ('python/tarvik/_commands.py is stale: python3 scripts/mirtelgen.py --python '
                                  'python/tarvik/_commands.py tarvik_lib/mirtel/*.cmds')
    # The copy this interpreter imported is the build's table as well.
    built = os.environ.get('TARVIK_MIRTEL_JSON')
    if built:
        with open(built, encoding='utf-8') as f:
            assert _commands.FUNCTIONS == json.load(f)


def test_a_new_table_line_appears_without_an_edit(tmp_path):
    extra = tmp_path / 'tarvik_mirtel_zzextra.cmds'
    extra.write_text('== Something new\n-- Reads the new thing.\n'
                     '4321 TRVS_NewThingGet numer:V czy_pelny:B\n'
                     '4321 TRVG_NewThingGet numer:V nazwa:S256 cena:N data:date\n', encoding='utf-8')
    gen = _generator()
    module = types.ModuleType('generated')
    exec(gen.python_module(gen.load(_tables() + [str(extra)])), module.__dict__)
    fns, cmds = functions._build(module.FUNCTIONS)
    cmd = cmds['NewThingGet']
    assert cmd.sender.id == 4321 and cmd.reader is fns['TRVG_NewThingGet']
    assert list(cmd.signature.parameters) == ['numer', 'czy_pelny']
    assert cmd.reader.result_type._fields == ('numer', 'nazwa', 'cena', 'data')
    assert [p['type'] for p in cmd.sender.params] == ['TARVIK_HANDLE', 'TARVIK_HANDLE*', 'unsigned short',
                                                      'unsigned char', 'unsigned char']
    assert 'NewThingGet(numer, czy_pelny)' in cmd.describe()
    assert cmd.reader.outputs[1]['local'] == 256
    assert len(fns) == len(functions.FUNCTIONS) + 2


def test_output_buffers_follow_the_tables():
    from tarvik._values import FRAME_MAX, output_size
    assert output_size({'local': 64}) == 64
    assert output_size({'local': 64, 'max': 10}) == 11       # the bound a table states wins
    assert output_size({'kind': 'text'}) == FRAME_MAX
    for f in functions.FUNCTIONS.values():
        for p in f.outputs:
            if p['type'] == 'char*':
                assert output_size(p) >= (p.get('max', 0) + 1 if p.get('max') is not None else p.get('local', 1))


# The simulator's sample records (sim/README.md), by command family.
_NAMES = {'plu': 'CHLEB', 'user': 'ANNA', 'discnt': 'RABAT STALY KLIENT', 'pack': 'SKRZYNKA', 'group': 'PIECZYWO',
          'mu': 'SZTUKA', 'payform': 'GOTOWKA'}
_BARCODES = {'pack': '5900000000109'}
_NUMBERS = {'discnt': 4}


def _sample(p, f=None):
    kind, name = p['kind'], p['name']
    unit = f.unit if f else None
    if 'ipv4' in name or kind == 'ip':
        return '10.0.0.1'
    if 'portcfg' in name or kind == 'port':
        return '9600,8,N,1,N'
    if name in ('date_time', 'data_czas'):
        return datetime.datetime(2009, 3, 5, 10, 30)
    if kind == 'date' or name.startswith('data') or name == 'date':
        return datetime.date(2009, 3, 5)
    if kind in ('datetime', 'timedate', 'datetimemin'):
        return datetime.datetime(2009, 3, 5, 10, 30)
    if kind in ('time', 'hm'):
        return datetime.time(10, 30)
    if kind in ('N', 'K', 'Q'):
        return decimal.Decimal(1)
    if kind == 'char':
        return 'A'
    if name == 'kod_kreskowy' or name == 'barcode':
        return _BARCODES.get(unit, '5900000000017')
    if kind in ('S', 'text'):
        return _NAMES.get(unit, '1') if name in ('nazwa', 'nazwa_pocz') else '1'
    if name in ('numer_rekordu', 'numer') and p is f.inputs[0]:
        return _NUMBERS.get(unit, 1)
    return 1


def _typed_candidates(sender):
    """Arguments that bring records of every type: the journal read from
    its start, the fiscal memory's records, hotkeys 1 to 18."""
    if sender.name == 'TRVS_SaleRecGet':
        return [[1]] + [[0]] * 17
    if sender.name == 'TRVS_FiscMemRead':
        return [[n] for n in range(1, 9)]
    if sender.name == 'TRVS_HotkeyRead':
        return [[n] for n in range(1, 19)]
    return [[_sample(p, sender) for p in sender.inputs]]


def _program_hotkeys(reg):
    # Keys 11 to 17 of the kinds the sample register lacks.
    reg.cmd.HotkeyDiscntIns(11, 4, 1)
    reg.cmd.HotkeyFormIns(12, 1, 1)
    reg.cmd.HotkeyPackIns(13, 1, 2, 1, 1)
    reg.cmd.HotkeyFuncIns(14, 3, 7, 1)
    reg.cmd.HotkeyRepSetIns(15, 1, 1)
    reg.cmd.HotkeyCurrencyIns(16, 2, 1)
    reg.cmd.HotkeyPLUInsEx(17, 1, 2, 1, 1, 0)


def test_every_function_is_callable_by_name(make_sim):
    """Every TRVS_ function is sent with sample values, and every reader
    reads the answer of its command, returning its outputs by name."""
    sim = make_sim('--busy-ms', '0')
    table = json.load(open(os.environ['TARVIK_MIRTEL_JSON'])) if os.environ.get('TARVIK_MIRTEL_JSON') \
        else _commands.FUNCTIONS
    names = [n for e in table for n in e['names']]
    assert sorted(names) == sorted(functions.FUNCTIONS)
    for e in table:
        for n in e['names']:
            f = functions.FUNCTIONS[n]
            assert [(p['name'], p['type']) for p in f.params] == [(p['name'], p['type']) for p in e['c']['params']]
    with tarvik.connect(sim.url, timeout=10) as reg:
        # Readers first, while the simulator holds its sample records: each
        # reads the answer of a sender of its command.
        _program_hotkeys(reg)
        readers = [f for f in functions.FUNCTIONS.values() if not f.sends]
        read_ok, missed = 0, []
        for f in readers:
            out = None
            for sender in (s for s in functions.FUNCTIONS.values() if s.sends and s.id == f.id):
                typemap = tarvik.codes.TYPE_MAPS.get(sender.name)
                for args in _typed_candidates(sender):
                    r = reg.post(sender.name, *args)
                    try:
                        if typemap and f.name != typemap.type_reader:
                            r.read(typemap.type_reader)   # the type first: the body's reader goes on after it
                        out = r.read(f.name)
                        break
                    except (tarvik.RegisterError, tarvik.AnswerError):
                        continue   # another layout of the command (a v2_ or XEL_ reader, another type)
                    finally:
                        r.destroy()
                if out is not None:
                    break
            if out is None:
                missed.append(f.name)
                continue
            assert type(out).__name__ == f.short
            assert out._fields == tuple(p['name'] for p in f.outputs)
            read_ok += 1
        # The rest read layouts the simulator does not answer (another
        # firmware's variant of a command, the card event's reader).
        assert read_ok >= 0.9 * len(readers), 'only %d of %d readers read an answer; not: %s' % (
            read_ok, len(readers), ' '.join(missed))
        # Then every sender (6 would drop the connection).
        for f in functions.FUNCTIONS.values():
            if not f.sends or f.id == 6:
                continue
            try:
                r = reg.post(f.name, *[_sample(p, f) for p in f.inputs])
            except tarvik.ArgumentError as e:
                pytest.fail('%s refused its sample value: %s' % (f.name, e))
            try:
                r.wait()
                status = r.status
            finally:
                r.destroy()
            assert status == 0 or status & 0xFFFF0000 in (0x430000, 0x440000), (f.name, hex(status))

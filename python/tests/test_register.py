"""A register over each transport, values both ways, the journal, the
fiscal memory, reports, events and the manual."""

import datetime
import os
import pydoc
import subprocess
import sys
import threading
import time
from decimal import Decimal

import pytest

import tarvik
from tarvik import _native



def test_addresses():
    p = tarvik.parse_url
    assert p('tcp://10.1.2.3:6001') == (_native.DEVICE_ETHER, {_native.PARAM_IPADDRESS: '10.1.2.3',
                                                               _native.PARAM_IPPORT: '6001'}, False)
    assert p('tcp://till')[1][_native.PARAM_IPPORT] == '1000'
    assert p('serial:///dev/ttyUSB0')[1] == {_native.PARAM_COMPARAMS: '/dev/ttyUSB0'}
    # Missing fields before a given one take the library's defaults.
    assert p('serial:///dev/ttyS1?baud=19200&parity=E')[1][_native.PARAM_COMPARAMS] == '/dev/ttyS1,19200,8,E'
    assert p('usb://A1B2C3')[:2] == (_native.DEVICE_USB, {_native.PARAM_SERIALNO: 'A1B2C3'})
    dtype, params, modem = p('modem:///dev/ttyS0?number=123456&init=ATZ')
    assert modem and params[_native.PARAM_MODEMCALL] == 'ATDT123456' and params[_native.PARAM_MODEMMODE] == 1
    for bad in ('http://x', 'tcp://', 'modem:///dev/ttyS0', 'serial://', 'tcp://h:99999'):
        with pytest.raises(ValueError):
            p(bad)


def test_serial_and_modem_on_a_pty(make_sim):
    sim = make_sim('--no-tcp', '--pty')
    with tarvik.connect('serial://%s?baud=9600&handshake=N' % sim.pty) as reg:
        assert reg.vat_rates()['A'] == 2300
    # Connecting through a modem dials; a call that fails is an OpenError
    # with the modem's status. (A call that succeeds is not tried here:
    # hanging up on a pty, which has no DTR line, takes the library 20 s.)
    sim = make_sim('--no-tcp', '--modem', '--modem-dial-answer', 'nocarrier')
    with pytest.raises(tarvik.OpenError) as e:
        tarvik.connect('modem://%s?baud=9600&number=123' % sim.pty)
    assert e.value.status == 105 and 'ATDT123' in str(e.value)


def test_clock_and_typed_values(reg):
    when = datetime.datetime(2011, 6, 30, 23, 59, 58)
    reg.set_clock(when)
    got = reg.clock()
    assert when <= got < when + datetime.timedelta(seconds=30)
    # Numerics are whole numbers: a Decimal with cents is refused before
    # anything is sent; Decimal("350.00") is 350.
    with pytest.raises(tarvik.ArgumentError) as e:
        reg.cmd.PluPriceUpdate(1, Decimal('3.505'))
    assert e.value.argument == 'cena' and e.value.outcome == 'not done'
    reg.cmd.PluPriceUpdate(2, Decimal('279.00'))
    assert reg.articles[2].cena == Decimal(279)
    # Joined lists come as tuples, dates as datetime objects.
    daily = next(r for r in reg.fiscal_memory() if type(r).__name__ == 'DailyReport')
    assert isinstance(daily.data, datetime.datetime) and len(daily.totalizeryAG) == 7
    assert all(isinstance(v, Decimal) for v in daily.totalizeryAG)


def test_character_set(sim, monkeypatch):
    name = 'ŻÓŁTA ŁĄKA ĆMA'
    with tarvik.connect(sim.url) as reg:
        assert reg.charset == 'CP1250'
        reg.units[7] = tarvik.Unit(nazwa=name, skrot='źdźbło')
        assert reg.units[7] == tarvik.Unit(name, 'źdźbło')
        # 63 characters are 63 of the register's bytes (126 in UTF-8: too
        # many for the reader's 64-byte buffer).
        reg.units[8] = tarvik.Unit(nazwa='Ł' * 63, skrot='x')
        assert reg.units[8].nazwa == 'Ł' * 63
        with pytest.raises(tarvik.ArgumentError) as e:
            reg.units[9] = tarvik.Unit(nazwa='KAWA \u2615', skrot='x')
        assert e.value.argument == 'nazwa' and 'CP1250' in str(e.value)
    # The register holds the CP1250 bytes: read through another set they
    # are those bytes.
    with tarvik.connect(sim.url, charset='ISO-8859-1') as raw:
        assert raw.units[7].nazwa.encode('ISO-8859-1') == name.encode('cp1250')
    monkeypatch.setenv('TARVIK_CHARSET', 'ISO-8859-2')
    with tarvik.connect(sim.url) as reg:
        assert reg.charset == 'ISO-8859-2' and reg.units[7].nazwa != name
    with pytest.raises(ValueError):
        tarvik.connect(sim.url, charset='NO-SUCH-SET')


def test_journal(reg):
    recs = list(reg.journal())
    assert len(recs) == 18
    assert [r.nastepny for r in recs] == list(range(17, -1, -1))
    kinds = {type(r).__name__ for r in recs}
    assert {'DailyFiscalRecord', 'FinishedReceipt', 'CancelledReceipt', 'ArticleLine', 'SetLine', 'Payment',
            'CurrencyPayment', 'InventoryLine'} <= kinds
    receipt = next(r for r in recs if type(r).__name__ == 'FinishedReceipt')
    assert receipt.typ == 2 and isinstance(receipt.wartosc, Decimal) and isinstance(receipt.data, datetime.datetime)
    # From the start again, the same first record.
    assert next(reg.journal()) == recs[0]


def test_reports(make_sim, tmp_path):
    paper = tmp_path / 'paper.txt'
    sim = make_sim('--busy-ms', '400', paper=paper)
    with tarvik.connect(sim.url, timeout=5) as reg:
        before = list(reg.fiscal_memory())
        t0 = time.monotonic()
        report = reg.cmd.RepFskDaily.post(1, datetime.datetime(2012, 1, 2, 21, 0))
        # The register prints for a while; the next request is held back
        # until it is done, and both come back.
        assert reg.cmd.TimeGet().time is not None
        assert report.result() == ()
        assert time.monotonic() - t0 >= 0.35
        reg.cmd.RepPTU()
        after = list(reg.fiscal_memory())
    assert len(after) == len(before) + 1
    last = after[-1]
    assert type(last).__name__ == 'DailyReport' and last.data == datetime.datetime(2012, 1, 2, 21, 0)
    text = paper.read_text(encoding='utf-8', errors='replace')
    assert 'RAPORT DOBOWY FISKALNY' in text and 'RAPORT STAWEK PTU' in text


def test_events(make_sim):
    sim = make_sim('--card-every-ms', '50')
    with tarvik.connect(sim.url) as reg:
        evs = []
        for ev in reg.events(timeout=2):
            evs.append(ev)
            if len(evs) == 3:
                break
        assert all(isinstance(e, tarvik.CardEvent) and e.number for e in evs)
        assert [e.token for e in evs] == sorted(e.token for e in evs)
        # A thread of the package calls the function ...
        got, ready = [], threading.Event()

        def on_card(ev, where=got):
            where.append((ev, threading.current_thread().name))
            if len(where) >= 2:
                ready.set()

        reg.on_event(on_card)
        assert ready.wait(5)
        assert got[0][1] == 'tarvik-events'
        # ... or, when asked, the library's receiver thread.
        got2, ready2 = [], threading.Event()
        reg.on_event(lambda ev: (got2.append(threading.current_thread().name), ready2.set()), receiver_thread=True)
        assert ready2.wait(5)
        assert got2[0] not in ('tarvik-events', threading.main_thread().name)
        reg.on_event(None)
        assert next(reg.events(timeout=2)).number


def test_the_manual_reads_well(reg):
    text = pydoc.render_doc(tarvik, renderer=pydoc.plaintext)
    for words in ('tarvik.connect', 'OutcomeUnknown', 'TARVIK_CHARSET', 'reg.cmd.NAME', 'LD_LIBRARY_PATH'):
        assert words in text
    doc = pydoc.render_doc(reg.cmd.PLUReadEx, renderer=pydoc.plaintext)
    assert 'PLUReadEx(numer_rekordu, barcode, z_kodem)' in doc
    assert 'TARVIK_STATUS TRVG_PLUReadEx(TARVIK_HANDLE phRequest, unsigned short* numer_rekordu' in doc
    assert 'kod_kreskowy_podstawowy' in doc
    assert 'PLUReadEx' in dir(reg.cmd) and len(dir(reg.cmd)) == len(tarvik.functions.COMMANDS)
    assert reg.cmd.PLUReadEx.post.__doc__.startswith('Sends PLUReadEx without waiting')


def test_libraries_found_by_folder_or_loader(tmp_path):
    """TARVIK_LIBDIR names the folder; without the libraries, import still
    works and connecting says what is missing."""
    env = dict(os.environ, TARVIK_LIBDIR=str(tmp_path))
    code = ('import tarvik\ntry:\n    tarvik.connect("tcp://127.0.0.1:1")\n'
            'except tarvik.LibraryNotFound as e:\n    print("missing", e)\n')
    out = subprocess.run([sys.executable, '-c', code], env=env, capture_output=True, text=True)
    assert out.stdout.startswith('missing') and str(tmp_path) in out.stdout, out.stderr
    folder = _native.libs().folder
    if folder:
        # The same libraries through the dynamic loader's search path.
        env = dict(os.environ, LD_LIBRARY_PATH=folder)
        env.pop('TARVIK_LIBDIR', None)
        code = 'import tarvik._native as n; n._build_tree = lambda name: None; l = n.libs(); print(l.folder, ' \
               'l.TRV_GetLibraryVersion())'
        out = subprocess.run([sys.executable, '-c', code], env=env, capture_output=True, text=True)
        assert out.stdout.split() == ['None', str(tarvik.library_version()[0])], out.stderr


def test_threads_share_a_register(reg):
    errors, results = [], []

    def work(n):
        try:
            for i in range(100):
                results.append(reg.users[1 + (n + i) % 2].nazwa)
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors and len(results) == 400 and set(results) == {'ANNA', 'KIEROWNIK'}


def test_pip_install_editable(tmp_path):
    """pip install -e python/ in a virtual environment, offline (no build
    isolation is needed: setup.py uses the installed setuptools)."""
    import shutil
    from conftest import SOURCE_DIR
    src = tmp_path / 'src'
    shutil.copytree(os.path.join(SOURCE_DIR, 'python'), src, ignore=shutil.ignore_patterns('tests', '__pycache__',
                                                                                          '*.egg-info'))
    env_dir = tmp_path / 'env'
    # Without pip of its own: Debian's pip (python3-pip) runs inside it.
    made = subprocess.run([sys.executable, '-m', 'venv', '--system-site-packages', '--without-pip', str(env_dir)],
                          capture_output=True, text=True)
    if made.returncode:
        pytest.skip('no venv here: %s' % made.stderr.strip()[-200:])
    py = str(env_dir / 'bin' / 'python')
    env = {k: v for k, v in os.environ.items() if k != 'PYTHONPATH'}
    if subprocess.run([py, '-m', 'pip', '--version'], capture_output=True, env=env).returncode:
        pytest.skip('no pip (python3-pip) here')
    env.update(PIP_NO_INDEX='1', PIP_DISABLE_PIP_VERSION_CHECK='1')
    out = subprocess.run([py, '-m', 'pip', 'install', '-q', '-e', str(src)], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stdout + out.stderr
    code = 'import tarvik; print(tarvik.__file__); print(len(tarvik.functions.FUNCTIONS))'
    out = subprocess.run([py, '-c', code], capture_output=True, text=True, env=env, cwd=str(tmp_path))
    assert out.stdout.split() == [str(src / 'tarvik' / '__init__.py'), str(len(tarvik.functions.FUNCTIONS))], \
        out.stderr

"""Every exception class, and the three outcomes: done, not done (safe to
retry), unknown (never retried by itself)."""

import datetime
import socket
import threading
import time

import pytest

import tarvik


def test_the_register_refuses(reg):
    with pytest.raises(tarvik.ExecutionError) as e:
        reg.cmd.PLURead(4999, 0)
    err = e.value
    assert isinstance(err, tarvik.RegisterError) and err.outcome == 'done'
    assert (err.command, err.transmission_error, err.execution_error) == (2110, 0, 104)
    assert err.status == 0x430000 + 104 and err.text.endswith('(104)')
    assert err.request.state == 'destroyed'   # nothing more to come: released
    with pytest.raises(KeyError):
        reg.articles[4999]


def test_transmission_error(make_sim):
    sim = make_sim('--trans-error-rate', '1', '--trans-error-code', '3001')
    with tarvik.connect(sim.url) as reg:
        with pytest.raises(tarvik.TransmissionError) as e:
            reg.cmd.TimeGet()
    assert e.value.transmission_error == 3001 and e.value.status == 0x440000 + 3001


def test_argument_errors_name_the_argument(reg):
    sent = reg.queue_stats()[0]
    cases = [
        (lambda: reg.cmd.PLURead(70000, 0), 'numer_rekordu', 'outside'),        # the package: range
        (lambda: reg.cmd.PLURead('12', 0), 'numer_rekordu', 'integer'),         # the package: type
        (lambda: reg.cmd.DateTimeSet('2009-02-30 10:00:00'), 'date_time', None),  # libmirtel: no such date
        (lambda: reg.cmd.UserInsExEx(5, 'ANNA\u20ac\u2603', '1', '', '1', 1, 1, 1, 0, 1, 0), 'nazwa', 'CP1250'),
        (lambda: reg.post('PLURead', 1, 0, tryb=3), 'tryb', None),
    ]
    for call, name, words in cases:
        with pytest.raises(tarvik.ArgumentError) as e:
            call()
        assert e.value.argument == name and e.value.outcome == 'not done', e.value
        assert isinstance(e.value, ValueError)
        if words:
            assert words in str(e.value)
    assert reg.queue_stats()[0] == sent   # nothing went out
    with pytest.raises(TypeError):
        reg.cmd.PLURead(1)                     # a missing argument, as in Python
    with pytest.raises(TypeError):
        reg.cmd.PLURead(1, 0, colour=3)


def test_polish_texts(sim):
    with tarvik.connect(sim.url, lang='pl') as reg:
        with pytest.raises(tarvik.ExecutionError) as e:
            reg.cmd.PLURead(4999, 0)
    english = tarvik.status_text(0x430000, 'en')
    assert e.value.text != english + ' (104)' and e.value.text.endswith('(104)')
    assert tarvik.status_text(0x10006, 'pl') != tarvik.status_text(0x10006, 'en')


def test_open_error():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    port = s.getsockname()[1]
    s.close()   # nobody listens there now
    with pytest.raises(tarvik.OpenError) as e:
        tarvik.connect('tcp://127.0.0.1:%d' % port)
    assert isinstance(e.value, ConnectionError) and e.value.status == 60


def test_busy_register_not_done_and_cancelled(make_sim):
    """Behind a long report the next requests stay queued: a wait that runs
    out cancels such a request (not done), as does cancel()."""
    sim = make_sim('--busy-ms', '2000')
    with tarvik.connect(sim.url, timeout=5) as reg:
        report = reg.cmd.RepPTU.post()
        time.sleep(0.3)
        late = reg.cmd.TimeGet.post()
        with pytest.raises(tarvik.NotDone) as e:
            late.result(timeout=0.3)
        assert e.value.outcome == 'not done' and not isinstance(e.value, tarvik.Cancelled)
        assert e.value.status == 0x10003 and e.value.request is late
        other = reg.cmd.DateGet.post()
        assert other.cancel() is True and other.cancelled()
        with pytest.raises(tarvik.Cancelled):
            other.result()
        assert report.result() == ()
        sent = reg.queue_stats()[0]
        assert reg.cmd.TimeGet().time           # the register is free again
        assert reg.queue_stats()[0] == sent + 1  # neither cancelled request ever went out


def test_late_answer_is_unknown_then_waited_for(make_sim):
    sim = make_sim('--answer-delay-ms', '1500')
    with tarvik.connect(sim.url) as reg:
        req = reg.cmd.PLUIns.post(300, 'SPOZNIONY', '', 100, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0)
        with pytest.raises(tarvik.OutcomeUnknown) as e:
            req.result(timeout=0.3)
        err = e.value
        assert err.state in ('sent', 'accepted') and err.outcome == 'unknown' and err.request is req
        assert err.request.arguments['nazwa'] == 'SPOZNIONY'   # what to read back to settle it
        assert err.request.result(timeout=5) == ()               # wait once more: done
        assert reg.articles[300].nazwa == 'SPOZNIONY'


def test_lost_connection_is_unknown(make_sim):
    sim = make_sim('--answer-delay-ms', '3000')
    reg = tarvik.connect(sim.url, timeout=5)
    try:
        req = reg.cmd.PLUIns.post(301, 'ZAGUBIONY', '', 100, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0)
        for _ in range(100):
            if req.state == 'accepted':
                break
            time.sleep(0.02)
        sim.kill()
        with pytest.raises(tarvik.OutcomeUnknown) as e:
            req.result()
        assert e.value.status == 0x1000b and e.value.state == 'error'
        assert 'unknown' in tarvik.status_text(0x1000b)
        with pytest.raises(tarvik.OutcomeUnknown):
            req.result()   # the same answer again: never retried by itself
    finally:
        reg.close()


def test_destroyed_request(make_sim):
    sim = make_sim('--answer-delay-ms', '1000')
    with tarvik.connect(sim.url) as reg:
        req = reg.cmd.TimeGet.post()
        req.destroy()
        assert req.state == 'destroyed' and req.done()
        with pytest.raises(tarvik.InvalidHandle):
            req.result()
        # Destroyed by another thread while this one waits on it.
        req = reg.cmd.TimeGet.post()
        got = []
        waiter = threading.Thread(target=lambda: got.append(req.exception(timeout=5)))
        waiter.start()
        time.sleep(0.2)
        req.destroy()
        waiter.join()
        assert isinstance(got[0], tarvik.InvalidHandle)
        # A request read to its end is gone from the library too.
        req = reg.cmd.DateGet.post()
        assert isinstance(req.result(timeout=5).data, datetime.date)
        assert req.state == 'destroyed' and req.result() == req.result()
    with pytest.raises(tarvik.InvalidHandle):
        reg.cmd.TimeGet()     # the register is closed


def test_answer_read_as_another_command(reg):
    req = reg.cmd.DateGet.post()
    with pytest.raises(tarvik.AnswerError) as e:
        req.read('TRVG_TimeGet')
    assert e.value.status == 0x10005 and e.value.outcome == 'done'
    assert isinstance(req.read('DateGet').data, datetime.date)   # read again, as its own


def test_every_class_is_a_tarvik_error():
    for cls in (tarvik.ArgumentError, tarvik.RegisterError, tarvik.ExecutionError, tarvik.TransmissionError,
                tarvik.NotDone, tarvik.Cancelled, tarvik.OutcomeUnknown, tarvik.AnswerError, tarvik.InvalidHandle,
                tarvik.OpenError):
        assert issubclass(cls, tarvik.TarvikError)


def test_pipelined_inserts(reg):
    """10,000 article inserts on their way together (far more than the
    library's output queue holds: posting waits for room), then their
    answers."""
    t0 = time.monotonic()
    reqs = [reg.cmd.PLUIns.post(1000 + i % 2000, 'TOWAR %d' % i, '', 100 + i, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0)
            for i in range(10000)]
    assert all(r.result() == () for r in reqs)
    elapsed = time.monotonic() - t0
    # Each record holds its last insert.
    assert reg.articles[1000].nazwa == 'TOWAR 8000' and reg.articles[2999].cena == 100 + 9999
    print('\n10,000 pipelined inserts: %.2f s, %.0f per second' % (elapsed, 10000 / elapsed))

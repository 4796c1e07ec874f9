#!/usr/bin/env python3
"""A session at the register from Python, as demo.c holds it in C: connect,
read and set the clock, program articles and read them back, print a report
(the register stays busy meanwhile), read the sale journal, take card
events, and see how a failure reads.

    demo.py URL            e.g. tcp://127.0.0.1:6000
    demo.py URL --bench N  also time N round trips and N pipelined requests

From the build tree: PYTHONPATH=build/python python3 examples/demo.py URL
"""

import argparse
import datetime
import time
from decimal import Decimal

import tarvik


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('url')
    ap.add_argument('--bench', type=int, metavar='N', help='time N round trips and N pipelined requests')
    ap.add_argument('--lang', default='en', help='language of status texts (en, pl)')
    a = ap.parse_args()

    print('libtarvik 0x%08X, libmirtel 0x%08X' % tarvik.library_version())
    with tarvik.connect(a.url, timeout=5.0, lang=a.lang) as reg:
        print('Connected to', a.url)

        # The clock: read, set, read again.
        print('Register clock:', reg.clock())
        reg.set_clock(datetime.datetime.now().replace(microsecond=0))
        print('Register clock now:', reg.clock(), '(the library waited for the register to store it)')

        # Articles: a table is a mapping from record number to record.
        reg.articles[101] = tarvik.Article(nazwa='KAWA ZIARNISTA 1KG', barcode='5901234123457', cena=Decimal(4999),
                                           ilosc_min=Decimal(5), numer_MU=1, numer_grupy=2, czy_rabat=1,
                                           barcodes=('2000000001012', '2000000001029'))
        art = reg.articles[101]
        print('Article 101: %s, barcode %s, price %s, more barcodes: %s' % (
            art.nazwa, art.barcode, art.cena, ', '.join(art.barcodes)))
        number, found = reg.articles.find('2000000001029')
        print('Barcode 2000000001029 is article %d, %s' % (number, found.nazwa))
        print('Articles on the register:', ', '.join('%d %s' % (n, r.nazwa) for n, r in reg.articles.items()))

        # A printed report: the register is busy printing, and the library
        # holds the next request back until it is done.
        t0 = time.monotonic()
        report = reg.cmd.RepPTU.post()
        now = reg.cmd.TimeGet().time
        print('VAT report started; the next request (read the clock: %s) waited %.0f ms for the printer' % (
            now, (time.monotonic() - t0) * 1000))
        report.result()

        # The sale journal, typed records.
        print('Sale journal:')
        for rec in reg.journal():
            if type(rec).__name__ == 'FinishedReceipt':
                print('  receipt %d of %s by %s: %s' % (rec.numer, rec.data, rec.kasjer, rec.wartosc))
            else:
                print('  %s (%d more after it)' % (type(rec).__name__, rec.nastepny))

        # Card events wait in the library's queue until taken here.
        for ev in reg.events(timeout=3):
            print('Card event: number %s, type %d' % (ev.number, ev.type))
            break
        else:
            print('(no card event arrived)')

        # Failures are exceptions that say what became of the request.
        try:
            reg.cmd.PLURead(4999, 0)
        except tarvik.ExecutionError as e:
            print('Reading an empty record: %s (outcome: %s)' % (e, e.outcome))
        try:
            reg.articles[102] = art._replace(nazwa='HERBATA \u2615')
        except tarvik.ArgumentError as e:
            print('A text the register cannot hold: %s' % e)

        if a.bench:
            bench(reg, a.bench)
        print('Frames sent %d, answers processed %d' % reg.queue_stats())
    print('Closed.')


def bench(reg, n):
    """Round trips one after the other, then the same number pipelined; and
    beside them the same round trip through bare ctypes calls of libtarvik
    (create, post, wait, destroy: what bench_e2e times in C), so that the
    difference is the package's own cost."""
    from tarvik import _native
    lib, view = _native.libs(), reg._view

    def raw():
        r = lib.TRV_CreateRequest(view, 14)
        lib.TRV_PostRequest(r, 0)
        lib.TRV_WaitForRequestCompleted(r, 5000)
        lib.TRV_DestroyRequest(r)

    def timed(label, call):
        for _ in range(min(n, 200)):   # warm up
            call()
        times = []
        cpu0 = time.process_time()
        for _ in range(n):
            t = time.perf_counter()
            call()
            times.append(time.perf_counter() - t)
        cpu = time.process_time() - cpu0
        times.sort()
        print('%s, %d calls: median %.1f us, p99 %.1f us, CPU %.1f us per call' % (
            label, n, times[n // 2] * 1e6, times[int(n * 0.99)] * 1e6, cpu / n * 1e6))

    timed('Round trip, reg.cmd.TimeGet()   ', reg.cmd.TimeGet)
    timed('Round trip, bare ctypes (cmd 14)', raw)
    t = time.perf_counter()
    cpu0 = time.process_time()
    reqs = [reg.cmd.TimeGet.post() for _ in range(n)]
    for r in reqs:
        r.result()
    wall, cpu = time.perf_counter() - t, time.process_time() - cpu0
    print('Pipelined, %d requests: %.0f per second, CPU %.1f us per request' % (n, n / wall, cpu / n * 1e6))


if __name__ == '__main__':
    main()

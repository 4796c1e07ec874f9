"""The chain of shops end to end on one machine (tests/chain/chainlab.py):
two shops, each with N simulated registers, a leaf node and a gateway; the
hub, trvsink and PostgreSQL.

  steady   receipts rung up every --every-ms on every register (three sale
           records each); the lag from a receipt's sale on the register to
           its row in PostgreSQL, and the records per second that reached
           PostgreSQL while sales went on. Journals are not cleared (a
           clearing racing a sale would lose it), so every collection reads
           the whole journal again.
  backlog  --backlog receipts waiting on every register when the gateways
           start (journals cleared after each collection): the records per
           second from the gateways' start until the last row is in.
  storage  the bytes the shops' leaf streams take per message.

    python3 bench/bench_chain.py BUILD_DIR [--registers 2,8] [--receipts 150]
                                 [--every-ms 50] [--backlog 300]
"""

import argparse
import os
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "chain"))
import chainlab  # noqa: E402


def receipts_in(chain, first):
    rows = chain.sql("SELECT serial, count(*) FROM receipts WHERE (record->>'numer')::int >= %d GROUP BY 1" % first)
    return {r[0]: int(r[1]) for r in rows}


def wait_all(chain, first, per_register, registers, timeout):
    end = time.time() + timeout
    while time.time() < end:
        got = receipts_in(chain, first)
        if len(got) == registers and all(n >= per_register for n in got.values()):
            return True
        time.sleep(0.2)
    return False


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100.0 * (len(v) - 1))))]


def leaf_bytes(chain, shop):
    path = os.path.join(chain.dir, "js-leaf-" + shop)
    out = subprocess.run(["du", "-sb", path], capture_output=True, text=True).stdout.split()
    return int(out[0]) if out else 0


def steady(build, regs, receipts, every_ms):
    chain = chainlab.Chain(build, shops=2, registers=regs, sales_every_ms=every_ms, sales_count=receipts,
                           journal_interval_s=1, batch=256)
    try:
        chain.start()
        first = min(s["first_receipt"] for s in chain.sims.values())
        start = min(s["start_ms"] for s in chain.sims.values()) / 1000.0
        ok = wait_all(chain, first, receipts, 2 * regs, receipts * every_ms / 1000.0 + 120)
        lags = []
        by_serial = {s["serial"]: s for s in chain.sims.values()}
        for serial, numer, received in chain.sql(
                "SELECT serial, (record->>'numer')::int, extract(epoch FROM received) FROM receipts "
                "WHERE (record->>'numer')::int >= %d" % first):
            s = by_serial[serial]
            sold = s["start_ms"] / 1000.0 + (int(numer) - s["first_receipt"]) * every_ms / 1000.0
            lags.append(float(received) - sold)
        total, last = chain.sql("SELECT count(*), extract(epoch FROM max(received)) FROM sale_records")[0]
        rate = int(total) / (float(last) - start)
        msgs = int(chain.sql("SELECT count(*) FROM sale_records WHERE shop = 'shop1'")[0][0])
        per_msg = leaf_bytes(chain, "shop1") / max(1, msgs)
        return ok, lags, rate, int(total), per_msg
    finally:
        chain.close()


def backlog(build, regs, receipts):
    chain = chainlab.Chain(build, shops=2, registers=regs, sales_every_ms=1, sales_count=receipts,
                           journal_interval_s=1, batch=256)
    try:
        chain.start_postgres()
        chain.start_hub()
        for s in chain.shops:
            chain.start_leaf(s)
        chain.start_sink()
        for s in chain.shops:
            chain.start_sims(s)
        time.sleep(receipts / 1000.0 + 0.5)
        first = min(s["first_receipt"] for s in chain.sims.values())
        t0 = time.time()
        for s in chain.shops:
            chain.start_gateway(s, delete=True)
        # How many records the gateways hold over time (collected from the
        # registers), until PostgreSQL has every receipt.
        series = []
        ok = False
        while time.time() < t0 + 300:
            n = 0
            for s in chain.shops:
                db = sqlite3.connect("file:%s?mode=ro" % os.path.join(chain.dir, "gw-%s.db" % s), uri=True)
                try:
                    n += db.execute("SELECT count(*) FROM journal").fetchone()[0]
                except sqlite3.Error:
                    pass
                db.close()
            series.append((time.time() - t0, n))
            got = receipts_in(chain, first)
            if len(got) == 2 * regs and all(v >= receipts for v in got.values()):
                ok = True
                break
            time.sleep(0.2)
        t1 = time.time()
        total = int(chain.sql("SELECT count(*) FROM sale_records")[0][0])
        collected = next((t for t, n in series if n >= total), None)
        return ok, total, t1 - t0, collected
    finally:
        chain.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--registers", default="2,8")
    ap.add_argument("--receipts", type=int, default=150)
    ap.add_argument("--every-ms", type=int, default=50)
    ap.add_argument("--backlog", type=int, default=300)
    a = ap.parse_args()
    print("chain: 2 shops; steady: a receipt (3 records) every %d ms per register, %d receipts; "
          "backlog: %d receipts per register" % (a.every_ms, a.receipts, a.backlog))
    for regs in [int(x) for x in a.registers.split(",")]:
        ok, lags, rate, total, per_msg = steady(a.build, regs, a.receipts, a.every_ms)
        print("%d registers/shop steady : %s%d records, %.0f records/s into PostgreSQL (offered %.0f/s); "
              "lag sale->row p50 %.2f s, p95 %.2f s, max %.2f s; leaf storage %.0f bytes/record"
              % (regs, "" if ok else "INCOMPLETE ", total, rate, 2 * regs * 3 * 1000.0 / a.every_ms,
                 pct(lags, 50), pct(lags, 95), max(lags), per_msg), flush=True)
        ok, total, secs, collected = backlog(a.build, regs, a.backlog)
        print("%d registers/shop backlog: %s%d records in %.1f s from the gateways' start: %.0f records/s "
              "(the gateways held them all after %s s)"
              % (regs, "" if ok else "INCOMPLETE ", total, secs, total / secs,
                 "%.1f" % collected if collected is not None else "?"), flush=True)


if __name__ == "__main__":
    main()

"""The chain of shops end to end, with the real servers: two shops (a leaf
node, a gateway and two simulated registers ringing up receipts each), the
hub, trvsink and PostgreSQL. While sales go on, one shop's link to the hub
is cut for a while, trvsink is killed (SIGKILL) while it has a backlog, the
hub restarts and a gateway restarts. Then every sale record must be in
PostgreSQL exactly once, and a price list must reach all four registers
with its outcomes back at head office.

    python3 tests/chain/test_chain.py BUILD_DIR [--keep]
"""

import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.error

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chainlab  # noqa: E402

RECEIPTS = 200      # per register
EVERY_MS = 100


def log(msg):
    print("[%6.1f] %s" % (time.time() - T0, msg), flush=True)


def eventually(what, check, timeout):
    end = time.time() + timeout
    last = None
    while time.time() < end:
        last = check()
        if last is True:
            return
        time.sleep(0.5)
    raise AssertionError("%s: not within %d s (last: %s)" % (what, timeout, last))


def sale_counts(chain):
    rows = chain.sql("SELECT serial, count(*), count(DISTINCT number), max(number) FROM sale_records GROUP BY serial")
    return {r[0]: (int(r[1]), int(r[2]), int(r[3])) for r in rows}


def complete(chain, expect):
    """True when every register's records are in, numbered 1..n without a
    gap or a double, and every receipt rung up is there once."""
    c = sale_counts(chain)
    if sorted(c) != sorted(expect):
        return c
    for serial, (n, distinct, top) in c.items():
        if not (n == distinct == top):
            return c
    receipts = chain.sql("SELECT serial, count(*), count(DISTINCT (record->>'numer')) FROM receipts "
                         "WHERE (record->>'numer')::int >= 60 GROUP BY serial")
    got = {r[0]: (int(r[1]), int(r[2])) for r in receipts}
    if any(got.get(s) != (n, n) for s, n in expect.items()):
        return got
    return True


def main():
    build = sys.argv[1]
    for tool in ("nats-server", chainlab.PG_BIN + "/initdb", "psql"):
        if not shutil.which(tool):
            print("skipped: %s is not installed (scripts/test.sh installs it)" % tool)
            sys.exit(77)
    keep = "--keep" in sys.argv
    chain = chainlab.Chain(build, shops=2, registers=2, sales_every_ms=EVERY_MS, sales_count=RECEIPTS, keep=keep)
    ok = False
    try:
        chain.start()
        log("started in %s" % chain.dir)
        serials = [s["serial"] for s in chain.sims.values()]

        # Records flow.
        eventually("first records in PostgreSQL", lambda: len(sale_counts(chain)) == 4 or sale_counts(chain), 30)
        log("records arrive: %s" % sale_counts(chain))

        # shop1's link to the hub goes down: its leaf keeps the records.
        chain.proxies["shop1"].down()
        log("shop1's link is down")
        time.sleep(2)
        before = sale_counts(chain).get("SHOP1-R1", (0, 0, 0))[0]
        time.sleep(5)
        during = sale_counts(chain).get("SHOP1-R1", (0, 0, 0))[0]
        assert during - before <= 60, "records of shop1 reached head office while its link was down (%d)" % (during - before)
        # The gateway still clears the register: the leaf acknowledged the records.
        chain.proxies["shop1"].up()
        log("shop1's link is up again")

        # trvsink killed while it works through shop1's backlog.
        time.sleep(0.7)
        chain._stop("sink", signal.SIGKILL)
        log("trvsink killed")
        time.sleep(1)
        chain.start_sink()
        log("trvsink restarted")

        # The hub restarts (its stream and the consumer's place are on disk).
        time.sleep(2)
        chain._stop("hub")
        log("hub stopped")
        time.sleep(2)
        chain.start_hub()
        log("hub restarted")

        # A gateway restarts; its outbox and journal position are in its database.
        time.sleep(2)
        chain._stop("gw-shop2")
        log("shop2's gateway stopped")
        time.sleep(1.5)
        chain.start_gateway("shop2")
        log("shop2's gateway restarted")

        # Every receipt rung up, every record once.
        total_s = RECEIPTS * EVERY_MS / 1000.0
        for (shop, reg), sim in chain.sims.items():
            left = sim["start_ms"] / 1000.0 + total_s - time.time()
            if left > 0:
                time.sleep(left)
        log("sales done")
        expect = {s: RECEIPTS for s in serials}
        eventually("every record in PostgreSQL", lambda: complete(chain, expect), 90)
        log("every record once: %s" % sale_counts(chain))

        # Clearing the register's journal waits for the leaf's acknowledgement:
        # shop1's leaf stops, its gateway restarts clearing journals, and
        # five more receipts come on each of its registers.
        chain._stop("leaf-shop1")
        chain._stop("gw-shop1")
        chain.start_gateway("shop1", delete=True)
        for reg in ("r1", "r2"):
            chain.sims[("shop1", reg)]["proc"].send_signal(signal.SIGUSR1)
            expect["SHOP1-" + reg.upper()] += 5
        log("shop1's leaf is down, its gateway clears journals now, five more receipts each")
        time.sleep(2.5)
        for reg in ("r1", "r2"):
            summary = chain.http("shop1", "/v1/registers/%s/journal/collect" % reg, {})
            # The register still holds every record (none was cleared).
            assert summary.get("deleted_on_register") is False and "delete_waits" in summary, summary
            assert summary.get("read", 0) >= RECEIPTS * 3, summary
        chain.start_leaf("shop1")
        log("shop1's leaf is back")

        def cleared():
            for reg in ("r1", "r2"):
                summary = chain.http("shop1", "/v1/registers/%s/journal/collect" % reg, {})
                if summary.get("read", 1) != 0:
                    return summary
            return True

        eventually("shop1's journals cleared once the leaf acknowledged", cleared, 30)
        eventually("every record in PostgreSQL, the new ones too", lambda: complete(chain, expect), 60)
        c = sale_counts(chain)
        assert len(set(top for s, (_, _, top) in c.items() if s.startswith("SHOP2"))) == 1, c
        log("every record once: %s" % c)

        # Nothing doubled anywhere, nothing refused.
        dup = chain.sql("SELECT serial, number, count(*) FROM sale_records GROUP BY 1, 2 HAVING count(*) > 1")
        assert not dup, dup
        rejected = chain.sql("SELECT subject, why FROM rejected_messages")
        assert not rejected, rejected
        health = chain.sql("SELECT count(DISTINCT register) FROM register_health")
        log("health messages from %s registers" % health[0][0])

        # A daily report's outcome reaches head office as a fiscal event.
        chain.http("shop2", "/v1/registers/r2/reports/daily?wait=10", {"czy_z_data": 0, "date_time": ""},
                   {"Idempotency-Key": "daily-1"})
        eventually("the daily report at head office",
                   lambda: chain.sql("SELECT shop, register, command, state FROM fiscal_events")
                   == [["shop2", "r2", "TRVS_RepFskDaily", "succeeded"]] or
                   chain.sql("SELECT shop, register, command, state FROM fiscal_events"), 30)
        log("the daily report's outcome is at head office")

        # A price list for every shop, and one for shop2 only.
        chain.publish_prices({"list": "pl1", "lines": [
            {"plu": 101, "name": "MASLO", "price": "749", "vat": 1},
            {"plu": 102, "name": "SER", "price": "1299", "vat": 1}]}, "all")
        chain.publish_prices({"list": "pl2", "lines": [{"plu": 103, "name": "JOGURT", "price": "219", "vat": 1}]},
                             "shop2")
        log("price lists published")

        def outcomes():
            rows = chain.sql("SELECT list, shop, register, line, outcome FROM price_outcomes ORDER BY 1, 2, 3, 4")
            want = [["pl1", s, r, str(line), "done"] for s in ("shop1", "shop2") for r in ("r1", "r2")
                    for line in (0, 1)] + [["pl2", "shop2", r, "0", "done"] for r in ("r1", "r2")]
            return True if rows == want else rows

        eventually("every price line's outcome at head office", outcomes, 60)
        for shop in ("shop1", "shop2"):
            for reg in ("r1", "r2"):
                a = chain.http(shop, "/v1/registers/%s/articles/101" % reg)
                assert "MASLO" in str(a) and "749" in str(a), a
        try:
            a = chain.http("shop1", "/v1/registers/r1/articles/103")
            assert "JOGURT" not in str(a), "shop2's price list reached shop1: %s" % a
        except urllib.error.HTTPError as e:
            assert e.code == 404, e
        log("the price lists reached the registers, outcomes are back")

        # trvsink's write on its own: a batch written twice, bad messages.
        unit = os.path.join(chain.build, "tests", "test_trvgw_chain")
        if os.path.exists(unit):
            chain.sql("CREATE DATABASE sinktest")
            env = dict(os.environ, TARVIK_TEST_PG=chain.pg_conninfo().replace("dbname=postgres", "dbname=sinktest"))
            r = subprocess.run([unit, "--gtest_filter=SinkWrite.*"], env=env, capture_output=True, text=True)
            assert r.returncode == 0 and "SKIPPED" not in r.stdout, r.stdout + r.stderr
            log("trvsink's write: a batch again writes nothing")
        ok = True
    finally:
        if not ok:
            chain.keep = True
            print("kept for a look: %s" % chain.dir, flush=True)
            for name in sorted(os.listdir(chain.dir)):
                if name.endswith(".log"):
                    with open(os.path.join(chain.dir, name), errors="replace") as f:
                        tail = f.read()[-1500:]
                    print("---- %s\n%s" % (name, tail), flush=True)
        chain.close()
    log("passed")


T0 = time.time()
if __name__ == "__main__":
    main()

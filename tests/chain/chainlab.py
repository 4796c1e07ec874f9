"""A chain of shops on one machine, on loopback, in a temporary folder:
a NATS hub, a NATS leaf node per shop (its link to the hub through a proxy
that can cut it), PostgreSQL, a trvgw per shop with simulated registers
(trvsim ringing up receipts) and trvsink. Used by the chain test and the
chain benchmark; the servers are Debian's (nats-server, PostgreSQL 15)."""

import json
import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

PG_BIN = "/usr/lib/postgresql/15/bin"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_port(port, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return True
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("nothing listens on port %d" % port)


def read_line(proc, prefix, timeout=30.0):
    """The first line of proc's standard output starting with prefix."""
    end = time.time() + timeout
    buf = b""
    fd = proc.stdout.fileno()
    while time.time() < end:
        r, _, _ = select.select([fd], [], [], 0.2)
        if not r:
            if proc.poll() is not None:
                break
            continue
        ch = os.read(fd, 1)
        if not ch:
            break
        if ch == b"\n":
            line = buf.decode(errors="replace")
            buf = b""
            if line.startswith(prefix):
                return line
        else:
            buf += ch
    raise RuntimeError("no line %r from %s" % (prefix, proc.args))


class LinkProxy:
    """A TCP forwarder for a leaf node's link to the hub; down() cuts every
    connection and refuses new ones until up()."""

    def __init__(self, target_port):
        self.target = target_port
        self.port = free_port()
        self.is_up = True
        self.conns = []
        self.lock = threading.Lock()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", self.port))
        self.sock.listen(16)
        self.stopped = False
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self.stopped:
            try:
                c, _ = self.sock.accept()
            except OSError:
                return
            if not self.is_up:
                c.close()
                continue
            try:
                t = socket.create_connection(("127.0.0.1", self.target), timeout=2)
            except OSError:
                c.close()
                continue
            with self.lock:
                self.conns += [c, t]
            threading.Thread(target=self._pipe, args=(c, t), daemon=True).start()
            threading.Thread(target=self._pipe, args=(t, c), daemon=True).start()

    def _pipe(self, a, b):
        try:
            while True:
                data = a.recv(65536)
                if not data:
                    break
                b.sendall(data)
        except OSError:
            pass
        for s in (a, b):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            try:
                s.close()
            except OSError:
                pass

    def down(self):
        self.is_up = False
        with self.lock:
            conns, self.conns = self.conns, []
        for s in conns:
            try:
                s.shutdown(socket.SHUT_RDWR)
                s.close()
            except OSError:
                pass

    def up(self):
        self.is_up = True

    def stop(self):
        self.stopped = True
        self.down()
        self.sock.close()


class Chain:
    def __init__(self, build_dir, shops=2, registers=2, sales_every_ms=100, sales_count=300,
                 journal_interval_s=1, batch=64, keep=False):
        self.build = os.path.abspath(build_dir)
        self.dir = tempfile.mkdtemp(prefix="trvchain-")
        self.keep = keep
        self.shops = ["shop%d" % (i + 1) for i in range(shops)]
        self.nregs = registers
        self.sales_every_ms = sales_every_ms
        self.sales_count = sales_count
        self.journal_interval_s = journal_interval_s
        self.batch = batch
        self.procs = {}
        self.logs = {}
        self.proxies = {}
        self.sims = {}  # (shop, reg) -> (proc, port, serial)
        self.gw_ports = {}

    # ---- processes
    def _spawn(self, name, args, user=None, stdout=True):
        log = open(os.path.join(self.dir, name + ".log"), "ab")
        if user:
            args = ["runuser", "-u", user, "--"] + args
        p = subprocess.Popen(args, stdout=subprocess.PIPE if stdout else log, stderr=log,
                             stdin=subprocess.DEVNULL, cwd=self.dir)
        self.procs[name] = p
        self.logs[name] = log
        return p

    def _stop(self, name, sig=signal.SIGTERM, timeout=15):
        p = self.procs.pop(name, None)
        if not p:
            return
        if p.poll() is None:
            p.send_signal(sig)
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if p.stdout:
            p.stdout.close()
        self.logs.pop(name).close()

    def exe(self, name):
        for d in ("", "trvgw", "trvsink"):
            path = os.path.join(self.build, d, name)
            if os.path.isfile(path):
                return path
        raise RuntimeError("no %s in %s" % (name, self.build))

    # ---- PostgreSQL
    def start_postgres(self):
        self.pg_port = free_port()
        pgdir = os.path.join(self.dir, "pg")
        os.mkdir(pgdir)
        user = None
        if os.geteuid() == 0:  # PostgreSQL refuses to run as root
            user = "postgres"
            pw = pwd.getpwnam(user)
            os.chmod(self.dir, 0o755)
            os.chown(pgdir, pw.pw_uid, pw.pw_gid)
        self.pg_user = user
        data = os.path.join(pgdir, "data")
        cmd = [PG_BIN + "/initdb", "-D", data, "-A", "trust", "-U", "postgres", "--no-sync", "-E", "UTF8"]
        if user:
            cmd = ["runuser", "-u", user, "--"] + cmd
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=pgdir)
        self.pg_data = data
        self.pg_sock = pgdir
        self._start_pg()

    def _start_pg(self):
        self._spawn("postgres", [PG_BIN + "/postgres", "-D", self.pg_data, "-k", self.pg_sock, "-p", str(self.pg_port),
                                 "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off",
                                 "-c", "synchronous_commit=on"], user=self.pg_user, stdout=False)
        wait_port(self.pg_port)
        for _ in range(100):
            if subprocess.run(self._psql_args("SELECT 1"), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return
            time.sleep(0.1)
        raise RuntimeError("PostgreSQL did not start")

    def pg_conninfo(self):
        return "host=127.0.0.1 port=%d user=postgres dbname=postgres" % self.pg_port

    def _psql_args(self, sql):
        return ["psql", "-X", "-q", "-At", "-F", "|", "-h", "127.0.0.1", "-p", str(self.pg_port), "-U", "postgres",
                "-d", "postgres", "-c", sql]

    def sql(self, sql):
        r = subprocess.run(self._psql_args(sql), capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError("psql: %s" % r.stderr.strip())
        return [line.split("|") for line in r.stdout.splitlines() if line]

    # ---- NATS
    def _nats_conf(self, name, port, domain, extra):
        store = os.path.join(self.dir, "js-" + name)
        conf = os.path.join(self.dir, name + ".conf")
        with open(conf, "w") as f:
            f.write('server_name: %s\nlisten: "127.0.0.1:%d"\n' % (name, port))
            f.write('jetstream {\n  store_dir: "%s"\n  domain: %s\n}\n' % (store, domain))
            f.write(extra)
        return conf

    def start_hub(self):
        if not hasattr(self, "hub_port"):
            self.hub_port = free_port()
            self.hub_leaf_port = free_port()
            # The hub tells leaf nodes where else to reach it: a port where
            # nothing listens, so that a leaf reaches it only through its
            # link's proxy.
            self.nowhere_port = free_port()
        conf = self._nats_conf("hub", self.hub_port, "hub",
                               'leafnodes {\n  listen: "127.0.0.1:%d"\n  advertise: "127.0.0.1:%d"\n}\n'
                               % (self.hub_leaf_port, self.nowhere_port))
        self._spawn("hub", ["nats-server", "-c", conf], stdout=False)
        wait_port(self.hub_port)

    def start_leaf(self, shop):
        if shop not in self.proxies:
            self.proxies[shop] = LinkProxy(self.hub_leaf_port)
            setattr(self, "leaf_port_" + shop, free_port())
        port = getattr(self, "leaf_port_" + shop)
        conf = self._nats_conf("leaf-" + shop, port, shop,
                               'leafnodes {\n  reconnect: 1\n  remotes: [ { url: "nats-leaf://127.0.0.1:%d" } ]\n}\n'
                               % self.proxies[shop].port)
        self._spawn("leaf-" + shop, ["nats-server", "-c", conf], stdout=False)
        wait_port(port)

    # ---- registers and gateways
    def start_sims(self, shop):
        for r in range(self.nregs):
            reg = "r%d" % (r + 1)
            serial = "%s-%s" % (shop.upper(), reg.upper())
            name = "sim-%s-%s" % (shop, reg)
            args = [self.exe("trvsim"), "--port", "0", "--busy-ms", "10", "--unique-number", serial]
            if self.sales_every_ms:
                args += ["--sales-every-ms", str(self.sales_every_ms), "--sales-count", str(self.sales_count)]
            p = self._spawn(name, args)
            port = int(read_line(p, "port ").split()[1])
            start = read_line(p, "sales start ").split() if self.sales_every_ms else None
            self.sims[(shop, reg)] = {"proc": p, "port": port, "serial": serial,
                                      "start_ms": int(start[2]) if start else 0,
                                      "first_receipt": int(start[3]) + 1 if start else 0}

    def gateway_config(self, shop, delete=False):
        regs = []
        for r in range(self.nregs):
            reg = "r%d" % (r + 1)
            regs.append({"id": reg, "url": "tcp://127.0.0.1:%d" % self.sims[(shop, reg)]["port"],
                         "journal": {"collect": True, "interval_s": self.journal_interval_s,
                                     "delete_after_commit": delete}})
        return {"database": os.path.join(self.dir, "gw-%s.db" % shop), "registers": regs,
                "chain": {"url": "nats://127.0.0.1:%d" % getattr(self, "leaf_port_" + shop), "shop": shop,
                          "publish_timeout_ms": 2000, "price_wait_s": 60}}

    def start_gateway(self, shop, delete=False):
        conf = os.path.join(self.dir, "gw-%s.json" % shop)
        with open(conf, "w") as f:
            json.dump(self.gateway_config(shop, delete), f)
        p = self._spawn("gw-" + shop, [self.exe("trvgw"), "--config", conf, "--listen", "127.0.0.1:0",
                                       "--www", "none", "--drain-timeout", "5"])
        line = read_line(p, "listening on ")
        self.gw_ports[shop] = int(line.rsplit(":", 1)[1].strip("/"))

    def start_sink(self):
        args = [self.exe("trvsink"), "--nats", "nats://127.0.0.1:%d" % self.hub_port, "--pg", self.pg_conninfo(),
                "--batch", str(self.batch), "--ack-wait-s", "5"]
        for s in self.shops:
            args += ["--shop", s]
        p = self._spawn("sink", args)
        read_line(p, "ready", timeout=60)

    def publish_prices(self, lst, to):
        path = os.path.join(self.dir, "prices-%s.json" % lst["list"])
        with open(path, "w") as f:
            json.dump(lst, f)
        subprocess.run([self.exe("trvsink"), "--nats", "nats://127.0.0.1:%d" % self.hub_port, "--prices", path,
                        "--to", to], check=True, stdout=subprocess.DEVNULL)

    def start(self):
        self.start_postgres()
        self.start_hub()
        for s in self.shops:
            self.start_leaf(s)
        self.start_sink()
        for s in self.shops:
            self.start_sims(s)
            self.start_gateway(s)

    def http(self, shop, path, body=None, headers=None):
        import urllib.request
        req = urllib.request.Request("http://127.0.0.1:%d%s" % (self.gw_ports[shop], path),
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers=dict({"Content-Type": "application/json"}, **(headers or {})))
        with urllib.request.urlopen(req, timeout=30) as r:
            return json.loads(r.read())

    def close(self):
        for name in list(self.procs):
            self._stop(name, timeout=10)
        for p in self.proxies.values():
            p.stop()
        if not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

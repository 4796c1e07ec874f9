"""Fixtures: the register simulator trvsim in a process of its own, and a
connection to it.

trvsim is $TRVSIM, else the build's (BUILD/trvsim next to the staged
package), else the one on PATH. The package is the one Python imports
(PYTHONPATH=BUILD/python from the build's test, or an installed one).
"""

import os
import shutil
import signal
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get('TARVIK_SOURCE_DIR') or os.path.dirname(os.path.dirname(HERE))

if 'tarvik' not in sys.modules and not any(os.path.isdir(os.path.join(p, 'tarvik')) for p in sys.path if p):
    sys.path.insert(0, os.path.join(SOURCE_DIR, 'python'))

import tarvik  # noqa: E402


def _trvsim():
    cand = os.environ.get('TRVSIM')
    if cand:
        return cand
    for d in (os.path.join(SOURCE_DIR, 'build'),):
        p = os.path.join(d, 'trvsim')
        if os.access(p, os.X_OK):
            return p
    return shutil.which('trvsim')


TRVSIM = _trvsim()


class Sim:
    """A trvsim process on a free loopback port: ``url``, ``port``;
    ``kill()`` ends it at once (the connection is lost), ``stop()`` ends it
    politely."""

    def __init__(self, *args, paper=None):
        if not TRVSIM:
            pytest.skip('trvsim not found (set TRVSIM)')
        cmd = [TRVSIM, '--port', '0'] + list(args)
        if paper:
            cmd += ['--paper', str(paper)]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.port = self.url = self.pty = None
        tcp = '--no-tcp' not in args
        pty = any(a.startswith(('--pty', '--modem')) for a in args)
        while (tcp and self.port is None) or (pty and self.pty is None):
            line = self.proc.stdout.readline()
            if line.startswith('port '):
                self.port = int(line.split()[1])
                self.url = 'tcp://127.0.0.1:%d' % self.port
            elif line.startswith('pty '):
                self.pty = line.split(None, 1)[1].strip()
            else:
                self.proc.kill()
                raise RuntimeError('trvsim did not start: %r %s' % (line, self.proc.stderr.read()))

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.kill()
        for f in (self.proc.stdout, self.proc.stderr):
            f.close()


@pytest.fixture
def make_sim():
    """A factory of simulators with options of their own, stopped after the
    test."""
    sims = []

    def make(*args, **kw):
        s = Sim(*args, **kw)
        sims.append(s)
        return s

    yield make
    for s in sims:
        s.stop()


@pytest.fixture(scope='module')
def sim():
    """One simulator per test module (quick: no busy time after long
    commands); tests that change its state use record numbers of their own."""
    s = Sim('--busy-ms', '50')
    yield s
    s.stop()


@pytest.fixture
def reg(sim):
    with tarvik.connect(sim.url, timeout=5.0) as r:
        yield r

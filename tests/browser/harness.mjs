// What the browser tests run against: trvsim registers and a trvgw over
// them, started as a shop would run them, and Debian's chromium driven by
// playwright-core, with every console error and failed request collected.
import { spawn, execFile } from 'node:child_process';
import { mkdtempSync, writeFileSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { createInterface } from 'node:readline';
import { promisify } from 'node:util';
import { chromium } from 'playwright-core';

const here = new URL('.', import.meta.url).pathname;
export const BUILD = resolve(process.env.TRVGW_BUILD || join(here, '../../build'));
export const TRVGW = process.env.TRVGW || join(BUILD, 'trvgw/trvgw');
export const TRVSIM = process.env.TRVSIM || join(BUILD, 'trvsim');
export const TRVCTL = process.env.TRVCTL || join(BUILD, 'trvctl');
export const SHOTS = resolve(process.env.TRVGW_SCREENSHOTS || join(BUILD, 'browser-screenshots'));
export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// A child process whose first stdout line matching `re` is awaited.
function startProcess(cmd, args, re, what) {
  const p = spawn(cmd, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let err = '';
  p.stderr.on('data', (d) => { err += d; if (err.length > 20000) err = err.slice(-10000); });
  const lines = createInterface({ input: p.stdout });
  const first = new Promise((res, rej) => {
    const timer = setTimeout(() => rej(new Error(what + ' did not start: ' + err)), 30000);
    lines.on('line', (l) => { const m = re.exec(l); if (m) { clearTimeout(timer); res(m); } });
    p.on('exit', (code) => { clearTimeout(timer); rej(new Error(`${what} exited (${code}): ${err}`)); });
  });
  first.catch(() => {});
  return { p, first, stderr: () => err };
}

function stopProcess(p, signal = 'SIGTERM') {
  return new Promise((res) => {
    if (p.exitCode !== null || p.signalCode !== null) return res();
    p.once('exit', () => res());
    p.kill(signal);
  });
}

// One simulated register on a loopback port, which can be stopped and started
// again on the same port.
export class Sim {
  constructor(extra = []) { this.extra = extra; this.port = 0; }
  async start() {
    const s = startProcess(TRVSIM, ['--port', String(this.port), ...this.extra], /^port (\d+)$/, 'trvsim');
    this.proc = s.p;
    this.port = Number((await s.first)[1]);
    return this;
  }
  stop(signal) { return stopProcess(this.proc, signal); }
  freeze() { this.proc.kill('SIGSTOP'); }
}

export class Gateway {
  constructor(config) { this.config = config; }
  async start() {
    this.dir = mkdtempSync(join(tmpdir(), 'trvgw-browser-'));
    const cfg = join(this.dir, 'trvgw.json');
    writeFileSync(cfg, JSON.stringify(this.config, null, 2));
    const s = startProcess(TRVGW, ['--config', cfg, '--listen', '127.0.0.1:0', '--database', join(this.dir, 'jobs.db')],
                           /^listening on (http:\/\/\S+)$/, 'trvgw');
    this.proc = s.p;
    this.stderr = s.stderr;
    this.url = (await s.first)[1];
    return this;
  }
  async stop() {
    await stopProcess(this.proc);
    rmSync(this.dir, { recursive: true, force: true });
  }
  // The public API, with a token, for setting up and checking.
  async api(method, path, token, body, headers = {}) {
    const h = { Authorization: 'Bearer ' + token, ...headers };
    if (body !== undefined) h['Content-Type'] = 'application/json';
    const r = await fetch(this.url + path, { method, headers: h, body: body === undefined ? undefined : JSON.stringify(body) });
    return { status: r.status, body: await r.json().catch(() => null) };
  }
}

export async function hashToken(token) {
  const { stdout } = await promisify(execFile)(TRVGW, ['--hash-token', token]);
  return stdout.trim();
}

export async function trvctl(args) {
  const { stdout } = await promisify(execFile)(TRVCTL, args, { timeout: 30000 });
  return stdout;
}

// Debian's chromium, headless, with a fresh profile and none of its calls home.
export async function launchBrowser() {
  mkdirSync(SHOTS, { recursive: true });
  return chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
}

// A page whose console errors, page errors, failed requests and HTTP errors
// are collected; `problems()` lists them, `expect(fn)` lets one through.
export async function watchedPage(browser, viewport = { width: 1280, height: 900 }) {
  const context = await browser.newContext({ viewport, locale: 'en-GB' });
  const page = await context.newPage();
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error') problems.push('console: ' + m.text()); });
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  page.on('requestfailed', (r) => {
    // The page closes its event stream on sign-out and when it goes away;
    // the browser reports that as an aborted request, which is no fault.
    if (r.url().includes('/v1/events') && r.failure()?.errorText === 'net::ERR_ABORTED') return;
    problems.push(`request failed: ${r.method()} ${r.url()} ${r.failure()?.errorText}`);
  });
  page.on('response', (r) => { if (r.status() >= 400) problems.push(`HTTP ${r.status()}: ${r.request().method()} ${r.url()}`); });
  return {
    page, context, problems,
    async close() { await context.close(); },
  };
}

export async function shot(page, name) {
  const path = join(SHOTS, name + '.png');
  await page.screenshot({ path, fullPage: true });
  return path;
}

export async function eventually(fn, what, ms = 20000) {
  const end = Date.now() + ms;
  let last;
  while (Date.now() < end) {
    try { last = await fn(); if (last) return last; } catch (e) { last = e; }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error('timed out waiting for ' + what + (last instanceof Error ? ': ' + last.message : ''));
}

// The support page: plain JavaScript over the gateway's public /v1 API, so it
// doubles as a worked example for integrators. Every text that comes from a
// register or a person is put in with textContent, never as markup.
'use strict';

const $ = (sel, root = document) => root.querySelector(sel);
const t = (k, v) => I18N.t(k, v);

// An element: el('td', {class: 'x'}, 'text', child, ...).
function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (v === undefined || v === null || v === false) continue;
    if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c.nodeType ? c : String(c));
  return e;
}

const SVG = 'http://www.w3.org/2000/svg';
function svg(tag, attrs = {}, ...children) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  for (const c of children) e.append(c.nodeType ? c : String(c));
  return e;
}

const state = {
  me: null,            // {name, scopes, token_needed}
  registers: new Map(),
  jobs: new Map(),     // id -> job, the most recent ones
  jobCursor: 0,
  events: null,
  view: 'registers',
  sales: new Map(),    // register -> {values, error}
  journal: [],
};
const MAX_JOBS = 500;

// ---- the API --------------------------------------------------------------

class ApiError extends Error {
  constructor(status, body) {
    super((body && (body.detail || body.title)) || 'HTTP ' + status);
    this.status = status;
    this.body = body;
  }
}

async function api(method, path, body, extra = {}) {
  const headers = { Accept: 'application/json' };
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  if (extra.key) headers['Idempotency-Key'] = extra.key;
  if (extra.wait) headers.Prefer = 'wait=' + extra.wait;
  const r = await fetch(path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body),
                                credentials: 'same-origin' });
  const text = await r.text();
  let data = null;
  try { data = text ? JSON.parse(text) : null; } catch (e) { data = { detail: text }; }
  if (!r.ok) {
    if (r.status === 401 && path !== '/v1/session') showSignIn();
    throw new ApiError(r.status, data);
  }
  return data;
}

// A fresh Idempotency-Key for each thing a person asks for once.
function newKey(what) {
  const a = new Uint8Array(12);
  crypto.getRandomValues(a);
  return 'page-' + what + '-' + Array.from(a, (b) => b.toString(16).padStart(2, '0')).join('');
}

const can = (scope) => !!(state.me && state.me.scopes.includes(scope));

function say(text) { $('#live').textContent = text; }

function problemText(e) {
  const b = e.body || {};
  const status = b.library_status ? I18N.statusText(b.library_status, b.library_text) : '';
  return (b.detail || e.message) + (status && status !== b.detail ? ' (' + status + ')' : '');
}

// Amounts come from the register in grosze.
function money(grosze) {
  return (Number(grosze) / 100).toLocaleString(I18N.lang === 'pl' ? 'pl-PL' : 'en-GB',
                                               { minimumFractionDigits: 2, maximumFractionDigits: 2 });
}

function time(sec) {
  if (!sec) return '';
  return new Date(sec * 1000).toLocaleTimeString(I18N.lang === 'pl' ? 'pl-PL' : 'en-GB');
}

// ---- sign-in --------------------------------------------------------------

function showSignIn() {
  state.me = null;
  if (state.events) { state.events.close(); state.events = null; }
  $('#nav').hidden = true;
  $('#signout').hidden = true;
  $('#who').textContent = '';
  for (const v of document.querySelectorAll('.view')) v.hidden = v.id !== 'view-signin';
  $('#token').focus();
}

async function signIn(ev) {
  ev.preventDefault();
  $('#signin-error').textContent = '';
  try {
    state.me = await api('POST', '/v1/session', { token: $('#token').value });
    $('#token').value = '';
    await start();
  } catch (e) {
    $('#signin-error').textContent = e.status === 401 ? t('signin.bad') : problemText(e);
  }
}

async function signOut() {
  try { await api('DELETE', '/v1/session'); } catch (e) { /* signed out either way */ }
  showSignIn();
}

// Write controls are shown only to those who may use them.
function applyScopes(root = document) {
  for (const b of root.querySelectorAll('.needs-operate')) b.hidden = !can('operate');
  for (const b of root.querySelectorAll('.needs-fiscal')) b.hidden = !can('fiscal');
}

// ---- live events ----------------------------------------------------------

function listen() {
  if (state.events) state.events.close();
  const es = new EventSource('/v1/events?types=register,job,journal');
  state.events = es;
  es.addEventListener('open', () => $('#live').classList.remove('lost'));
  es.addEventListener('error', () => $('#live').classList.add('lost'));
  es.addEventListener('register', (m) => {
    const d = JSON.parse(m.data);
    const r = state.registers.get(d.register);
    if (!r) return;
    r.state = d.state;
    r.last_status = d.status;
    r.last_error = d.text;
    r.since = Date.now() / 1000;
    renderRegister(r);
    if (d.state === 'online') refreshRegister(d.register);
  });
  es.addEventListener('job', (m) => {
    const j = JSON.parse(m.data);
    putJob(j);
    renderJobs();
    const r = state.registers.get(j.register);
    if (r && ['succeeded', 'failed', 'unknown', 'settled', 'cancelled'].includes(j.state)) refreshRegister(j.register);
  });
  es.addEventListener('journal', () => { if (state.view === 'journal') loadJournal(); });
}

// ---- registers ------------------------------------------------------------

const REPORTS = ['RepPTU', 'RepCashReg', 'RepCfgSale', 'RepCfgHardware', 'RepNoFskDaily', 'daily'];

async function loadRegisters() {
  const d = await api('GET', '/v1/registers');
  state.registers = new Map(d.registers.map((r) => [r.id, r]));
  for (const sel of ['#jobs-register', '#journal-register', '#article-register']) {
    const s = $(sel);
    const keep = s.value;
    for (const o of Array.from(s.options)) if (o.value) o.remove();
    for (const id of state.registers.keys()) s.append(el('option', { value: id }, id));
    if (keep) s.value = keep;
  }
  const list = $('#register-list');
  list.replaceChildren();
  for (const r of state.registers.values()) {
    list.append(registerCard(r));
    renderRegister(r);
    loadSales(r.id);
  }
  applyScopes(list);
}

async function refreshRegister(id) {
  try {
    const r = await api('GET', '/v1/registers/' + encodeURIComponent(id));
    state.registers.set(id, r);
    renderRegister(r);
  } catch (e) { /* the next event brings it */ }
}

function registerCard(r) {
  const id = r.id;
  const reportSel = el('select', { id: 'report-' + id });
  for (const name of REPORTS) reportSel.append(el('option', { value: name }, t('report.' + name)));
  const print = el('form', { class: 'report needs-operate', onsubmit: (ev) => { ev.preventDefault(); printReport(id, reportSel.value); } },
    el('label', { for: 'report-' + id }, t('reg.report')), reportSel,
    el('button', { type: 'submit' }, t('reg.print')));
  return el('article', { class: 'card register', id: 'reg-' + id, 'aria-labelledby': 'reg-h-' + id },
    el('h3', { id: 'reg-h-' + id }, id, ' ', el('span', { class: 'badge', 'data-role': 'state' })),
    el('dl', {},
      el('dt', {}, t('reg.lastError')), el('dd', { 'data-role': 'error' }),
      el('dt', {}, t('reg.queued')), el('dd', { 'data-role': 'queued' }),
      el('dt', {}, t('reg.heldBy')), el('dd', { 'data-role': 'held' })),
    el('h4', {}, t('reg.sales')),
    el('div', { class: 'chart', 'data-role': 'sales' }),
    el('button', { type: 'button', class: 'link', onclick: () => loadSales(id) }, t('reg.salesRefresh')),
    print,
    el('p', { 'data-role': 'report-result', role: 'status' }));
}

function renderRegister(r) {
  const card = document.getElementById('reg-' + r.id);
  if (!card) return;
  const badge = $('[data-role=state]', card);
  badge.textContent = t('state.' + r.state);
  badge.className = 'badge state-' + r.state;
  badge.title = r.since ? t('reg.since') + ' ' + time(r.since) : '';
  card.dataset.state = r.state;
  $('[data-role=error]', card).textContent = r.last_status ? I18N.statusText(r.last_status, r.last_error) : (r.last_error || t('reg.none'));
  $('[data-role=queued]', card).textContent = r.queued ?? 0;
  const held = $('[data-role=held]', card);
  held.replaceChildren();
  for (const j of r.held_by || []) held.append(el('a', { href: '#jobs', class: 'unknown-link' }, j), ' ');
  if (!(r.held_by || []).length) held.textContent = t('reg.none');
  renderSales(r.id);
}

// Today's sales by hour, from the register's hourly statistics.
async function loadSales(id) {
  try {
    const j = await api('POST', '/v1/registers/' + encodeURIComponent(id) + '/commands/TRVS_HoursStatRead',
                        { typ: 0 }, { key: newKey('hours'), wait: 10 });
    if (j.state !== 'succeeded') throw new Error(I18N.statusText(j.status, j.text || j.state));
    const values = String(j.result.wartosci || '').split('\n').map((v) => Number(v) || 0);
    state.sales.set(id, { values });
  } catch (e) {
    state.sales.set(id, { error: e instanceof ApiError ? problemText(e) : e.message });
  }
  renderSales(id);
}

function renderSales(id) {
  const card = document.getElementById('reg-' + id);
  const s = state.sales.get(id);
  if (!card || !s) return;
  const box = $('[data-role=sales]', card);
  if (s.error) {
    box.replaceChildren(el('p', { class: 'muted' }, t('reg.salesError') + s.error));
    return;
  }
  const vals = s.values.slice(0, 24);
  while (vals.length < 24) vals.push(0);
  box.replaceChildren(barChart(vals.map((v, h) => ({ label: String(h), value: v })),
                               t('reg.sales') + ': ' + id, money));
  const total = vals.reduce((a, b) => a + b, 0);
  if (!total) box.append(el('p', { class: 'muted' }, t('reg.salesNone')));
  else box.append(el('p', { class: 'muted' }, t('reg.salesTotal', { total: money(total), hour: vals.indexOf(Math.max(...vals)) })));
}

// A small bar chart as inline SVG: one bar per item, labels below.
function barChart(items, title, fmt, colour = 'bar') {
  const W = 360, H = 120, pad = 18, bw = (W - 4) / items.length;
  const max = Math.max(1, ...items.map((i) => i.value));
  const g = svg('svg', { viewBox: `0 0 ${W} ${H}`, role: 'img', 'aria-label': title, class: 'bars' });
  g.append(svg('title', {}, title));
  items.forEach((it, i) => {
    const h = ((H - pad - 4) * it.value) / max;
    const x = 2 + i * bw;
    const r = svg('rect', { x: x + 1, y: H - pad - h, width: Math.max(1, bw - 2), height: h, class: it.cls || colour });
    r.append(svg('title', {}, it.label + ': ' + fmt(it.value)));
    g.append(r);
    if (items.length <= 12 || i % 3 === 0) g.append(svg('text', { x: x + bw / 2, y: H - 4, 'text-anchor': 'middle', class: 'axis' }, it.label));
  });
  g.append(svg('line', { x1: 0, x2: W, y1: H - pad, y2: H - pad, class: 'baseline' }));
  return g;
}

async function printReport(id, name) {
  const out = $('#reg-' + id + ' [data-role=report-result]');
  if (name === 'daily') {
    $('#confirm-text').textContent = t('confirm.fiscal', { reg: id });
    const dlg = $('#confirm');
    dlg.returnValue = '';
    dlg.showModal();
    const answer = await new Promise((res) => dlg.addEventListener('close', () => res(dlg.returnValue), { once: true }));
    if (answer !== 'ok') return;
  }
  out.textContent = '';
  try {
    const j = await api('POST', '/v1/registers/' + encodeURIComponent(id) + '/reports/' + name, {},
                        { key: newKey('report'), wait: 1 });
    putJob(j);
    renderJobs();
    out.textContent = t('reg.printed', { id: j.id, state: I18N.jobState(j.state) });
    out.dataset.job = j.id;
  } catch (e) {
    out.textContent = problemText(e);
  }
}

// ---- jobs -----------------------------------------------------------------

function putJob(j) {
  // A list read while events arrive may hold an older view of a job.
  const had = state.jobs.get(j.id);
  if (had && had.updated > j.updated) return;
  state.jobs.set(j.id, j);
  if (state.jobs.size > MAX_JOBS) {
    const oldest = [...state.jobs.values()].filter((x) => x.state !== 'unknown').sort((a, b) => seq(a) - seq(b))[0];
    if (oldest) state.jobs.delete(oldest.id);
  }
  for (const [id, out] of document.querySelectorAll('[data-role=report-result]').entries()) {
    if (out.dataset.job === j.id) out.textContent = t('reg.printed', { id: j.id, state: I18N.jobState(j.state) });
  }
}
const seq = (j) => Number(j.id.slice(1));

async function loadJobs() {
  // The newest jobs: the list runs oldest first from a cursor.
  let after = state.jobCursor;
  for (let page = 0; page < 20; page++) {
    const d = await api('GET', '/v1/jobs?limit=1000&after=' + after);
    for (const j of d.jobs) putJob(j);
    if (d.jobs.length < 1000) { after = d.next; break; }
    after = d.next;
  }
  state.jobCursor = after;
  // Every unknown job, however old.
  const u = await api('GET', '/v1/jobs?state=unknown&limit=1000');
  for (const j of u.jobs) putJob(j);
  renderJobs();
}

function renderJobs() {
  const reg = $('#jobs-register').value, st = $('#jobs-state').value;
  const jobs = [...state.jobs.values()].sort((a, b) => seq(b) - seq(a));
  const body = $('#jobs-table tbody');
  body.replaceChildren();
  for (const j of jobs) {
    if ((reg && j.register !== reg) || (st && j.state !== st)) continue;
    if (body.children.length >= 100) break;
    const status = j.status ? I18N.statusText(j.status, j.text) : '';
    const actions = el('td');
    if (j.state === 'queued' && can('operate')) {
      actions.append(el('button', { type: 'button', onclick: () => cancelJob(j.id) }, t('jobs.cancel')));
    }
    const stateText = I18N.jobState(j.state) + (j.state === 'settled' ? ' (' + I18N.jobState(j.outcome) + ')' : '');
    body.append(el('tr', { class: 'job-' + j.state, 'data-job': j.id },
      el('td', {}, j.id), el('td', {}, j.register), el('td', {}, j.command.replace(/^TRVS_/, '')),
      el('td', {}, el('span', { class: 'badge job-state-' + j.state }, stateText)),
      el('td', {}, status), el('td', {}, time(j.updated)), actions));
  }
  renderUnknown();
  renderThroughput();
}

async function cancelJob(id) {
  try { putJob(await api('POST', '/v1/jobs/' + id + '/cancel', {})); } catch (e) { say(problemText(e)); }
  renderJobs();
}

function renderUnknown() {
  const unknown = [...state.jobs.values()].filter((j) => j.state === 'unknown').sort((a, b) => seq(a) - seq(b));
  $('#unknown-panel').hidden = unknown.length === 0;
  const list = $('#unknown-list');
  // Keep a form someone is typing in.
  const open = new Set(unknown.map((j) => j.id));
  for (const li of Array.from(list.children)) if (!open.has(li.dataset.job)) li.remove();
  for (const j of unknown) {
    if (list.querySelector(`[data-job="${j.id}"]`)) continue;
    list.append(unknownItem(j));
  }
}

function unknownItem(j) {
  const id = j.id;
  const note = el('textarea', { id: 'note-' + id, rows: 2, required: true });
  const radio = (value, label) => el('label', { class: 'inline' },
    el('input', { type: 'radio', name: 'outcome-' + id, value, required: true }), ' ', label);
  const check = el('p', { class: 'readback', role: 'status' });
  const form = el('form', { class: 'settle needs-operate', onsubmit: (ev) => { ev.preventDefault(); settle(j, form, check); } },
    el('fieldset', {}, el('legend', {}, t('jobs.outcome')), radio('done', t('jobs.done')), radio('not_done', t('jobs.notDone'))),
    el('label', { for: 'note-' + id }, t('jobs.reason')), note,
    el('button', { type: 'submit' }, t('jobs.settle')));
  const readback = j.kind.startsWith('table:')
    ? el('button', { type: 'button', onclick: () => readBack(j, check, form) }, t('jobs.readback')) : null;
  const li = el('li', { class: 'unknown-job', 'data-job': id },
    el('strong', {}, id), ' ', j.register, ' · ', j.command.replace(/^TRVS_/, ''), ' · ',
    el('code', {}, JSON.stringify(j.args)), el('br'),
    el('span', { class: 'muted' }, I18N.statusText(j.status, j.text)), el('br'),
    readback, check, form);
  applyScopes(li);
  return li;
}

// Reads the record the job would have written and compares it with the job's
// arguments; the person still decides, with the answer filled in.
const READBACK = {
  'table:articles': { path: 'articles', key: 'numer_rekordu', fields: { nazwa: 'nazwa', barcode: 'kod_kreskowy_podstawowy', cena: 'cena' } },
};
async function readBack(j, out, form) {
  const rb = READBACK[j.kind];
  if (!rb) { out.textContent = t('jobs.noReadback'); return; }
  try {
    const rec = await api('GET', '/v1/registers/' + encodeURIComponent(j.register) + '/' + rb.path + '/' + j.args[rb.key]);
    const diffs = Object.entries(rb.fields).filter(([w, r]) => j.args[w] !== undefined && String(rec[r]) !== String(j.args[w]))
      .map(([w, r]) => `${w}: ${rec[r]} ≠ ${j.args[w]}`);
    const done = diffs.length === 0;
    out.textContent = done ? t('jobs.matches') : t('jobs.differs') + diffs.join(', ');
    form.querySelector(`input[value=${done ? 'done' : 'not_done'}]`).checked = true;
    const note = form.querySelector('textarea');
    if (!note.value) note.value = out.textContent;
  } catch (e) {
    out.textContent = problemText(e);
  }
}

async function settle(j, form, out) {
  const outcome = form.querySelector('input[type=radio]:checked').value;
  const note = form.querySelector('textarea').value.trim();
  try {
    const r = await api('POST', '/v1/jobs/' + j.id + '/settle', { outcome, note });
    putJob(r);
    say(t('jobs.settled', { id: r.id, outcome: I18N.jobState(r.outcome) }));
    renderJobs();
    refreshRegister(j.register);
  } catch (e) {
    out.textContent = problemText(e);
  }
}

// Throughput and errors over the last hour, in 5-minute steps.
function renderThroughput() {
  const now = Date.now() / 1000, step = 300;
  const ok = new Array(12).fill(0), bad = new Array(12).fill(0);
  for (const j of state.jobs.values()) {
    const age = now - j.updated;
    if (age < 0 || age >= 3600) continue;
    const i = 11 - Math.floor(age / step);
    if (j.state === 'succeeded' || (j.state === 'settled' && j.outcome === 'done')) ok[i]++;
    else if (['failed', 'unknown'].includes(j.state)) bad[i]++;
  }
  const items = [];
  for (let i = 0; i < 12; i++) {
    const label = '-' + (60 - i * 5);
    items.push({ label, value: ok[i], cls: 'ok' });
    items.push({ label: '', value: bad[i], cls: 'bad' });
  }
  const chart = barChart(items, t('jobs.throughput'), (v) => String(v));
  $('#throughput').replaceChildren(chart, el('p', { class: 'muted' }, t('jobs.legend')));
}

// ---- journal ----------------------------------------------------------------

async function loadJournal() {
  const reg = $('#journal-register').value;
  const all = [];
  let after = 0;
  for (let page = 0; page < 20; page++) {
    const d = await api('GET', (reg ? '/v1/registers/' + encodeURIComponent(reg) + '/journal' : '/v1/journal') + '?limit=1000&after=' + after);
    all.push(...d.records);
    if (d.records.length < 1000) break;
    after = d.next;
  }
  // A line of a receipt has no date of its own: it takes the date of the
  // receipt that follows it in its register's journal.
  const next = new Map();
  for (let i = all.length - 1; i >= 0; i--) {
    const r = all[i], d = (r.record || {}).data;
    if (typeof d === 'string' && /^\d{4}-\d{2}-\d{2}/.test(d)) next.set(r.register, d.slice(0, 10));
    r.day = next.get(r.register) || new Date(r.collected * 1000).toISOString().slice(0, 10);
  }
  state.journal = all;
  const types = $('#journal-type');
  const keep = types.value;
  const seen = new Set(all.map(recordType));
  for (const o of Array.from(types.options)) if (o.value) o.remove();
  for (const ty of [...seen].sort()) types.append(el('option', { value: ty }, ty));
  types.value = seen.has(keep) ? keep : '';
  renderJournal();
}

function recordType(r) {
  const rec = r.record || {};
  return rec.type_name || (rec.typ !== undefined ? 'type ' + rec.typ : 'record');
}
const recordDate = (r) => r.day;

function renderJournal() {
  const date = $('#journal-date').value, type = $('#journal-type').value;
  const body = $('#journal-table tbody');
  body.replaceChildren();
  const rows = state.journal.filter((r) => (!date || recordDate(r) === date) && (!type || recordType(r) === type));
  for (const r of rows.slice(-500).reverse()) {
    const rec = r.record || {};
    const raw = rec.wartosc ?? rec.kwota ?? rec.do_zaplaty;
    const value = raw === undefined || raw === '' ? '' : money(raw);
    const details = Object.entries(rec).filter(([k]) => !['typ', 'type_name', 'data', 'wartosc', 'kwota', 'pelny', 'nastepny'].includes(k))
      .map(([k, v]) => k + ': ' + (typeof v === 'object' ? JSON.stringify(v) : v)).join(', ');
    body.append(el('tr', {}, el('td', {}, r.seq), el('td', {}, r.register), el('td', {}, recordType(r)),
      el('td', {}, recordDate(r)), el('td', { class: 'num' }, value), el('td', { class: 'details' }, details)));
  }
  $('#journal-count').textContent = t('journal.count', { n: rows.length });
}

async function collectJournal() {
  const reg = $('#journal-register').value || [...state.registers.keys()][0];
  try {
    const s = await api('POST', '/v1/registers/' + encodeURIComponent(reg) + '/journal/collect', {});
    say(t('journal.collected', { added: s.added }));
    await loadJournal();
  } catch (e) { say(problemText(e)); }
}

// ---- articles ---------------------------------------------------------------

// The article as read, mapped onto the arguments that write it whole.
const FROM_READ = { nazwa: 'nazwa', barcode: 'kod_kreskowy_podstawowy', cena: 'cena', ilosc_min: 'min_stan',
  numer_opakowania: 'numer_opak', numer_MU: 'numerMU', numer_rabatu: 'numer_rabatu', numer_grupy: 'numer_grupy',
  numer_VAT: 'stawka_PTU', format_ilosci: 'format_ilosci', cena_sztywna: 'flaga_ceny', czy_rabat: 'flaga_rabatow' };
let article = null;

async function findArticle(ev) {
  ev.preventDefault();
  const reg = $('#article-register').value, n = Number($('#article-number').value);
  $('#article-error').textContent = '';
  $('#article-result').textContent = '';
  try {
    const rec = await api('GET', '/v1/registers/' + encodeURIComponent(reg) + '/articles/' + n);
    const args = { czy_notatnik: 0 };
    for (const [w, r] of Object.entries(FROM_READ)) args[w] = rec[r] ?? 0;
    article = { reg, n, args };
    const form = $('#article-form');
    for (const input of form.querySelectorAll('input[name]')) input.value = args[input.name] ?? '';
    $('#article-title').textContent = t('articles.title', { n, reg });
    form.hidden = false;
    for (const input of form.querySelectorAll('input')) input.readOnly = !can('operate');
    applyScopes(form);
    $('#a-nazwa').focus();
  } catch (e) {
    $('#article-form').hidden = true;
    $('#article-error').textContent = problemText(e);
  }
}

async function saveArticle(ev) {
  ev.preventDefault();
  if (!article) return;
  const form = $('#article-form');
  const args = { ...article.args };
  for (const input of form.querySelectorAll('input[name]')) {
    args[input.name] = input.type === 'number' ? Number(input.value) : input.value;
  }
  const out = $('#article-result');
  out.textContent = '';
  try {
    const j = await api('PUT', '/v1/registers/' + encodeURIComponent(article.reg) + '/articles/' + article.n, args,
                        { key: newKey('article'), wait: 10 });
    putJob(j);
    renderJobs();
    out.textContent = t('articles.saved', { id: j.id, state: I18N.jobState(j.state) });
    out.dataset.state = j.state;
  } catch (e) {
    out.textContent = problemText(e);
  }
}

// ---- views ------------------------------------------------------------------

function showView() {
  const name = (location.hash || '#registers').slice(1);
  state.view = ['registers', 'jobs', 'journal', 'articles'].includes(name) ? name : 'registers';
  for (const v of document.querySelectorAll('.view')) v.hidden = v.id !== 'view-' + state.view;
  for (const a of document.querySelectorAll('#nav a')) {
    if (a.dataset.view === state.view) a.setAttribute('aria-current', 'page');
    else a.removeAttribute('aria-current');
  }
  if (state.view === 'journal') loadJournal().catch((e) => say(problemText(e)));
  if (state.view === 'jobs') renderJobs();
}

async function start() {
  $('#nav').hidden = false;
  $('#signout').hidden = !state.me.token_needed;
  $('#who').textContent = state.me.token_needed
    ? state.me.name + (can('operate') ? '' : ' (' + t('signin.readonly') + ')') : '';
  applyScopes();
  // Listening first: nothing that happens while the lists load is missed.
  listen();
  await loadRegisters();
  await loadJobs();
  showView();
}

async function boot() {
  const lang = localStorage.getItem('trvgw.lang') || (navigator.language || 'en').slice(0, 2);
  $('#lang').value = lang === 'pl' ? 'pl' : 'en';
  await I18N.set($('#lang').value);
  $('#lang').addEventListener('change', async () => {
    localStorage.setItem('trvgw.lang', $('#lang').value);
    await I18N.set($('#lang').value);
    if (state.me) {
      for (const r of state.registers.values()) {
        const old = document.getElementById('reg-' + r.id);
        const card = registerCard(r);
        old.replaceWith(card);
        renderRegister(r);
      }
      applyScopes();
      $('#unknown-list').replaceChildren();
      renderJobs();
      renderJournal();
    }
  });
  $('#signin-form').addEventListener('submit', signIn);
  $('#signout').addEventListener('click', signOut);
  $('#jobs-register').addEventListener('change', renderJobs);
  $('#jobs-state').addEventListener('change', renderJobs);
  $('#journal-form').addEventListener('submit', (ev) => { ev.preventDefault(); loadJournal().catch((e) => say(problemText(e))); });
  $('#journal-date').addEventListener('change', renderJournal);
  $('#journal-type').addEventListener('change', renderJournal);
  $('#journal-collect').addEventListener('click', collectJournal);
  $('#article-find').addEventListener('submit', findArticle);
  $('#article-form').addEventListener('submit', saveArticle);
  window.addEventListener('hashchange', showView);
  window.addEventListener('pagehide', () => { if (state.events) state.events.close(); });
  setInterval(() => { if (state.me && state.view === 'jobs') renderThroughput(); }, 30000);

  state.me = await api('GET', '/v1/session');
  if (!state.me.signed_in) showSignIn();
  else await start();
}

boot().catch((e) => say(t('error') + ': ' + e.message));

// The page's texts in English and Polish. The library's status texts come
// from its own language files, served by the gateway at /lang/.
'use strict';

const TEXTS = {
  en: {
    skip: 'Skip to content', title: 'Register support', language: 'Language', signout: 'Sign out',
    'nav.registers': 'Registers', 'nav.jobs': 'Jobs', 'nav.journal': 'Sale journal', 'nav.articles': 'Articles',
    'signin.title': 'Sign in', 'signin.token': 'Access token', 'signin.button': 'Sign in',
    'signin.bad': 'That token is not known.', 'signin.readonly': 'read only',
    all: 'All', register: 'Register',
    'reg.state': 'Connection', 'reg.since': 'since', 'reg.lastError': 'Last error', 'reg.none': 'none',
    'reg.queued': 'Jobs waiting', 'reg.heldBy': 'Held by unknown jobs', 'reg.sales': "Today's sales by hour",
    'reg.salesRefresh': 'Read again', 'reg.salesNone': 'No sales today.',
    'reg.salesTotal': 'Total {total}; busiest hour {hour}:00', 'reg.salesError': 'Could not read the hourly statistics: ',
    'report.RepPTU': 'VAT rates', 'report.RepCashReg': 'Cash register', 'report.RepCfgSale': 'Sale settings',
    'report.RepCfgHardware': 'Hardware', 'report.RepNoFskDaily': 'Daily (non-fiscal)', 'report.daily': 'Daily fiscal report',
    'reg.report': 'Report', 'reg.print': 'Print', 'reg.printed': 'Report job {id}: {state}',
    'state.online': 'online', 'state.offline': 'offline', 'state.opening': 'connecting', 'state.closed': 'closed',
    'jobs.throughput': 'Last hour: jobs per 5 minutes', 'jobs.unknown': 'Jobs with an unknown outcome',
    'jobs.unknownHelp': 'The register got these but its answer was lost. They are never sent again by themselves; later jobs of the register may wait until they are settled.',
    'jobs.state': 'State', 'jobs.recent': 'Recent jobs, newest first', 'jobs.id': 'Job', 'jobs.command': 'Command',
    'jobs.status': 'Status', 'jobs.updated': 'Updated', 'jobs.actions': 'Actions', 'jobs.cancel': 'Cancel',
    'jobs.readback': 'Check on the register', 'jobs.outcome': 'What happened on the register?',
    'jobs.done': 'It was done', 'jobs.notDone': 'It was not done', 'jobs.reason': 'Reason (recorded)',
    'jobs.settle': 'Settle', 'jobs.settled': 'Job {id} settled: {outcome}', 'jobs.matches': 'The register holds what this job wrote: it was done.',
    'jobs.differs': 'The register does not hold what this job wrote: ', 'jobs.noReadback': 'This job cannot be read back; decide from the register or its printout.',
    'jobs.succeeded': 'succeeded', 'jobs.failed': 'failed or unknown', 'jobs.legend': 'green: succeeded, red: failed or unknown',
    'journal.date': 'Date', 'journal.type': 'Type', 'journal.search': 'Search', 'journal.collect': 'Collect now',
    'journal.value': 'Value', 'journal.details': 'Details', 'journal.count': '{n} records',
    'journal.collected': 'Collected: {added} new records',
    'articles.number': 'Article number', 'articles.find': 'Look up', 'articles.name': 'Name', 'articles.barcode': 'Barcode',
    'articles.price': 'Price (grosze)', 'articles.minStock': 'Minimum stock', 'articles.vat': 'VAT rate number',
    'articles.group': 'Group number', 'articles.unit': 'Unit number', 'articles.save': 'Save to the register',
    'articles.title': 'Article {n} on {reg}', 'articles.saved': 'Saved: job {id} {state}',
    'confirm.title': 'Are you sure?', 'confirm.cancel': 'Cancel', 'confirm.ok': 'Print the fiscal report',
    'confirm.fiscal': 'The daily fiscal report on {reg} closes the day in the fiscal memory. It cannot be undone.',
    'events.lost': 'Live updates interrupted; reconnecting.', 'events.ok': 'Live updates on.',
    error: 'Error',
  },
  pl: {
    skip: 'Przejdź do treści', title: 'Obsługa kas', language: 'Język', signout: 'Wyloguj',
    'nav.registers': 'Kasy', 'nav.jobs': 'Zadania', 'nav.journal': 'Dziennik sprzedaży', 'nav.articles': 'Towary',
    'signin.title': 'Logowanie', 'signin.token': 'Token dostępu', 'signin.button': 'Zaloguj',
    'signin.bad': 'Nieznany token.', 'signin.readonly': 'tylko odczyt',
    all: 'Wszystkie', register: 'Kasa',
    'reg.state': 'Połączenie', 'reg.since': 'od', 'reg.lastError': 'Ostatni błąd', 'reg.none': 'brak',
    'reg.queued': 'Zadania w kolejce', 'reg.heldBy': 'Wstrzymane przez zadania o nieznanym wyniku',
    'reg.sales': 'Dzisiejsza sprzedaż wg godzin', 'reg.salesTotal': 'Razem {total}; najwięcej o {hour}:00', 'reg.salesRefresh': 'Odczytaj ponownie', 'reg.salesNone': 'Dziś brak sprzedaży.',
    'reg.salesError': 'Nie udało się odczytać statystyki godzinowej: ',
    'report.RepPTU': 'Stawki VAT', 'report.RepCashReg': 'Kasa', 'report.RepCfgSale': 'Ustawienia sprzedaży',
    'report.RepCfgHardware': 'Sprzęt', 'report.RepNoFskDaily': 'Dobowy (niefiskalny)', 'report.daily': 'Dobowy raport fiskalny',
    'reg.report': 'Raport', 'reg.print': 'Drukuj', 'reg.printed': 'Zadanie raportu {id}: {state}',
    'state.online': 'połączona', 'state.offline': 'rozłączona', 'state.opening': 'łączenie', 'state.closed': 'zamknięta',
    'jobs.throughput': 'Ostatnia godzina: zadania na 5 minut', 'jobs.unknown': 'Zadania o nieznanym wyniku',
    'jobs.unknownHelp': 'Kasa je otrzymała, ale odpowiedź zaginęła. Nigdy nie są wysyłane ponownie same; kolejne zadania kasy mogą czekać na ich rozstrzygnięcie.',
    'jobs.state': 'Stan', 'jobs.recent': 'Ostatnie zadania, od najnowszych', 'jobs.id': 'Zadanie', 'jobs.command': 'Polecenie',
    'jobs.status': 'Status', 'jobs.updated': 'Zmiana', 'jobs.actions': 'Działania', 'jobs.cancel': 'Anuluj',
    'jobs.readback': 'Sprawdź w kasie', 'jobs.outcome': 'Co stało się w kasie?',
    'jobs.done': 'Wykonane', 'jobs.notDone': 'Niewykonane', 'jobs.reason': 'Uzasadnienie (zapisywane)',
    'jobs.settle': 'Rozstrzygnij', 'jobs.settled': 'Zadanie {id} rozstrzygnięte: {outcome}',
    'jobs.matches': 'Kasa zawiera to, co zapisało zadanie: zostało wykonane.',
    'jobs.differs': 'Kasa nie zawiera tego, co zapisało zadanie: ', 'jobs.noReadback': 'Tego zadania nie da się odczytać z kasy; zdecyduj na podstawie kasy lub wydruku.',
    'jobs.succeeded': 'udane', 'jobs.failed': 'nieudane lub nieznane', 'jobs.legend': 'zielone: udane, czerwone: nieudane lub nieznane',
    'journal.date': 'Data', 'journal.type': 'Rodzaj', 'journal.search': 'Szukaj', 'journal.collect': 'Pobierz teraz',
    'journal.value': 'Wartość', 'journal.details': 'Szczegóły', 'journal.count': 'Rekordów: {n}',
    'journal.collected': 'Pobrano nowych rekordów: {added}',
    'articles.number': 'Numer towaru', 'articles.find': 'Wyszukaj', 'articles.name': 'Nazwa', 'articles.barcode': 'Kod kreskowy',
    'articles.price': 'Cena (grosze)', 'articles.minStock': 'Stan minimalny', 'articles.vat': 'Numer stawki VAT',
    'articles.group': 'Numer grupy', 'articles.unit': 'Numer jednostki miary', 'articles.save': 'Zapisz w kasie',
    'articles.title': 'Towar {n} w kasie {reg}', 'articles.saved': 'Zapisano: zadanie {id} {state}',
    'confirm.title': 'Na pewno?', 'confirm.cancel': 'Anuluj', 'confirm.ok': 'Drukuj raport fiskalny',
    'confirm.fiscal': 'Raport fiskalny dobowy w kasie {reg} zamyka dzień w pamięci fiskalnej. Nie można go cofnąć.',
    'events.lost': 'Przerwane aktualizacje na żywo; ponowne łączenie.', 'events.ok': 'Aktualizacje na żywo włączone.',
    error: 'Błąd',
  },
};

// Job states as people say them.
const JOB_STATES = {
  en: { queued: 'queued', sending: 'sending', succeeded: 'succeeded', failed: 'failed', unknown: 'unknown',
        settled: 'settled', cancelled: 'cancelled', done: 'done', not_done: 'not done' },
  pl: { queued: 'w kolejce', sending: 'wysyłane', succeeded: 'wykonane', failed: 'nieudane', unknown: 'nieznany wynik',
        settled: 'rozstrzygnięte', cancelled: 'anulowane', done: 'wykonane', not_done: 'niewykonane' },
};

const I18N = {
  lang: 'en',
  statusTexts: { en: null, pl: null },

  t(key, vars) {
    let s = (TEXTS[this.lang] && TEXTS[this.lang][key]) || TEXTS.en[key] || key;
    if (vars) for (const [k, v] of Object.entries(vars)) s = s.split('{' + k + '}').join(String(v));
    return s;
  },
  jobState(s) { return (JOB_STATES[this.lang] || JOB_STATES.en)[s] || s; },

  // The language file: "code<TAB>text" lines, '#' comments, first line of a code wins.
  async loadStatusTexts(lang) {
    if (this.statusTexts[lang]) return;
    const map = new Map();
    try {
      const r = await fetch('lang/tarvik_' + lang + '.lng');
      if (r.ok) {
        for (const line of (await r.text()).split('\n')) {
          const m = /^(\d+)\s+(.*)$/.exec(line);
          if (m && !map.has(Number(m[1]))) map.set(Number(m[1]), m[2].trim());
        }
      }
    } catch (e) { /* the gateway's English text is shown instead */ }
    this.statusTexts[lang] = map;
  },

  // A status's text in the chosen language; `fallback` is the gateway's (English) text.
  statusText(code, fallback) {
    if (!code) return fallback || '';
    const map = this.statusTexts[this.lang];
    if (map && map.has(code)) return map.get(code);
    const EXEC = 0x430000, TRANS = 0x440000;
    if (this.lang === 'pl') {
      if (code >= EXEC && code < EXEC + 0x10000) return 'Kasa odrzuciła polecenie (błąd wykonania ' + (code - EXEC) + ')';
      if (code >= TRANS && code < TRANS + 0x10000) return 'Błąd transmisji ' + (code - TRANS);
    }
    return fallback || 'status 0x' + code.toString(16).toUpperCase();
  },

  async set(lang) {
    this.lang = TEXTS[lang] ? lang : 'en';
    document.documentElement.lang = this.lang;
    await this.loadStatusTexts(this.lang);
    for (const el of document.querySelectorAll('[data-t]')) el.textContent = this.t(el.dataset.t);
  },
};

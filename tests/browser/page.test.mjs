// The gateway's support page in a real browser: sign-in and scopes, a
// register going offline and back, a job posted and finished, a job made
// unknown and settled from the page, the journal, an article edited and
// checked on the register with trvctl, Polish, and a phone-sized screen.
// Each main view is saved as a screenshot (see harness.mjs: SHOTS).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { Gateway, Sim, eventually, hashToken, launchBrowser, shot, trvctl, watchedPage } from './harness.mjs';

const ADMIN = 'admin-' + Math.random().toString(36).slice(2);
const VIEWER = 'viewer-' + Math.random().toString(36).slice(2);

describe('support page', () => {
  let r1, r2, gw, browser, w, page;

  before(async () => {
    r1 = await new Sim().start();
    r2 = await new Sim().start();
    gw = await new Gateway({
      tokens: [
        { name: 'support', sha256: await hashToken(ADMIN), scopes: ['read', 'operate', 'fiscal'] },
        { name: 'viewer', sha256: await hashToken(VIEWER), scopes: ['read'] },
      ],
      registers: [
        { id: 'r1', url: `tcp://127.0.0.1:${r1.port}`, timeouts: { answer_ms: 3000 },
          journal: { collect: true, interval_s: 3600 } },
        { id: 'r2', url: `tcp://127.0.0.1:${r2.port}`, timeouts: { answer_ms: 3000, print_ms: 3000 } },
      ],
    }).start();
    browser = await launchBrowser();
  });

  after(async () => {
    if (w) await w.close();
    if (browser) await browser.close();
    if (gw) await gw.stop();
    for (const s of [r1, r2]) if (s) await s.stop();
  });

  // Every test ends with nothing having gone wrong on the page.
  const clean = () => assert.deepEqual(w.problems, [], 'console errors or failed requests');

  async function signIn(token) {
    await page.goto(gw.url + '/');
    await page.getByLabel('Access token').fill(token);
    await page.getByRole('button', { name: 'Sign in' }).click();
    await page.locator('#reg-r1').waitFor();
  }

  test('a read-only token sees no button that writes', async () => {
    w = await watchedPage(browser);
    page = w.page;
    await page.goto(gw.url + '/');
    await page.locator('#view-signin').waitFor();
    await shot(page, '01-sign-in');
    await signIn(VIEWER);
    await assert.doesNotReject(page.getByText('viewer (read only)').waitFor());
    await page.locator('#reg-r1 [data-role=state]').filter({ hasText: 'online' }).waitFor();
    // No print, collect or save controls; the views still read.
    assert.equal(await page.locator('form.report:visible').count(), 0);
    await page.getByRole('link', { name: 'Sale journal' }).click();
    assert.equal(await page.getByRole('button', { name: 'Collect now' }).isVisible(), false);
    await page.getByRole('link', { name: 'Articles' }).click();
    await page.getByLabel('Article number').fill('1');
    await page.getByRole('button', { name: 'Look up' }).click();
    await page.locator('#article-form').waitFor();
    assert.equal(await page.getByRole('button', { name: 'Save to the register' }).isVisible(), false);
    assert.equal(await page.locator('#a-nazwa').isEditable(), false);
    // The cookie is the credential: no script can read it.
    assert.equal(await page.evaluate(() => document.cookie), '');
    const cookies = await w.context.cookies();
    const c = cookies.find((x) => x.name === 'trvgw_session');
    assert.ok(c && c.httpOnly && c.sameSite === 'Strict', JSON.stringify(cookies));
    await page.getByRole('button', { name: 'Sign out' }).click();
    await page.locator('#view-signin').waitFor();
    clean();
    await w.close();
  });

  test('registers live: one goes offline and comes back', async () => {
    w = await watchedPage(browser);
    page = w.page;
    await signIn(ADMIN);
    const state = (id) => page.locator(`#reg-${id} [data-role=state]`);
    await state('r1').filter({ hasText: 'online' }).waitFor();
    await state('r2').filter({ hasText: 'online' }).waitFor();
    // Today's sales by hour, drawn from the register's hourly statistics.
    await page.locator('#reg-r1 svg.bars').waitFor();
    assert.equal(await page.locator('#reg-r1 svg.bars rect').count(), 24);
    await shot(page, '02-registers');

    await r1.stop();
    // The gateway notices when it next talks to the register: a job makes it talk.
    await page.locator('#report-r1').selectOption('RepPTU');
    await page.locator('#reg-r1').getByRole('button', { name: 'Print' }).click();
    await state('r1').filter({ hasText: 'offline' }).waitFor({ timeout: 30000 });
    assert.notEqual((await page.locator('#reg-r1 [data-role=error]').textContent()).trim(), 'none');
    await shot(page, '03-register-offline');
    await r1.start();
    await state('r1').filter({ hasText: 'online' }).waitFor({ timeout: 60000 });
    clean();
  });

  test('a report job is posted from the page and seen to finish', async () => {
    await page.locator('#report-r1').selectOption('RepPTU');
    await page.locator('#reg-r1').getByRole('button', { name: 'Print' }).click();
    const result = page.locator('#reg-r1 [data-role=report-result]');
    await result.filter({ hasText: /succeeded/ }).waitFor({ timeout: 30000 });
    const id = /Report job (j\d+)/.exec(await result.textContent())[1];
    await page.getByRole('link', { name: 'Jobs' }).click();
    await page.locator(`#jobs-table tr[data-job=${id}]`).filter({ hasText: 'succeeded' }).waitFor();
    // A fiscal report asks first; cancelling sends nothing.
    await page.getByRole('link', { name: 'Registers' }).click();
    const before = (await gw.api('GET', '/v1/jobs?limit=1000', ADMIN)).body.jobs.length;
    await page.locator('#report-r1').selectOption('daily');
    await page.locator('#reg-r1').getByRole('button', { name: 'Print' }).click();
    await page.getByRole('dialog').waitFor();
    await page.getByRole('button', { name: 'Cancel' }).click();
    assert.equal((await gw.api('GET', '/v1/jobs?limit=1000', ADMIN)).body.jobs.length, before);
    clean();
  });

  test('a job whose answer is lost is unknown, and is settled from the page', async () => {
    // r2 takes the frame and never answers: frozen, then killed, so the
    // connection drops after the write.
    r2.freeze();
    await page.locator('#report-r2').selectOption('RepPTU');
    await page.locator('#reg-r2').getByRole('button', { name: 'Print' }).click();
    const result = page.locator('#reg-r2 [data-role=report-result]');
    await result.filter({ hasText: /Report job j\d+/ }).waitFor();
    const id = /Report job (j\d+)/.exec(await result.textContent())[1];
    await eventually(async () => (await gw.api('GET', '/v1/jobs/' + id, ADMIN)).body.state === 'sending', 'sending');
    await r2.stop('SIGKILL');
    await r2.start();
    await result.filter({ hasText: 'unknown' }).waitFor({ timeout: 30000 });

    await page.getByRole('link', { name: 'Jobs' }).click();
    const item = page.locator(`#unknown-list li[data-job=${id}]`);
    await item.waitFor();
    await page.locator(`#jobs-table tr.job-unknown[data-job=${id}]`).waitFor();
    await shot(page, '04-jobs-unknown');
    await item.getByLabel('It was not done').check();
    await item.getByLabel('Reason (recorded)').fill('No PTU printout came out of r2');
    await item.getByRole('button', { name: 'Settle' }).click();
    await item.waitFor({ state: 'detached' });
    await page.locator(`#jobs-table tr[data-job=${id}]`).filter({ hasText: 'settled (not done)' }).waitFor();
    const audit = await gw.api('GET', `/v1/jobs/${id}/settlements`, ADMIN);
    assert.equal(audit.body.settlements.length, 1);
    assert.equal(audit.body.settlements[0].note, 'No PTU printout came out of r2');
    assert.equal(audit.body.settlements[0].by, 'support');
    await shot(page, '05-jobs');
    clean();
  });

  test('the sale journal is collected and searched by date and type', async () => {
    await page.getByRole('link', { name: 'Sale journal' }).click();
    await page.locator('#journal-register').selectOption('r1');
    await page.getByRole('button', { name: 'Collect now' }).click();
    await page.locator('#journal-table tbody tr').first().waitFor();
    const all = await page.locator('#journal-table tbody tr').count();
    assert.ok(all > 3, 'records: ' + all);
    const types = await page.locator('#journal-type option').allTextContents();
    assert.ok(types.includes('finished receipt'), types.join());
    await page.locator('#journal-type').selectOption('finished receipt');
    const receipts = await page.locator('#journal-table tbody tr').count();
    assert.ok(receipts > 0 && receipts < all);
    for (const t of await page.locator('#journal-table tbody td:nth-child(3)').allTextContents()) assert.equal(t, 'finished receipt');
    const day = (await page.locator('#journal-table tbody td:nth-child(4)').first().textContent()).trim();
    await page.locator('#journal-date').fill(day);
    assert.ok(await page.locator('#journal-table tbody tr').count() > 0);
    await page.locator('#journal-date').fill('2001-01-01');
    assert.equal(await page.locator('#journal-table tbody tr').count(), 0);
    await page.locator('#journal-date').fill('');
    await page.locator('#journal-type').selectOption('');
    await shot(page, '06-journal');
    clean();
  });

  test('an article is edited on the page and read back with trvctl', async () => {
    await page.getByRole('link', { name: 'Articles' }).click();
    await page.locator('#article-register').selectOption('r1');
    await page.getByLabel('Article number').fill('1');
    await page.getByRole('button', { name: 'Look up' }).click();
    await page.locator('#article-form').waitFor();
    assert.notEqual(await page.getByLabel('Name').inputValue(), '');
    await page.getByLabel('Name').fill('CHLEB RAZOWY');
    await page.getByLabel('Price (grosze)').fill('555');
    await page.getByRole('button', { name: 'Save to the register' }).click();
    await page.locator('#article-result').filter({ hasText: 'succeeded' }).waitFor({ timeout: 20000 });
    await shot(page, '07-article');
    const out = JSON.parse(await trvctl(['--tcp', `127.0.0.1:${r1.port}`, '--json', 'call', 'TRVS_PLURead', '1', '0']));
    const text = JSON.stringify(out);
    assert.match(text, /CHLEB RAZOWY/);
    assert.match(text, /"5\.55"|"555"/);
    clean();
  });

  test('Polish texts, keyboard and labels, and a phone-sized screen', async () => {
    await page.getByRole('link', { name: 'Registers' }).click();
    await page.getByLabel('Language').selectOption('pl');
    await page.getByRole('link', { name: 'Kasy' }).waitFor();
    await page.locator('#reg-r1 [data-role=state]').filter({ hasText: 'połączona' }).waitFor();
    await shot(page, '08-registers-pl');
    await page.getByLabel('Język').selectOption('en');
    // Every control has a label a screen reader reads out.
    const unlabelled = await page.evaluate(() => Array.from(document.querySelectorAll('input, select, textarea'))
      .filter((e) => !e.labels?.length && !e.getAttribute('aria-label')).map((e) => e.id || e.name || e.outerHTML));
    assert.deepEqual(unlabelled, []);
    // The keyboard reaches the views: the skip link first, then the tabs.
    await page.reload();
    await page.locator('#reg-r1').waitFor();
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Skip to content');
    await page.keyboard.press('Tab');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Jobs');
    await page.keyboard.press('Enter');
    await page.locator('#view-jobs').waitFor();
    clean();
    await w.close();

    // 360 px wide: nothing runs off the side.
    w = await watchedPage(browser, { width: 360, height: 800 });
    page = w.page;
    await signIn(ADMIN);
    await page.locator('#reg-r1 svg.bars').waitFor();
    for (const view of ['registers', 'jobs', 'journal', 'articles']) {
      await page.goto(gw.url + '/#' + view);
      await page.locator('#view-' + view).waitFor();
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflow <= 1, `${view} is ${overflow}px wider than the screen`);
    }
    await page.goto(gw.url + '/#registers');
    await page.locator('#reg-r1 svg.bars').waitFor();
    await shot(page, '09-registers-360px');
    clean();
  });
});

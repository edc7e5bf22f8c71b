// The page's texts for percentages, reset times, addresses and best accounts, read from the DOM it draws.
// The calls are answered by the test with chosen documents, at a fixed browser clock in UTC.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, text, texts, card, waitForRefresh } from './lib/browser.mjs';
import { accountDoc, answerApi, modelRow, noPool, pool, quotaDoc, statusDoc, windowLimit } from './lib/answers.mjs';

const T = Date.UTC(2025, 2, 7, 9, 5, 0); // Fri Mar 7 2025 09:05:00 UTC
const at = (seconds) => new Date(T + seconds * 1000).toISOString().replace('.000Z', 'Z');

let browser;
let stack;
before(async () => {
  browser = await launchBrowser();
  stack = await Stack.start();
});
after(async () => {
  await browser.close();
  stack.stop();
});

// Loads the page with one account per entry of `docs` (address -> account object) and waits for the refresh.
async function show(docs, { selected = '', clock = 'fixed' } = {}) {
  const opened = await openPage(browser);
  if (clock === 'fixed') await opened.page.clock.setFixedTime(T);
  else await opened.page.clock.install({ time: T });
  await answerApi(opened.page, {
    status: () => statusDoc({ accounts: Object.keys(docs), selected }),
    quota: (email) => quotaDoc(docs[email]),
  });
  await opened.page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(opened.page);
  return opened;
}

const emailOf = (i) => `acct${String(i).padStart(2, '0')}@example.org`;

test('percentage text, colour class and meter of a pool', async () => {
  const rows = [
    { pct: 9.99, text: '10.0%', cls: 'bad', width: 10 },
    { pct: 10, text: '10.0%', cls: 'warn', width: 10 },
    { pct: 49.99, text: '50.0%', cls: 'warn', width: 50 },
    { pct: 50, text: '50.0%', cls: 'ok', width: 50 },
    { pct: 62.25, text: '62.3%', cls: 'ok', width: 62.3 },
    { pct: 0, text: '0.0%', cls: 'bad', width: 0 },
    { pct: 100, exhausted: true, text: 'EXHAUSTED', cls: 'bad', width: 0 },
    { pct: 30, exhausted: true, text: 'EXHAUSTED', cls: 'bad', width: 0 },
    { pct: null, text: 'EXHAUSTED', cls: 'bad', width: 0 },
    { pct: 150, text: '150.0%', cls: 'ok', width: 100 },
    { pct: 1e6, text: '1000000.0%', cls: 'ok', width: 100 },
    { pct: -1, text: 'N/A', cls: 'dim', width: 0, reset: 'No buckets reported' },
    { pct: -0.5, text: 'N/A', cls: 'dim', width: 0, reset: 'No buckets reported' },
  ];
  const docs = Object.fromEntries(rows.map((r, i) => [emailOf(i),
    accountDoc(emailOf(i), { gemini: pool(r.pct, { exhausted: !!r.exhausted }) })]));
  const { page, errors, context } = await show(docs);
  for (const [i, r] of rows.entries()) {
    const box = card(page, emailOf(i)).locator('.pool').first();
    const seen = await box.evaluate((b) => ({
      text: b.querySelector('.pool-pct').textContent,
      cls: b.querySelector('.pool-pct').className,
      width: parseFloat(b.querySelector('.meter > i').style.width),
      fill: b.querySelector('.meter > i').className,
      reset: b.querySelector('.pool-reset').textContent,
    }));
    const label = `pct ${r.pct}${r.exhausted ? ' exhausted' : ''}`;
    assert.equal(seen.text, r.text, label);
    assert.equal(seen.cls, 'pool-pct ' + r.cls, label);
    assert.equal(seen.width, r.width, label);
    assert.equal(seen.fill, r.cls === 'dim' ? '' : r.cls, label);
    assert.equal(seen.reset, r.reset || 'Reset: -', label);
  }
  assert.deepEqual(errors, []);
  await context.close();
});

test('model rows: percentage or EXH, colour class, short reset text and tooltip', async () => {
  const models = [
    { row: modelRow('m-exh', 100, { exhausted: true }), pct: 'EXH', cls: 'bad' },
    { row: modelRow('m-low', 9.99), pct: '10.0%', cls: 'bad' },
    { row: modelRow('m-mid', 49.99), pct: '50.0%', cls: 'warn' },
    { row: modelRow('m-top', 50), pct: '50.0%', cls: 'ok' },
    ...[
      [1, '1m'], [59, '1m'], [119, '1m'], [120, '2m'], [3599, '59m'], [3600, '1h 00m'],
      [3 * 3600 + 7 * 60, '3h 07m'], [86399, '23h 59m'], [86400, '1d 0h'], [90061, '1d 1h'],
      [2 * 86400 + 5 * 3600, '2d 5h'], [0, 'due'], [-600, 'due'],
    ].map(([s, short]) => ({ row: modelRow(`m${s}`, 70, { reset: at(s) }), pct: '70.0%', cls: 'ok', short })),
    { row: modelRow('m-bad-time', 70, { reset: 'next tuesday' }), pct: '70.0%', cls: 'ok', short: 'next tuesday', noTitle: true },
  ];
  const a = emailOf(0);
  const { page, errors, context } = await show({ [a]: accountDoc(a, { models: models.map((m) => m.row) }) });
  const seen = await card(page, a).locator('.mrow').evaluateAll((rows) => rows.map((r) => ({
    id: r.querySelector('.mid').textContent,
    pct: r.querySelector('.mpct').textContent,
    cls: r.querySelector('.mpct').className,
    short: r.querySelector('.mrst') ? r.querySelector('.mrst').textContent : null,
    mode: r.querySelector('.mrst') ? r.querySelector('.mrst').getAttribute('data-reset-mode') : null,
    title: r.querySelector('.mrst') ? r.querySelector('.mrst').getAttribute('title') : null,
  })));
  assert.equal(seen.length, models.length);
  for (const [i, m] of models.entries()) {
    assert.equal(seen[i].id, m.row.id);
    assert.equal(seen[i].pct, m.pct, m.row.id);
    assert.equal(seen[i].cls, 'mpct ' + m.cls, m.row.id);
    assert.equal(seen[i].short, m.short ?? null, m.row.id);
    if (m.short) assert.equal(seen[i].mode, 'short');
    if (m.short && !m.noTitle) assert.match(seen[i].title, new RegExp(`^Resets at .* \\(${m.row.reset_time}\\)$`));
    if (m.noTitle) assert.equal(seen[i].title, null);
  }
  assert.equal(seen[models.findIndex((m) => m.row.id === 'm3600')].title, `Resets at 10:05 (${at(3600)})`);
  assert.equal(seen[models.findIndex((m) => m.row.id === 'm90061')].title, `Resets at Mar 8 10:06 (${at(90061)})`);
  assert.deepEqual(errors, []);
  await context.close();
});

test('full reset lines of pools: countdown, clock, other days, passed and unparsable times', async () => {
  const rows = [
    { reset: at(3 * 3600 + 7 * 60), line: 'Resets in 3h 07m · 12:12', title: `Resets at 12:12 (${at(3 * 3600 + 7 * 60)})` },
    { reset: at(2 * 86400 + 5 * 3600), line: 'Resets in 2d 5h · Mar 9 14:05', title: `Resets at Mar 9 14:05 (${at(2 * 86400 + 5 * 3600)})` },
    { reset: at(15 * 3600), line: 'Resets in 15h 00m · Mar 8 00:05' },
    { reset: at(30), line: 'Resets in 1m · 09:05' },
    { reset: at(-60), line: 'Resets soon · 09:04' },
    { reset: '2025-03-07T12:12:00+02:00', line: 'Resets in 1h 07m · 10:12' },
    { reset: 'soon-ish', line: 'Reset: soon-ish', title: null },
    { reset: '', line: 'Reset: -', title: null, attr: null },
  ];
  const docs = Object.fromEntries(rows.map((r, i) => [emailOf(i),
    accountDoc(emailOf(i), { gemini: pool(80, { reset: r.reset }) })]));
  const { page, errors, context } = await show(docs);
  for (const [i, r] of rows.entries()) {
    const line = card(page, emailOf(i)).locator('.pool-reset').first();
    assert.equal(await line.textContent(), r.line, r.reset);
    if ('title' in r) assert.equal(await line.getAttribute('title'), r.title, r.reset);
    assert.equal(await line.getAttribute('data-reset'), 'attr' in r ? r.attr : r.reset);
    if (r.reset) assert.equal(await line.getAttribute('data-reset-mode'), 'full');
  }
  assert.deepEqual(errors, []);
  await context.close();
});

test('window rows replace the pool figures when a limit is reported', async () => {
  const a = emailOf(0);
  const b = emailOf(1);
  const docs = {
    [a]: accountDoc(a, {
      gemini: pool(40), claude: pool(70),
      limits: {
        gemini: { five_hour: windowLimit(100), weekly: null },
        claude: { five_hour: windowLimit(99.9), weekly: windowLimit(20, { reset: at(3 * 3600 + 7 * 60) }) },
      },
    }),
    [b]: accountDoc(b, { gemini: pool(40), claude: pool(-1), limits: { gemini: { five_hour: null, weekly: null }, claude: null } }),
  };
  const { page, errors, context } = await show(docs);
  const windows = await card(page, a).locator('.pool').evaluateAll((pools) => pools.map((p) => ({
    head: [...p.querySelector('.pool-hd').children].map((c) => c.className + ':' + c.textContent),
    rows: [...p.querySelectorAll('.pool-win')].map((w) => [
      w.querySelector('.pool-win-lbl').textContent, w.querySelector('.pool-pct').textContent,
      w.querySelector('.pool-pct').className, w.querySelector('.pool-win-rst').textContent]),
    ownReset: p.querySelectorAll('.pool-reset').length,
  })));
  assert.deepEqual(windows, [
    {
      head: ['pool-name:Gemini Pool'],
      rows: [['5-Hour Limit', '100.0%', 'pool-pct ok', 'Full quota'],
        ['Weekly Limit', 'N/A', 'pool-pct dim', 'Not reported for this tier']],
      ownReset: 0,
    },
    {
      head: ['pool-name:Claude Pool'],
      rows: [['5-Hour Limit', '99.9%', 'pool-pct ok', 'Reset: -'],
        ['Weekly Limit', '20.0%', 'pool-pct warn', 'Resets in 3h 07m · 12:12']],
      ownReset: 0,
    },
  ]);
  assert.deepEqual(await card(page, b).locator('.pool-pct').allTextContents(), ['40.0%', 'N/A']);
  assert.equal(await card(page, b).locator('.pool-win').count(), 0);
  assert.deepEqual(errors, []);
  await context.close();
});

test('best account per family: KPI values, meta lines and badges', async () => {
  const [ann, ben, cat, dan] = ['ann@example.org', 'ben@example.org', 'cat@example.org', 'dan@example.org'];
  const failed = { ...accountDoc(cat, { gemini: pool(99), argon: pool(99, { count: 3 }), claude: pool(99) }), ok: false, error: 'token expired' };
  const docs = {
    [ann]: accountDoc(ann, { gemini: pool(62.5, { reset: at(3 * 3600 + 7 * 60) }), argon: pool(90, { count: 0 }), claude: pool(100, { exhausted: true }) }),
    [ben]: accountDoc(ben, { gemini: pool(62.5), argon: pool(40, { count: 2 }), claude: pool(30, { reset: at(-5) }) }),
    [cat]: failed,
    [dan]: accountDoc(dan, { gemini: pool(10), argon: pool(40, { count: 1 }), claude: pool(20) }),
  };
  const { page, errors, context } = await show(docs, { selected: dan });
  assert.deepEqual(
    await Promise.all(['kpiGemini', 'kpiGeminiMeta', 'kpiArgon', 'kpiArgonMeta', 'kpiClaude', 'kpiClaudeMeta'].map((id) => text(page, '#' + id))),
    ['ann', '62.5% remaining · resets in 3h 07m', 'ben', '40.0% remaining', 'ben', '30.0% remaining · resets in due']);
  assert.equal(await page.getAttribute('#kpiGemini', 'title'), ann);
  assert.deepEqual(await card(page, ann).locator('.tag').allTextContents(), ['Best Gemini']);
  assert.deepEqual(await card(page, ben).locator('.tag').allTextContents(), ['Best Argon', 'Best Claude']);
  assert.deepEqual(await card(page, dan).locator('.tag').allTextContents(), ['Selected']);
  assert.equal(await card(page, cat).locator('.err-msg').textContent(), 'Error: token expired');
  // The Argon pool is drawn only where it counts buckets.
  assert.deepEqual(await card(page, ann).locator('.pool-name').allTextContents(), ['Gemini Pool', 'Claude Pool']);
  assert.deepEqual(await card(page, ben).locator('.pool-name').allTextContents(), ['Gemini Pool', 'Argon Pool', 'Claude Pool']);
  assert.deepEqual(errors, []);
  await context.close();
});

test('no candidates: every family shows "-" with its no-data text', async () => {
  const [ann, ben] = ['ann@example.org', 'ben@example.org'];
  const docs = {
    [ann]: accountDoc(ann, { gemini: pool(100, { exhausted: true }), argon: pool(80, { count: 0 }), claude: noPool }),
    [ben]: { ...accountDoc(ben, { gemini: pool(90) }), ok: false, error: 'quota_fetch_failed' },
  };
  const { page, errors, context } = await show(docs);
  assert.deepEqual(await texts(page, '.kpi .val'), ['-', '-', '-', '-']);
  assert.deepEqual(await texts(page, '.kpi .meta'), ['None selected', 'No quota data', 'No Argon quota', 'No quota data']);
  assert.equal(await page.getAttribute('#kpiGemini', 'title'), '');
  assert.equal(await page.locator('.tag.best').count(), 0);
  assert.deepEqual(errors, []);
  await context.close();
});

test('short addresses in the Active Account KPI', async () => {
  const cases = [
    ['ann@example.org', 'ann', 'ann@example.org'],
    ['@example.org', '@example.org', '@example.org'],
    ['plain', 'plain', 'plain'],
    ['a@b@c', 'a', 'a@b@c'],
    ['', '-', 'None selected'],
  ];
  for (const [selected, value, meta] of cases) {
    const { page, errors, context } = await openPage(browser);
    await answerApi(page, { status: () => statusDoc({ accounts: [], selected }) });
    await page.goto(stack.url('/plugin_brelvane'));
    await page.waitForFunction(() => document.getElementById('pillText').textContent !== 'Loading');
    assert.equal(await text(page, '#kpiSelected'), value, selected);
    assert.equal(await page.getAttribute('#kpiSelected', 'title'), selected);
    assert.equal(await text(page, '#kpiSelectedMeta'), meta);
    assert.deepEqual(errors, []);
    await context.close();
  }
});

test('every 30 s the reset texts are relabelled from the clock, without a call', async () => {
  const a = emailOf(0);
  const doc = accountDoc(a, { gemini: pool(80, { reset: at(3600 + 10) }), models: [modelRow('m', 50, { reset: at(130) })] });
  const { page, api, errors, context } = await show({ [a]: doc }, { clock: 'install' });
  const read = () => Promise.all([text(page, '.mrst'), page.locator('.pool-reset').first().textContent()]);
  assert.deepEqual(await read(), ['2m', 'Resets in 1h 00m · 10:05']);
  const calls = api.length;
  await page.clock.runFor(29000);
  assert.deepEqual(await read(), ['2m', 'Resets in 1h 00m · 10:05']);
  await page.clock.runFor(1000);
  assert.deepEqual(await read(), ['1m', 'Resets in 59m · 10:05']);
  await page.clock.runFor(120000);
  assert.deepEqual(await read(), ['due', 'Resets in 57m · 10:05']);
  assert.equal(api.length, calls);
  assert.deepEqual(errors, []);
  await context.close();
});

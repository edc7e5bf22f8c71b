// The quota refresh: at most four calls at once, progress texts, per-account errors, the model lists.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, recordStatusTexts, text, texts, card, waitForRefresh } from './lib/browser.mjs';
import { demoAnswer, toolAnswer, toolFailure, isoIn } from './lib/answers.mjs';

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

const ten = Array.from({ length: 10 }, (_, i) => `user${i}@example.org`);

test('ten accounts: never more than four quota calls in flight, progress 1/10 .. 10/10, then "Updated"', async () => {
  stack.writeAccounts(ten, { selected: ten[0] });
  ten.forEach((e, i) => stack.setAnswer(e, demoAnswer(i), 'sleep_ms 400\n'));
  const { page, errors, context } = await openPage(browser);
  await recordStatusTexts(page);
  let inFlight = 0;
  let most = 0;
  const started = [];
  const quota = (req) => new URL(req.url()).searchParams.get('action') === 'quota';
  page.on('request', (req) => {
    if (!quota(req)) return;
    started.push(new URL(req.url()).searchParams.get('account'));
    most = Math.max(most, ++inFlight);
  });
  const ended = (req) => { if (quota(req)) inFlight--; };
  page.on('requestfinished', ended);
  page.on('requestfailed', ended);

  await page.goto(stack.url('/plugin_brelvane'));
  // One look at the page while the first calls are still out.
  const during = await (await page.waitForFunction(() => document.getElementById('btnRefresh').disabled && {
    button: document.getElementById('btnRefresh').textContent,
    pools: [...document.querySelectorAll('#accounts .pool-pct')].map((n) => n.className + ' ' + n.textContent),
    kpi: document.getElementById('kpiGeminiMeta').textContent,
  })).jsonValue();
  assert.deepEqual(during, { button: 'Refreshing...', pools: Array(20).fill('pool-pct dim Checking...'), kpi: 'Checking...' });
  await waitForRefresh(page);

  assert.equal(most, 4, 'four workers run at once');
  assert.deepEqual(started, ten, 'each account asked once, in list order');
  const shown = await page.evaluate(() => window.__statusTexts);
  assert.deepEqual(shown.slice(0, 11), ['Querying 10 account(s)...', ...ten.map((_, i) => `Loaded ${i + 1}/10`)]);
  assert.equal(shown.length, 12);
  assert.match(shown[11], /^Updated \d{1,2}:\d{2}:\d{2}/);
  assert.equal(await text(page, '#btnRefresh'), 'Refresh Quotas');
  assert.equal(await page.locator('#btnRefresh').isEnabled(), true);
  assert.equal(await page.locator('#accounts .pool-pct.dim', { hasText: 'Checking...' }).count(), 0);
  assert.deepEqual(errors, []);
  await context.close();
});

test('a second refresh keeps earlier figures until the new answer arrives', async () => {
  const a = 'alice@example.org';
  stack.writeAccounts([a], { selected: a });
  stack.setAnswer(a, toolAnswer({ models: [{ id: 'gemini-2.5-pro', fraction: 0.8, reset: isoIn(7200) }] }));
  const { page, errors, context } = await openPage(browser);
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page);
  assert.equal(await card(page, a).locator('.pool-pct').first().textContent(), '80.0%');

  stack.setAnswer(a, toolAnswer({ models: [{ id: 'gemini-2.5-pro', fraction: 0.25, reset: isoIn(7200) }] }), 'sleep_ms 800\n');
  await page.click('#btnRefresh');
  await page.waitForFunction(() => document.getElementById('btnRefresh').disabled);
  assert.equal(await text(page, '#statusTxt'), 'Querying 1 account(s)...');
  assert.equal(await card(page, a).locator('.pool-pct').first().textContent(), '80.0%');
  await waitForRefresh(page);
  assert.equal(await card(page, a).locator('.pool-pct').first().textContent(), '25.0%');
  assert.match(await card(page, a).locator('.pool-pct').first().getAttribute('class'), /\bwarn\b/);
  assert.deepEqual(errors, []);
  await context.close();
});

test('show and hide the model lists during a refresh', async () => {
  const accounts = ['m1@example.org', 'm2@example.org', 'none@example.org'];
  stack.writeAccounts(accounts);
  stack.setAnswer(accounts[0], demoAnswer(0, 6), 'sleep_ms 200\n');
  stack.setAnswer(accounts[1], demoAnswer(1, 4), 'sleep_ms 900\n');
  stack.setAnswer(accounts[2], toolAnswer({ models: [] }), 'sleep_ms 500\n');
  const { page, errors, context } = await openPage(browser);
  await page.goto(stack.url('/plugin_brelvane'));
  await page.waitForFunction(() => /^Loaded 1\//.test(document.getElementById('statusTxt').textContent));
  await page.click('#btnModels');
  assert.equal(await text(page, '#btnModels'), 'Hide Models');
  await waitForRefresh(page);

  assert.equal(await page.locator('#accounts .models').count(), 2, 'no list for an account without rows');
  assert.equal(await page.locator('#accounts .models.show').count(), 2);
  assert.equal(await card(page, accounts[0]).locator('.mrow').count(), 6);
  assert.equal(await card(page, accounts[1]).locator('.mrow').count(), 4);
  assert.equal(await card(page, accounts[0]).locator('.models').isVisible(), true);

  await page.click('#btnModels');
  assert.equal(await text(page, '#btnModels'), 'Show Models');
  assert.equal(await page.locator('#accounts .models.show').count(), 0);
  assert.equal(await page.locator('#accounts .models').count(), 2);
  assert.equal(await card(page, accounts[0]).locator('.models').isVisible(), false);
  assert.deepEqual(errors, []);
  await context.close();
});

test('a tool failure stays in its card; markup in its text is shown as text', async () => {
  const accounts = ['good@example.org', 'bad@example.org', 'gone@example.org'];
  const hostile = '<img src=x onerror=window.__pwned=1><b>boom</b>';
  stack.writeAccounts(accounts);
  stack.setAnswer(accounts[0], demoAnswer(3));
  stack.setAnswer(accounts[1], toolFailure(hostile));
  // The third account vanishes from the accounts file after the status was read: its quota call gets the
  // plug-in's 404 envelope, whose detail is the address.
  stack.setAnswer(accounts[2], demoAnswer(4));
  const { page, errors, context } = await openPage(browser);
  await page.route((u) => u.searchParams.get('action') === 'quota' && u.searchParams.get('account') === accounts[2],
    (route) => {
      stack.writeAccounts(accounts.slice(0, 2));
      route.continue();
    });
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page);

  const bad = card(page, accounts[1]);
  assert.equal(await bad.locator('.err-msg').textContent(), 'Error: ' + hostile);
  assert.equal(await bad.locator('.pools').count(), 0);
  assert.equal(await page.locator('#accounts img, #accounts b').count(), 0);
  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  assert.equal(await card(page, accounts[2]).locator('.err-msg').textContent(), 'Error: ' + accounts[2]);
  assert.equal(await card(page, accounts[0]).locator('.err-msg').count(), 0);
  assert.equal(await card(page, accounts[0]).locator('.pool').count() >= 2, true);
  assert.deepEqual(errors, []);
  await context.close();
});

test('a tool that exits without an answer: "Error: quota_fetch_failed"', async () => {
  const a = 'broken@example.org';
  stack.writeAccounts([a]);
  stack.setAnswer(a, '', 'exit 3\n');
  const { page, errors, context } = await openPage(browser);
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page);
  assert.equal(await card(page, a).locator('.err-msg').textContent(), 'Error: quota_fetch_failed');
  assert.equal(await text(page, '#kpiGeminiMeta'), 'No quota data');
  assert.deepEqual(errors, []);
  await context.close();
});

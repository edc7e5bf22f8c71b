// Answers the page must survive: broken quota answers, odd values, and the largest node (64 accounts x 128 models),
// with screenshots of that node in both themes, wide and narrow, under the build folder.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { Stack, buildDir } from './lib/stack.mjs';
import { launchBrowser, openPage, text, card, waitForRefresh } from './lib/browser.mjs';
import { accountDoc, answerApi, demoAnswer, modelRow, pool, quotaDoc, statusDoc } from './lib/answers.mjs';

const artifacts = path.join(buildDir, 'web-artifacts');
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

test('broken quota answers each end in their own card', async () => {
  const cases = [
    { reply: '<html>Bad Gateway</html>', err: 'Error: bad response' },
    { reply: { status: 404, body: { ok: false, error: 'unknown_account', detail: 'x@example.org' } }, err: 'Error: x@example.org' },
    { reply: { status: 200, body: { ok: false, error: 'cli_unavailable' } }, err: 'Error: cli_unavailable' },
    { reply: '{"ok":false}', err: 'Error: failed' },
    { reply: '{"ok":true}', err: 'Error: failed' },
    { reply: '{"ok":true,"account":"text"}', err: 'Error: failed' },
    { reply: '[1,2]', err: 'Error: failed' },
    { reply: 'abort', err: /^Error: \S/ },
    { reply: { ok: true, account: { ok: false } }, err: 'Error: quota fetch failed' },
    { reply: { ok: true, account: { ok: false, error: 'quota_timeout', detail: 'the quota tool gave no answer within 60 s' } },
      err: 'Error: the quota tool gave no answer within 60 s' },
  ];
  const emails = cases.map((_, i) => `c${i}@example.org`);
  const { page, errors, context } = await openPage(browser);
  await answerApi(page, {
    status: () => statusDoc({ accounts: [...emails, 'fine@example.org'] }),
    quota: (email) => (email === 'fine@example.org'
      ? quotaDoc(accountDoc(email, { gemini: pool(55) })) : cases[emails.indexOf(email)].reply),
  });
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page);
  for (const [i, c] of cases.entries()) {
    const line = await card(page, emails[i]).locator('.err-msg').textContent();
    if (typeof c.err === 'string') assert.equal(line, c.err);
    else assert.match(line, c.err);
  }
  assert.equal(await card(page, 'fine@example.org').locator('.pool-pct').first().textContent(), '55.0%');
  assert.equal(await text(page, '#kpiGemini'), 'fine');
  assert.deepEqual(errors, []);
  await context.close();
});

test('account objects with missing or odd fields still draw', async () => {
  const odd = {
    'bare@example.org': { ok: true },
    'nulls@example.org': { ok: true, gemini: null, argon: null, claude: null, limits: null, models: null },
    'strings@example.org': { ok: true, gemini: 'x', argon: { count: 'many' }, claude: pool('abc'), limits: 'none', models: 'many' },
    'oddmodels@example.org': { ok: true, models: [null, 7, {}, modelRow('<b>id</b>', 1e9, { reset: '<i>x</i>' })] },
    'oddlimits@example.org': { ok: true, gemini: pool(40), limits: { gemini: { five_hour: 'x', weekly: {} }, claude: { five_hour: null } } },
  };
  const { page, errors, context } = await openPage(browser);
  await answerApi(page, {
    status: () => statusDoc({ accounts: Object.keys(odd) }),
    quota: (email) => ({ ok: true, account: odd[email] }),
  });
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page);
  assert.deepEqual(await card(page, 'bare@example.org').locator('.pool-pct').allTextContents(), ['N/A', 'N/A']);
  assert.deepEqual(await card(page, 'nulls@example.org').locator('.pool-reset').allTextContents(),
    ['No buckets reported', 'No buckets reported']);
  assert.equal(await card(page, 'strings@example.org').locator('.models').count(), 0);
  const rows = await card(page, 'oddmodels@example.org').locator('.mrow').allTextContents();
  assert.equal(rows.length, 4);
  assert.equal(rows[3], '<b>id</b><i>x</i>1000000000.0%');
  assert.equal(await page.locator('#accounts b, #accounts i:not(.meter > i)').count(), 0);
  assert.deepEqual(await card(page, 'oddlimits@example.org').locator('.pool-win-lbl').allTextContents(),
    ['5-Hour Limit', 'Weekly Limit']);
  assert.deepEqual(errors, []);
  await context.close();
});

test('64 accounts x 128 models from the real plug-in: the page keeps working; screenshots', async () => {
  const emails = Array.from({ length: 64 }, (_, i) => `operator.${String(i).padStart(2, '0')}@example.org`);
  stack.writeAccounts(emails, { selected: emails[3], noRefresh: [emails[5]] });
  emails.forEach((e, i) => stack.setAnswer(e, demoAnswer(i, 128)));
  fs.mkdirSync(artifacts, { recursive: true });

  for (const theme of ['dark', 'light']) {
    for (const width of [1280, 375]) {
      const { page, errors, context } = await openPage(browser, { viewport: { width, height: 900 } });
      await page.goto(stack.url(`/plugin_brelvane?theme=${theme}`));
      await waitForRefresh(page, 120000);
      assert.equal(await page.locator('#accounts .card').count(), 64);
      assert.equal(await page.locator('#accounts .mrow').count(), 64 * 128);
      assert.equal(await page.locator('#accounts .err-msg').count(), 0);
      assert.equal(await text(page, '#pillText'), '64 accounts');
      // Nothing sticks out sideways, wide or narrow.
      assert.equal(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), true);
      await page.screenshot({ path: path.join(artifacts, `dashboard-${theme}-${width}.png`) });
      await page.click('#btnModels');
      assert.equal(await page.locator('#accounts .models.show').count(), 64);
      assert.equal(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), true);
      await page.screenshot({ path: path.join(artifacts, `dashboard-${theme}-${width}-models.png`) });
      await card(page, emails[10]).locator('button').click();
      await page.waitForFunction(() => /^Selected /.test(document.getElementById('toast').textContent));
      assert.equal(await text(page, '#kpiSelectedMeta'), emails[10]);
      stack.writeAccounts(emails, { selected: emails[3], noRefresh: [emails[5]] });
      assert.deepEqual(errors, []);
      await context.close();
    }
  }
});

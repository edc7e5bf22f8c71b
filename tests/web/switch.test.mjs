// Switching the node's selected account from a card's button.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, text, card, waitForRefresh, waitForText } from './lib/browser.mjs';
import { answerApi, demoAnswer } from './lib/answers.mjs';

const accounts = ['alice@example.org', 'bob@example.org', 'carol@example.org'];
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

async function loaded() {
  stack.writeAccounts(accounts, { selected: accounts[0] });
  accounts.forEach((e, i) => stack.setAnswer(e, demoAnswer(i)));
  const opened = await openPage(browser);
  await opened.page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(opened.page);
  return opened;
}

test('a switch that succeeds moves the highlight, badge, buttons and KPI, and writes the file', async () => {
  const { page, api, errors, context } = await loaded();
  let release;
  const held = new Promise((r) => { release = r; });
  await page.route((u) => u.searchParams.get('action') === 'switch', async (route) => { await held; route.continue(); });
  const bobButton = card(page, accounts[1]).locator('button');
  await bobButton.click();
  assert.equal(await bobButton.textContent(), 'Switching...');
  assert.equal(await bobButton.isDisabled(), true);
  release();
  await waitForText(page, '#toast', /^Selected /);

  assert.equal(await text(page, '#toast'), 'Selected bob@example.org');
  assert.match(await page.getAttribute('#toast', 'class'), /\bshow\b/);
  assert.equal(stack.selectedOnDisk(), 'bob@example.org\n');
  const bob = card(page, accounts[1]);
  const alice = card(page, accounts[0]);
  assert.match(await bob.getAttribute('class'), /\bselected\b/);
  assert.doesNotMatch(await alice.getAttribute('class'), /\bselected\b/);
  assert.equal(await bob.locator('.tag.sel').count(), 1);
  assert.equal(await alice.locator('.tag.sel').count(), 0);
  assert.equal(await bob.locator('button').textContent(), 'Active');
  assert.equal(await bob.locator('button').isDisabled(), true);
  assert.equal(await alice.locator('button').textContent(), 'Use');
  assert.equal(await alice.locator('button').isEnabled(), true);
  assert.equal(await text(page, '#kpiSelected'), 'bob');
  assert.equal(await text(page, '#kpiSelectedMeta'), 'bob@example.org');
  const call = api.find((c) => c.action === 'switch');
  assert.equal(call.url, '/plugin_brelvane?action=switch&account=bob%40example.org');
  assert.equal(call.request.method(), 'GET');
  assert.equal(api.filter((c) => c.action === 'status').length, 1, 'the status is not read again');
  // The toast goes away by itself.
  await page.waitForFunction(() => !document.getElementById('toast').classList.contains('show'), null, { timeout: 5000 });
  assert.deepEqual(errors, []);
  await context.close();
});

test('a refused switch: the envelope detail as toast, selection and buttons as before', async () => {
  const { page, errors, context } = await loaded();
  // carol left the accounts file after the page was loaded: the plug-in answers 404 "unknown_account".
  stack.writeAccounts(accounts.slice(0, 2), { selected: accounts[0] });
  await card(page, accounts[2]).locator('button').click();
  await waitForText(page, '#toast', /./);
  assert.equal(await text(page, '#toast'), 'carol@example.org');
  assert.equal(stack.selectedOnDisk(), 'alice@example.org\n');
  assert.equal(await card(page, accounts[2]).locator('button').textContent(), 'Use');
  assert.equal(await card(page, accounts[2]).locator('button').isEnabled(), true);
  assert.match(await card(page, accounts[0]).getAttribute('class'), /\bselected\b/);
  assert.equal(await text(page, '#kpiSelected'), 'alice');
  assert.deepEqual(errors, []);
  await context.close();
});

test('switch answers without a detail, without anything, and a call that fails outright', async () => {
  const cases = [
    { reply: { status: 500, body: { ok: false, error: 'write_failed' } }, toast: /^write_failed$/ },
    { reply: '{"ok":false}', toast: /^Switch failed$/ },
    { reply: 'not json', toast: /^bad response$/ },
    { reply: 'abort', toast: /^Switch failed: \S/ },
  ];
  const { page, errors, context } = await loaded();
  for (const c of cases) {
    await page.unrouteAll();
    await answerApi(page, { switch: () => c.reply });
    await page.evaluate(() => { document.getElementById('toast').textContent = ''; });
    await card(page, accounts[1]).locator('button').click();
    await waitForText(page, '#toast', /./);
    assert.match(await text(page, '#toast'), c.toast);
    assert.equal(await card(page, accounts[1]).locator('button').textContent(), 'Use');
    assert.equal(await text(page, '#kpiSelected'), 'alice');
  }
  assert.equal(stack.selectedOnDisk(), 'alice@example.org\n');
  assert.deepEqual(errors, []);
  await context.close();
});

test('a switch answer without "selected" takes the requested address', async () => {
  const { page, errors, context } = await loaded();
  await answerApi(page, { switch: () => ({ ok: true, selected: '' }) });
  await card(page, accounts[2]).locator('button').click();
  await waitForText(page, '#toast', /./);
  assert.equal(await text(page, '#toast'), 'Selected carol@example.org');
  assert.match(await card(page, accounts[2]).getAttribute('class'), /\bselected\b/);
  assert.deepEqual(errors, []);
  await context.close();
});

// Loading the dashboard: accounts, none, the quota tool missing, a refused password, broken status answers.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, text, texts, card, waitForRefresh, waitForText } from './lib/browser.mjs';
import { answerApi, demoAnswer, statusDoc } from './lib/answers.mjs';

const PASSWORD = 'node pass+&';

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser.close(); });

describe('with the quota tool present', () => {
  let stack;
  before(async () => { stack = await Stack.start(); });
  after(() => stack.stop());

  test('lists the accounts in file order with selection, badges and paths', async () => {
    const emails = ['alice@example.org', 'bob@example.org', 'carol@example.org'];
    stack.writeAccounts(emails, { selected: 'bob@example.org', noRefresh: ['carol@example.org'] });
    emails.forEach((e, i) => stack.setAnswer(e, demoAnswer(i)));
    const { page, errors, context } = await openPage(browser);
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForRefresh(page);

    assert.equal(await page.getAttribute('#pill', 'class'), 'pill ok');
    assert.equal(await text(page, '#pillText'), '3 accounts');
    assert.deepEqual(await page.locator('#accounts .card').evaluateAll((n) => n.map((c) => c.dataset.email)), emails);
    assert.deepEqual(await texts(page, '#accounts .acct-email'), emails);

    const bob = card(page, 'bob@example.org');
    assert.match(await bob.getAttribute('class'), /\bselected\b/);
    assert.equal(await bob.locator('.tag.sel').textContent(), 'Selected');
    assert.equal(await bob.locator('button').textContent(), 'Active');
    assert.equal(await bob.locator('button').isDisabled(), true);
    assert.equal(await bob.locator('button').getAttribute('class'), 'btn sm ghost');
    const alice = card(page, 'alice@example.org');
    assert.doesNotMatch(await alice.getAttribute('class'), /selected/);
    assert.equal(await alice.locator('button').textContent(), 'Use');
    assert.equal(await alice.locator('button').isEnabled(), true);
    assert.deepEqual(await card(page, 'carol@example.org').locator('.tag:not(.best)').allTextContents(), ['No refresh token']);
    assert.equal(await alice.locator('.tag', { hasText: 'No refresh token' }).count(), 0);

    assert.equal(await text(page, '#kpiSelected'), 'bob');
    assert.equal(await page.getAttribute('#kpiSelected', 'title'), 'bob@example.org');
    assert.equal(await text(page, '#kpiSelectedMeta'), 'bob@example.org');

    const kv = await page.locator('#paths > *').evaluateAll((n) => n.map((e) => [e.className, e.textContent]));
    assert.deepEqual(kv, [
      ['k', 'Accounts JSON'], ['v', stack.demoDir + '/antigravity_accounts.json'],
      ['k', 'Selected file'], ['v', stack.demoDir + '/selected_account.txt'],
      ['k', 'Quota CLI'], ['v', 'found'],
    ]);
    assert.equal(await page.locator('#banner').isVisible(), false);
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('one account reads "1 account"', async () => {
    stack.writeAccounts(['solo@example.org'], { selected: 'solo@example.org' });
    stack.setAnswer('solo@example.org', demoAnswer(1));
    const { page, api, context } = await openPage(browser);
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForRefresh(page);
    assert.equal(await text(page, '#pillText'), '1 account');
    assert.deepEqual(api.map((c) => c.action), ['status', 'quota']);
    await context.close();
  });

  test('no accounts: the empty card, a warn pill and no quota calls', async () => {
    stack.writeAccounts([]);
    const { page, api, errors, context } = await openPage(browser);
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForText(page, '#pillText', /^0 accounts$/);
    assert.equal(await page.getAttribute('#pill', 'class'), 'pill warn');
    assert.deepEqual(await page.locator('#accounts > *').evaluateAll((n) => n.map((e) => [e.className, e.textContent])), [
      ['card empty', 'No accounts found in antigravity_accounts.json. Sign in with norvanta-antigravity-login first.'],
    ]);
    assert.equal(await text(page, '#kpiSelected'), '-');
    assert.equal(await text(page, '#kpiSelectedMeta'), 'None selected');
    assert.equal(await text(page, '#kpiGeminiMeta'), 'No quota data');
    assert.equal(await text(page, '#kpiArgonMeta'), 'No Argon quota');
    assert.equal(await text(page, '#kpiClaudeMeta'), 'No quota data');
    assert.equal(await text(page, '#statusTxt'), '');
    await page.click('#btnRefresh');
    await page.waitForTimeout(300);
    assert.deepEqual(api.map((c) => c.action), ['status']);
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('with the quota tool missing', () => {
  let stack;
  before(async () => { stack = await Stack.start({ toolMissing: true }); });
  after(() => stack.stop());

  test('pill "CLI missing", the warn banner, pools without data and no quota calls', async () => {
    stack.writeAccounts(['alice@example.org', 'bob@example.org'], { selected: 'alice@example.org' });
    const { page, api, errors, context } = await openPage(browser);
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForText(page, '#pillText', /^CLI missing$/);
    assert.equal(await page.getAttribute('#pill', 'class'), 'pill bad');
    assert.equal(await page.getAttribute('#banner', 'class'), 'note show warn');
    assert.equal(await text(page, '#banner'),
      'norvanta-brelvane was not found on PATH. Install NORVANTA CODE or set BRELVANE_BIN.');
    assert.equal(await page.locator('#banner').isVisible(), true);
    assert.deepEqual(await texts(page, '#accounts .pool-pct'), ['N/A', 'N/A', 'N/A', 'N/A']);
    assert.deepEqual(await texts(page, '#accounts .pool-reset'), Array(4).fill('No buckets reported'));
    assert.equal(await page.locator('#paths .v').nth(2).textContent(), 'not found');
    await page.click('#btnRefresh');
    await page.waitForTimeout(300);
    assert.equal(await text(page, '#btnRefresh'), 'Refresh Quotas');
    assert.equal(await page.locator('#btnRefresh').isEnabled(), true);
    assert.deepEqual(api.map((c) => c.action), ['status']);
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('with a node password', () => {
  let stack;
  before(async () => {
    stack = await Stack.start({ password: PASSWORD });
    stack.writeAccounts(['alice@example.org'], { selected: 'alice@example.org' });
    stack.setAnswer('alice@example.org', demoAnswer(2));
  });
  after(() => stack.stop());

  test('the page itself is refused without the password', async () => {
    const res = await fetch(stack.url('/plugin_brelvane'));
    assert.equal(res.status, 401);
    assert.deepEqual(await res.json(), { ok: false, error: 'invalid node password' });
  });

  test('a stale stored password: the err banner "invalid node password", nothing loaded', async () => {
    const { page, api, errors, context } = await openPage(browser, { storage: { bot_active_pwd: 'stale' } });
    // The host delivered the page itself with the right password; the page's own calls carry the stored one.
    await page.route((u) => u.pathname === '/plugin_brelvane' && !u.searchParams.has('action'),
      (route) => route.continue({ headers: { ...route.request().headers(), 'x-bot-password': PASSWORD } }));
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForText(page, '#banner', /./);
    assert.equal(await text(page, '#banner'), 'invalid node password');
    assert.equal(await page.getAttribute('#banner', 'class'), 'note show err');
    assert.equal(await text(page, '#pillText'), 'Loading');
    assert.equal(await page.getAttribute('#pill', 'class'), 'pill off');
    assert.equal(await text(page, '#kpiGeminiMeta'), 'Waiting for quota');
    assert.equal(await page.locator('#accounts > *').count(), 0);
    await page.waitForTimeout(200);
    assert.deepEqual(api.map((c) => c.action), ['status']);
    assert.equal(api[0].headers['x-bot-password'], 'stale');
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('the password from the page address opens the page and every call', async () => {
    const { page, api, errors, context } = await openPage(browser);
    await page.goto(stack.url('/plugin_brelvane?pwd=' + encodeURIComponent(PASSWORD)));
    await waitForRefresh(page);
    assert.equal(await text(page, '#pillText'), '1 account');
    assert.equal(await page.locator('#accounts .err-msg').count(), 0);
    assert.deepEqual(api.map((c) => c.action), ['status', 'quota']);
    for (const call of api) {
      assert.equal(call.headers['x-bot-password'], PASSWORD);
      assert.ok(call.url.endsWith('&pwd=node%20pass%2B%26'), call.url);
    }
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('status answers the real plug-in never gives', () => {
  let stack;
  before(async () => { stack = await Stack.start(); });
  after(() => stack.stop());

  const cases = [
    { name: 'a body that is not JSON', reply: '<html>502 Bad Gateway</html>', banner: 'bad response' },
    { name: 'an envelope with a detail', reply: { status: 500, body: { ok: false, error: 'oom', detail: 'out of memory' } }, banner: 'out of memory' },
    { name: 'an envelope without a detail', reply: { status: 404, body: { ok: false, error: 'unknown_action' } }, banner: 'unknown_action' },
    { name: 'ok that is not true', reply: { ok: 'true', accounts: [] }, banner: 'Failed to read accounts' },
    { name: 'JSON null', reply: 'null', banner: 'Failed to read accounts' },
  ];
  for (const c of cases) {
    test(`${c.name}: err banner "${c.banner}", pill still "Loading"`, async () => {
      const { page, api, errors, context } = await openPage(browser);
      await answerApi(page, { status: () => c.reply });
      await page.goto(stack.url('/plugin_brelvane'));
      await waitForText(page, '#banner', /./);
      assert.equal(await text(page, '#banner'), c.banner);
      assert.equal(await page.getAttribute('#banner', 'class'), 'note show err');
      assert.equal(await text(page, '#pillText'), 'Loading');
      assert.deepEqual(api.map((x) => x.action), ['status']);
      assert.deepEqual(errors, []);
      await context.close();
    });
  }

  test('a status call that fails outright: "Status failed: " and the browser\'s message', async () => {
    const { page, errors, context } = await openPage(browser);
    await answerApi(page, { status: () => 'abort' });
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForText(page, '#banner', /./);
    assert.match(await text(page, '#banner'), /^Status failed: \S/);
    assert.equal(await page.getAttribute('#banner', 'class'), 'note show err');
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('missing fields and odd entries: the page still draws what it can', async () => {
    const { page, errors, context } = await openPage(browser);
    await answerApi(page, {
      status: () => ({ ok: true, cli_present: true, accounts: [null, 7, { has_refresh: true }, { email: 'x@example.org' }, { email: 'x@example.org' }] }),
      quota: () => ({ ok: true }),
    });
    await page.goto(stack.url('/plugin_brelvane'));
    await waitForRefresh(page);
    assert.equal(await text(page, '#pillText'), '1 account');
    assert.deepEqual(await texts(page, '#paths .v'), ['-', '-', 'found']);
    assert.equal(await text(page, '#kpiSelected'), '-');
    assert.equal(await text(page, '#accounts .err-msg'), 'Error: failed');
    assert.equal(await page.locator('#accounts .tag').allTextContents().then((t) => t.join()), 'No refresh token');
    assert.deepEqual(errors, []);
    await context.close();
  });
});

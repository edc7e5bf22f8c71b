// How the page addresses the API: plain and hub routes, node and id pass-through, the password's sources.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, text, waitForRefresh } from './lib/browser.mjs';
import { demoAnswer } from './lib/answers.mjs';

const PASSWORD = 'p w+&/%';
let browser;
let open;
let guarded;
before(async () => {
  browser = await launchBrowser();
  open = await Stack.start();
  guarded = await Stack.start({ password: PASSWORD });
  for (const stack of [open, guarded]) {
    stack.writeAccounts(['a+b@example.org']);
    stack.setAnswer('a+b@example.org', demoAnswer(5));
  }
});
after(async () => {
  await browser.close();
  open.stop();
  guarded.stop();
});

const enc = encodeURIComponent;

test('no node, id, password or hub: bare addresses and no password header', async () => {
  const { page, api, errors, context } = await openPage(browser);
  await page.goto(open.url('/plugin_brelvane'));
  await waitForRefresh(page);
  assert.deepEqual(api.map((c) => c.url), [
    '/plugin_brelvane?action=status',
    '/plugin_brelvane?action=quota&account=a%2Bb%40example.org',
  ]);
  for (const c of api) assert.equal(c.headers['x-bot-password'], undefined);
  assert.deepEqual(errors, []);
  await context.close();
});

test('node and id travel with every call, after the extra part', async () => {
  const { page, api, context } = await openPage(browser);
  await page.goto(open.url('/plugin_brelvane?node=lab%201&id=7&theme=dark'));
  await waitForRefresh(page);
  assert.deepEqual(api.map((c) => c.url), [
    '/plugin_brelvane?action=status&node=lab%201&id=7',
    '/plugin_brelvane?action=quota&account=a%2Bb%40example.org&node=lab%201&id=7',
  ]);
  await context.close();
});

test('hub mode: calls go through /plugins with the plug-in name, and the hub route answers them', async () => {
  const { page, api, errors, context } = await openPage(browser);
  await page.goto(open.url('/plugins?plugin=brelvane&node=lab'));
  await waitForRefresh(page);
  assert.deepEqual(api.map((c) => c.url), [
    '/plugins?plugin=brelvane&action=status&node=lab',
    '/plugins?plugin=brelvane&action=quota&account=a%2Bb%40example.org&node=lab',
  ]);
  assert.equal(await text(page, '#pillText'), '1 account');
  assert.equal(await page.locator('#accounts .err-msg').count(), 0);
  await page.locator('#accounts button').click();
  await page.waitForFunction(() => document.getElementById('toast').textContent !== '');
  assert.equal(api.at(-1).url, '/plugins?plugin=brelvane&action=switch&account=a%2Bb%40example.org&node=lab');
  assert.deepEqual(errors, []);
  await context.close();
});

test('a hub plug-in name is encoded', async () => {
  const { page, api, context } = await openPage(browser);
  await page.route((u) => u.searchParams.has('action'), (route) => route.fulfill({ contentType: 'application/json', body: '{"ok":false}' }));
  await page.goto(open.url('/plugin_brelvane?plugin=my%20plug%26in'));
  await page.waitForFunction(() => document.getElementById('banner').textContent !== '');
  assert.equal(api[0].url, '/plugins?plugin=my%20plug%26in&action=status');
  await context.close();
});

const passwordSources = [
  { name: 'the page query', query: '?pwd=' + enc(PASSWORD), storage: null },
  { name: 'bot_pwd_<node> when the query pwd is empty', query: '?node=lab&pwd=', storage: { bot_pwd_lab: PASSWORD, bot_active_pwd: 'wrong' } },
  { name: 'bot_active_pwd when the node has none stored', query: '?node=lab', storage: { bot_pwd_other: 'wrong', bot_active_pwd: PASSWORD } },
  { name: 'bot_active_pwd without a node', query: '', storage: { bot_pwd_: 'wrong', bot_active_pwd: PASSWORD } },
];
for (const source of passwordSources) {
  test(`password from ${source.name}: query value and X-Bot-Password header on every call`, async () => {
    const { page, api, errors, context } = await openPage(browser, { storage: source.storage });
    // The page itself must get past the gate; the host would send it with the password.
    await page.route((u) => u.pathname === '/plugin_brelvane' && !u.searchParams.has('action'),
      (route) => route.continue({ headers: { ...route.request().headers(), 'x-bot-password': PASSWORD } }));
    await page.goto(guarded.url('/plugin_brelvane' + source.query));
    await waitForRefresh(page);
    assert.equal(await page.locator('#accounts .err-msg').count(), 0);
    assert.equal(api.length, 2);
    for (const c of api) {
      assert.equal(c.headers['x-bot-password'], PASSWORD);
      assert.ok(c.url.endsWith('&pwd=' + enc(PASSWORD)), c.url);
    }
    assert.deepEqual(errors, []);
    await context.close();
  });
}

test('storage the browser refuses: no password, and the page still works', async () => {
  const { page, api, errors, context } = await openPage(browser);
  await page.addInitScript(() => {
    Object.defineProperty(window, 'localStorage', { get() { throw new DOMException('denied', 'SecurityError'); } });
  });
  await page.goto(open.url('/plugin_brelvane'));
  await waitForRefresh(page);
  assert.equal(await page.getAttribute('html', 'data-theme'), 'dark');
  assert.equal(api[0].url, '/plugin_brelvane?action=status');
  assert.deepEqual(errors, []);
  await context.close();
});

// Theme choice before the first paint, the bridge to a framing host page, the toggle and embedded mode.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage } from './lib/browser.mjs';

let browser;
let stack;
before(async () => {
  browser = await launchBrowser();
  stack = await Stack.start();
  stack.writeAccounts([]);
});
after(async () => {
  await browser.close();
  stack.stop();
});

async function themeState(page) {
  return page.evaluate(() => ({
    theme: document.documentElement.getAttribute('data-theme'),
    stored: localStorage.getItem('bot_theme'),
    bg: getComputedStyle(document.body).backgroundColor,
    scheme: getComputedStyle(document.documentElement).colorScheme,
  }));
}

const DARK_BG = 'rgb(0, 0, 0)';
const LIGHT_BG = 'rgb(245, 245, 247)';

describe('choice at load', () => {
  const cases = [
    { name: 'query light wins over stored dark', query: '?theme=light', stored: 'dark', prefers: 'dark', want: 'light' },
    { name: 'query dark wins over stored light', query: '?x=1&theme=dark', stored: 'light', prefers: 'light', want: 'dark' },
    { name: 'the query value is a prefix test', query: '?theme=lightx', stored: 'dark', prefers: 'dark', want: 'light' },
    { name: 'theme=Light is ignored; storage applies', query: '?theme=Light', stored: 'dark', prefers: 'light', want: 'dark' },
    { name: 'xtheme=light is no theme parameter', query: '?xtheme=light', stored: 'dark', prefers: 'light', want: 'dark' },
    { name: 'stored light without a query', query: '', stored: 'light', prefers: 'dark', want: 'light' },
    { name: 'a stored value that is no theme is passed over', query: '', stored: 'blue', prefers: 'light', want: 'light' },
    { name: 'first visit, browser prefers light', query: '', stored: null, prefers: 'light', want: 'light' },
    { name: 'first visit, browser prefers dark', query: '', stored: null, prefers: 'dark', want: 'dark' },
  ];
  for (const c of cases) {
    test(`${c.name} -> ${c.want}, stored and painted`, async () => {
      const { page, errors, context } = await openPage(browser, {
        colorScheme: c.prefers, storage: c.stored ? { bot_theme: c.stored } : null,
      });
      await page.goto(stack.url('/plugin_brelvane' + c.query));
      const s = await themeState(page);
      assert.deepEqual(s, { theme: c.want, stored: c.want, bg: c.want === 'light' ? LIGHT_BG : DARK_BG, scheme: c.want });
      assert.deepEqual(errors, []);
      await context.close();
    });
  }

  test('a browser without matchMedia falls back to dark', async () => {
    const { page, errors, context } = await openPage(browser, { colorScheme: 'light' });
    await page.addInitScript(() => { delete window.matchMedia; delete Window.prototype.matchMedia; });
    await page.goto(stack.url('/plugin_brelvane'));
    assert.equal(await page.evaluate(() => typeof window.matchMedia), 'undefined');
    const s = await themeState(page);
    assert.equal(s.theme, 'dark');
    assert.equal(s.stored, 'dark');
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('once stored, a changed browser preference no longer matters', async () => {
    const { page, context } = await openPage(browser, { colorScheme: 'dark' });
    await page.goto(stack.url('/plugin_brelvane'));
    assert.equal((await themeState(page)).theme, 'dark');
    await page.emulateMedia({ colorScheme: 'light' });
    await page.reload();
    assert.equal((await themeState(page)).theme, 'dark');
    assert.equal((await themeState(page)).bg, DARK_BG);
    await context.close();
  });

  test('palette follows data-theme: an explicit dark beats a light preference; no attribute follows it', async () => {
    const { page, context } = await openPage(browser, { colorScheme: 'light' });
    await page.goto(stack.url('/plugin_brelvane?theme=dark'));
    assert.equal((await themeState(page)).bg, DARK_BG);
    await page.evaluate(() => document.documentElement.removeAttribute('data-theme'));
    assert.equal((await themeState(page)).bg, LIGHT_BG);
    assert.equal(await page.evaluate(() => window.zqTheme()), 'dark');
    await page.evaluate(() => document.documentElement.setAttribute('data-theme', 'sepia'));
    assert.equal(await page.evaluate(() => window.zqTheme()), 'dark');
    await context.close();
  });

  test('the first paint already has the theme: it is set before the body exists', async () => {
    const { page, context } = await openPage(browser, { colorScheme: 'dark' });
    await page.addInitScript(() => {
      new MutationObserver((records, observer) => {
        if (!document.body) return;
        window.__themeAtBody = document.documentElement.getAttribute('data-theme');
        observer.disconnect();
      }).observe(document, { childList: true, subtree: true });
    });
    await page.goto(stack.url('/plugin_brelvane?theme=light'));
    assert.equal(await page.evaluate(() => window.__themeAtBody), 'light');
    await context.close();
  });
});

describe('bridge and toggle', () => {
  async function loadWithEvents(query = '') {
    const opened = await openPage(browser, { colorScheme: 'dark' });
    await opened.page.addInitScript(() => {
      window.__events = [];
      window.addEventListener('bot-theme', (e) => window.__events.push(e.detail));
    });
    await opened.page.goto(stack.url('/plugin_brelvane' + query));
    return opened;
  }

  test('zqApplyTheme: sets, stores and announces; ignores the theme in force and anything else', async () => {
    const { page, errors, context } = await loadWithEvents();
    const r = await page.evaluate(() => {
      const out = [];
      out.push(window.zqApplyTheme('light'));
      out.push(window.zqApplyTheme('light'));
      window.zqApplyTheme('blue');
      window.zqApplyTheme('Dark');
      window.zqApplyTheme();
      return { ret: out, theme: window.zqTheme(), events: window.__events, stored: localStorage.getItem('bot_theme') };
    });
    assert.deepEqual(r, { ret: [undefined, undefined], theme: 'light', events: ['light'], stored: 'light' });
    assert.equal((await themeState(page)).bg, LIGHT_BG);
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('the toggle flips the theme through the bridge', async () => {
    const { page, context } = await loadWithEvents();
    await page.click('#themeToggle');
    assert.equal((await themeState(page)).theme, 'light');
    await page.click('#themeToggle');
    const s = await themeState(page);
    assert.equal(s.theme, 'dark');
    assert.equal(s.stored, 'dark');
    assert.deepEqual(await page.evaluate(() => window.__events), ['light', 'dark']);
    await context.close();
  });

  test('messages: "zq-theme" applies; the theme in force, other types and non-objects change nothing', async () => {
    const { page, context } = await loadWithEvents();
    const post = (data) => page.evaluate((d) => new Promise((resolve) => {
      window.postMessage(d, '*');
      setTimeout(resolve, 50);
    }), data);
    await post({ type: 'zq-theme', theme: 'dark' });
    await post({ type: 'zq-theme', theme: 'purple' });
    await post({ type: 'other', theme: 'light' });
    await post('zq-theme');
    await post(null);
    assert.deepEqual(await page.evaluate(() => window.__events), []);
    assert.equal((await themeState(page)).theme, 'dark');
    await post({ type: 'zq-theme', theme: 'light' });
    assert.deepEqual(await page.evaluate(() => window.__events), ['light']);
    assert.equal((await themeState(page)).stored, 'light');
    await context.close();
  });

  test('a page that is not framed asks nobody for the theme', async () => {
    const opened = await openPage(browser);
    await opened.page.addInitScript(() => {
      window.__messages = [];
      window.addEventListener('message', (e) => window.__messages.push(e.data));
    });
    await opened.page.goto(stack.url('/plugin_brelvane'));
    await opened.page.waitForTimeout(200);
    assert.deepEqual(await opened.page.evaluate(() => window.__messages), []);
    await opened.context.close();
  });
});

describe('framed by a host page', () => {
  const frameHost = `<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>host</title></head><body>
<iframe id="dash" src="/plugin_brelvane?embed=1&theme=dark" style="width:900px;height:600px"></iframe>
<script>
window.received = [];
window.addEventListener('message', (e) => {
  window.received.push(e.data);
  if (e.data && e.data.type === 'zq-theme-request') e.source.postMessage({ type: 'zq-theme', theme: 'light' }, '*');
});
</script></body></html>`;

  test('the page asks once with "zq-theme-request" and takes the host\'s "zq-theme" answer', async () => {
    stack.writeWww('frame.html', frameHost);
    const { page, errors, context } = await openPage(browser, { colorScheme: 'dark' });
    await page.goto(stack.url('/frame.html'));
    const frame = page.frameLocator('#dash');
    await frame.locator('html[data-theme="light"]').waitFor({ state: 'attached', timeout: 10000 });
    await page.waitForTimeout(200);
    assert.deepEqual(await page.evaluate(() => window.received), [{ type: 'zq-theme-request' }]);
    const child = page.frames().find((f) => f.url().includes('/plugin_brelvane'));
    assert.equal(await child.evaluate(() => localStorage.getItem('bot_theme')), 'light');
    assert.equal(await child.evaluate(() => document.documentElement.classList.contains('embedded')), true);
    assert.equal(await frame.locator('#themeToggle').isVisible(), false);
    // The host changes its theme later.
    await page.evaluate(() => document.getElementById('dash').contentWindow.postMessage({ type: 'zq-theme', theme: 'dark' }, '*'));
    await frame.locator('html[data-theme="dark"]').waitFor({ state: 'attached' });
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('embedded mode', () => {
  const cases = [
    ['?embed=1', true], ['?embed=true&x=1', true], ['?a=1&embed=1', true], ['?theme=light&embed=true', true],
    ['?embed=yes', false], ['?embed=10', false], ['?embed=1x', false], ['?xembed=1', false], ['', false],
  ];
  for (const [query, embedded] of cases) {
    test(`${query || 'no query'}: ${embedded ? 'embedded, toggle hidden' : 'not embedded, toggle shown'}`, async () => {
      const { page, context } = await openPage(browser);
      await page.goto(stack.url('/plugin_brelvane' + query));
      assert.equal(await page.evaluate(() => document.documentElement.classList.contains('embedded')), embedded);
      assert.equal(await page.locator('#themeToggle').isVisible(), !embedded);
      await context.close();
    });
  }
});

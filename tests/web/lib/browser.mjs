// Debian's Chromium under playwright-core, and the page-side helpers the browser tests share.
import { chromium } from 'playwright-core';

// Never a downloaded browser: the distribution's Chromium, headless, with nothing talking to the network.
export const chromiumPath = '/usr/bin/chromium';
export const chromiumArgs = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

// Playwright gives every launch a fresh temporary --user-data-dir of its own.
export function launchBrowser() {
  return chromium.launch({ executablePath: chromiumPath, headless: true, args: chromiumArgs });
}

// A fresh context (own storage) and page. Collects script errors and the page's API calls.
// storage: localStorage entries set before any page script runs, on every navigation of the page.
export async function openPage(browser, { storage = null, colorScheme = 'dark', viewport = { width: 1280, height: 900 },
  timezoneId = 'UTC', locale = 'en-US' } = {}) {
  const context = await browser.newContext({ colorScheme, viewport, timezoneId, locale });
  const page = await context.newPage();
  const errors = [];
  const api = [];
  page.on('pageerror', (err) => errors.push(err.message));
  page.on('request', (req) => {
    const u = new URL(req.url());
    if (u.searchParams.has('action')) {
      api.push({ url: u.pathname + u.search, action: u.searchParams.get('action'), headers: req.headers(), request: req });
    }
  });
  if (storage) {
    await page.addInitScript((entries) => {
      if (sessionStorage.getItem('__seeded')) return;
      sessionStorage.setItem('__seeded', '1');
      for (const [k, v] of Object.entries(entries)) localStorage.setItem(k, v);
    }, storage);
  }
  return { context, page, errors, api };
}

export async function text(page, selector) {
  return page.locator(selector).textContent();
}

export async function waitForText(page, selector, pattern, timeout = 20000) {
  await page.waitForFunction(([sel, src, flags]) => {
    const node = document.querySelector(sel);
    return !!node && new RegExp(src, flags).test(node.textContent);
  }, [selector, pattern.source, pattern.flags], { timeout });
}

// The refresh ends with "Updated <time>" in the status text.
export function waitForRefresh(page, timeout = 30000) {
  return waitForText(page, '#statusTxt', /^Updated /, timeout);
}

// Texts of every element that matches, in document order.
export function texts(page, selector) {
  return page.locator(selector).allTextContents();
}

export function card(page, email) {
  return page.locator(`#accounts .card[data-email="${email}"]`);
}

// Records every text the status line shows, including those replaced within one task.
export async function recordStatusTexts(page) {
  await page.addInitScript(() => {
    window.__statusTexts = [];
    document.addEventListener('DOMContentLoaded', () => {
      const target = document.getElementById('statusTxt');
      new MutationObserver((records) => {
        for (const r of records) for (const n of r.addedNodes) window.__statusTexts.push(n.textContent);
      }).observe(target, { childList: true });
    });
  });
}

// Benchmark: one render of the dashboard with 64 accounts x 128 model rows in headless Chromium, and the page's size.
// Run: node tests/web/page_render.bench.mjs   (BUILD_DIR as for the browser tests; prints a report, asserts nothing)
//
// The page's render() lives inside the script's function scope and the page exposes nothing for tests. A click on
// "Show Models" / "Hide Models" runs exactly one full render() synchronously inside the click handler, so the time
// around element.click() inside the page is the render's script time. The data comes through the real path: the
// real executable behind lighttpd, with the stand-in tool answering 128 models for each of 64 accounts.
// Reported separately: the script time of the render alone, and the same plus the style and layout it forces
// (read back with offsetHeight), which is what the user waits for before the next frame.
import { Stack } from './lib/stack.mjs';
import { launchBrowser, openPage, waitForRefresh } from './lib/browser.mjs';
import { demoAnswer } from './lib/answers.mjs';

const ACCOUNTS = 64;
const MODELS = 128;
const RUNS = 21;

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const ms = (x) => x.toFixed(1) + ' ms';

const stack = await Stack.start();
const browser = await launchBrowser();
try {
  const pageBytes = (await (await fetch(stack.url('/plugin_brelvane'))).arrayBuffer()).byteLength;
  const emails = Array.from({ length: ACCOUNTS }, (_, i) => `bench.${String(i).padStart(2, '0')}@example.org`);
  stack.writeAccounts(emails, { selected: emails[0] });
  emails.forEach((e, i) => stack.setAnswer(e, demoAnswer(i, MODELS)));

  const { page, context } = await openPage(browser, { viewport: { width: 1280, height: 900 } });
  await page.goto(stack.url('/plugin_brelvane'));
  await waitForRefresh(page, 180000);
  const rows = await page.locator('#accounts .mrow').count();
  const times = await page.evaluate((runs) => {
    const button = document.getElementById('btnModels');
    const out = { hidden: [], shown: [], hiddenLayout: [], shownLayout: [] };
    for (let i = 0; i < 2 * runs; i++) {
      const showing = button.textContent === 'Show Models';
      const t0 = performance.now();
      button.click();
      const t1 = performance.now();
      void document.body.offsetHeight;
      const t2 = performance.now();
      (showing ? out.shown : out.hidden).push(t1 - t0);
      (showing ? out.shownLayout : out.hiddenLayout).push(t2 - t0);
    }
    return out;
  }, RUNS);
  await context.close();

  console.log(`page: ${pageBytes} bytes (${(pageBytes / 1024).toFixed(1)} KiB; target under 40 KB)`);
  console.log(`data: ${ACCOUNTS} accounts, ${rows} model rows; median of ${RUNS} renders each`);
  console.log(`render, model lists hidden: ${ms(median(times.hidden))} script, ${ms(median(times.hiddenLayout))} with style and layout`);
  console.log(`render, model lists shown:  ${ms(median(times.shown))} script, ${ms(median(times.shownLayout))} with style and layout`);
  console.log(`target: render under 16 ms -> ${median(times.hidden) < 16 && median(times.shown) < 16 ? 'met' : 'missed'} (script time)`);
} finally {
  await browser.close();
  stack.stop();
}

// Canned quota-tool answers for the stand-in, and plug-in documents for calls a test answers itself.

export function isoIn(seconds, now = Date.now()) {
  return new Date(now + seconds * 1000).toISOString().replace(/\.\d{3}Z$/, 'Z');
}

// models: [{ id, fraction, reset }]; windows: [{ group, id, window, fraction, reset }].
export function toolAnswer({ models = [], windows = [], project = 'demo-project' } = {}) {
  const groups = new Map();
  for (const w of windows) {
    if (!groups.has(w.group)) groups.set(w.group, []);
    groups.get(w.group).push({ bucketId: w.id, window: w.window, remainingFraction: w.fraction, resetTime: w.reset });
  }
  return JSON.stringify({
    ok: true,
    project,
    buckets: models.map((m) => ({ modelId: m.id, remainingFraction: m.fraction, resetTime: m.reset })),
    summary: { groups: [...groups].map(([displayName, buckets]) => ({ displayName, buckets })) },
  });
}

export function toolFailure(error) {
  return JSON.stringify({ ok: false, error });
}

const demoModels = ['gemini-2.5-pro', 'gemini-2.5-flash', 'gemini-4-argon-preview', 'claude-sonnet-4', 'claude-opus-4', 'gpt-oss-120b'];

// A plausible answer that differs from account to account: n model rows over all three families.
export function demoAnswer(index, n = demoModels.length, now = Date.now()) {
  const models = [];
  for (let k = 0; k < n; k++) {
    const base = demoModels[k % demoModels.length];
    models.push({
      id: k < demoModels.length ? base : `${base}-v${k}`,
      fraction: ((index * 37 + k * 11) % 101) / 100,
      reset: k % 4 === 3 ? undefined : isoIn(600 + ((index * 5 + k) % 40) * 3600, now),
    });
  }
  const windows = index % 3 === 0 ? [
    { group: 'Claude', id: '3p-claude-5h', window: '5h', fraction: 0.8, reset: isoIn(7200, now) },
    { group: 'Claude', id: '3p-claude-weekly', window: 'weekly', fraction: 0.35, reset: isoIn(4 * 86400, now) },
  ] : [];
  return toolAnswer({ models, windows });
}

/* Plug-in documents, for tests that answer the page's calls themselves. */

export function statusDoc({ accounts = [], selected = '', cli = true, noRefresh = [] } = {}) {
  return {
    ok: true, plugin: 'plugin_brelvane', version: '1.0.3', selected,
    accounts_path: '/srv/node/antigravity_accounts.json', selected_path: '/srv/node/selected_account.txt',
    cli_present: cli, count: accounts.length,
    accounts: accounts.map((email) => ({ email, has_refresh: !noRefresh.includes(email), selected: email === selected })),
  };
}

export function pool(pct, { exhausted = false, reset = '', count = 1 } = {}) {
  return { pct, exhausted, reset_time: reset, reset_in_seconds: -1, reset_in_hours: -1, reset_remaining: '', count };
}

export const noPool = pool(-1, { count: 0 });

export function windowLimit(pct, { exhausted = false, reset = '' } = {}) {
  return { bucket_id: 'w', pct, exhausted, reset_time: reset, reset_in_seconds: -1, reset_in_hours: -1, reset_remaining: '' };
}

export function accountDoc(email, { gemini = noPool, argon = noPool, claude = noPool, limits = null, models = [] } = {}) {
  return {
    email, selected: false, has_refresh: true, ok: true, project: 'p', gemini, argon, claude,
    limits: limits || { gemini: { five_hour: null, weekly: null }, claude: { five_hour: null, weekly: null } },
    models,
  };
}

export function modelRow(id, pct, { exhausted = false, reset = '' } = {}) {
  return { id, pool: 'gemini', pct, exhausted, reset_time: reset, reset_in_seconds: -1, reset_in_hours: -1, reset_remaining: '' };
}

export function quotaDoc(account) {
  return { ok: true, plugin: 'plugin_brelvane', version: '1.0.3', selected: '', account };
}

// Answers the page's API calls in this page: handlers.status(), handlers.quota(email), handlers.switch(email)
// return a document (sent as JSON), a string (sent as it is), or { status, body } for other statuses.
// The page itself still comes from the real executable.
export async function answerApi(page, handlers) {
  await page.route((u) => u.searchParams.has('action'), async (route) => {
    const u = new URL(route.request().url());
    const action = u.searchParams.get('action');
    const handler = handlers[action];
    if (!handler) return route.continue();
    let reply = await handler(u.searchParams.get('account'), u);
    if (reply === 'abort') return route.abort('failed');
    if (!(reply && typeof reply === 'object' && 'body' in reply)) reply = { status: 200, body: reply };
    const body = typeof reply.body === 'string' ? reply.body : JSON.stringify(reply.body);
    return route.fulfill({ status: reply.status, contentType: 'application/json', body });
  });
}

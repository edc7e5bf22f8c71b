// The page under test: the real executable behind lighttpd (host/server.sh), on a free port, with a demo fixture per stack.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repoDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const buildDir = path.resolve(process.env.BUILD_DIR || path.join(repoDir, 'build-web'));
const serverScript = path.join(repoDir, 'host/server.sh');

// Returns what the script printed (start prints the port it chose).
function runServerScript(command, env) {
  const run = spawnSync(serverScript, [command], { env: { ...process.env, ...env }, encoding: 'utf8', timeout: 60000 });
  if (run.status !== 0) {
    throw new Error(`host/server.sh ${command} failed (${run.status}): ${run.stdout}${run.stderr}`);
  }
  return run.stdout;
}

async function waitForServer(base) {
  const deadline = Date.now() + 10000;
  for (;;) {
    try {
      await fetch(base + '/');
      return;
    } catch (err) {
      if (Date.now() > deadline) throw new Error('web server did not come up: ' + err.message);
      await new Promise((r) => setTimeout(r, 50));
    }
  }
}

// One web server with its own state folder and demo folder; tests rewrite the demo files between page loads
// (every request runs the executable afresh, and the stand-in tool reads its answers at each call).
export class Stack {
  static async start({ password = '', toolMissing = false } = {}) {
    const stack = new Stack();
    await stack.#start(password, toolMissing);
    return stack;
  }

  constructor() {
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'brelvane-web-'));
    this.demoDir = path.join(this.root, 'demo');
    this.serverDir = path.join(this.root, 'server');
    this.answersDir = path.join(this.demoDir, 'answers');
    fs.mkdirSync(this.answersDir, { recursive: true });
    fs.mkdirSync(path.join(this.serverDir, 'www'), { recursive: true });
    this.writeAccounts([]);
  }

  async #start(password, toolMissing) {
    let build = buildDir;
    if (toolMissing) {
      // A build folder of our own whose stand-in tool is removed once the server runs: the server
      // still names it, and the plug-in finds nothing there.
      build = path.join(this.root, 'build');
      fs.mkdirSync(build);
      for (const name of ['plugin_brelvane', 'brelvane-standin']) {
        fs.symlinkSync(path.join(buildDir, name), path.join(build, name));
      }
    }
    this.env = {
      BUILD_DIR: build,
      SERVER_DIR: this.serverDir,
      SERVER_PORT: '0',
      DEMO_DIR: this.demoDir,
      NODE_PASSWORD: password,
    };
    this.port = Number(runServerScript('start', this.env).trim());
    if (toolMissing) fs.rmSync(path.join(build, 'brelvane-standin'));
    this.base = `http://127.0.0.1:${this.port}`;
    await waitForServer(this.base);
  }

  url(pathAndQuery) {
    return this.base + pathAndQuery;
  }

  // accounts: addresses in file order; noRefresh: addresses written without a refresh token.
  writeAccounts(accounts, { selected = '', noRefresh = [] } = {}) {
    const list = accounts.map((email) => ({
      email,
      refresh_token: noRefresh.includes(email) ? '' : '1//token-' + email.length,
    }));
    fs.writeFileSync(path.join(this.demoDir, 'antigravity_accounts.json'), JSON.stringify(list, null, 1));
    fs.writeFileSync(path.join(this.demoDir, 'selected_account.txt'), selected ? selected + '\n' : '');
  }

  // text: what the stand-in prints for the account; behave: its directive lines (sleep_ms N, exit N, ...).
  setAnswer(email, text, behave = '') {
    fs.writeFileSync(path.join(this.answersDir, email + '.json'), typeof text === 'string' ? text : JSON.stringify(text));
    const behavePath = path.join(this.answersDir, email + '.behave');
    if (behave) fs.writeFileSync(behavePath, behave);
    else fs.rmSync(behavePath, { force: true });
  }

  selectedOnDisk() {
    return fs.readFileSync(path.join(this.demoDir, 'selected_account.txt'), 'utf8');
  }

  writeWww(name, text) {
    fs.writeFileSync(path.join(this.serverDir, 'www', name), text);
  }

  stop() {
    try {
      runServerScript('stop', this.env);
    } finally {
      fs.rmSync(this.root, { recursive: true, force: true });
    }
  }
}

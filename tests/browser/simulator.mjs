// Starts ringwatcher-sim live with its page on a free loopback port, and
// Debian's Chromium headless through Playwright, for the browser tests and
// the latency benchmark.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const build = process.env.RW_BUILD || join(root, 'build/host');
export const demoDisk = join(root, 'demo/disk');

// One simulator process. `start` again on the same port is a simulator
// restart as a user would do it.
export class Simulator {
  constructor(args = []) { this.args = args; this.port = 0; this.output = ''; }

  async start() {
    const port = this.port || 0;
    this.process = spawn(join(build, 'ringwatcher-sim'), [
      'live', '--program', join(build, 'ringwatcher.tap'), '--disk', demoDisk, '--http', String(port), ...this.args,
    ], { stdio: ['ignore', 'pipe', 'pipe'] });
    this.exited = new Promise(done => this.process.on('exit', code => done(code)));
    const opened = new Promise((done, fail) => {
      const timer = setTimeout(() => fail(new Error('no page within 20 s:\n' + this.output)), 20000);
      const read = chunk => {
        this.output += chunk;
        const m = /open http:\/\/127\.0\.0\.1:(\d+)\//.exec(this.output);
        if (m) { clearTimeout(timer); done(Number(m[1])); }
      };
      this.process.stdout.on('data', read);
      this.process.stderr.on('data', read);
      this.process.on('exit', code => { clearTimeout(timer); fail(new Error(`simulator ended (${code}):\n${this.output}`)); });
    });
    this.port = await opened;
    this.url = `http://127.0.0.1:${this.port}/`;
    return this;
  }

  // The resident memory of the simulator, in kB.
  rss() {
    return Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${this.process.pid}/status`, 'utf8'))[1]);
  }

  async stop() {
    if (this.process.exitCode !== null) return this.process.exitCode;
    this.process.kill('SIGTERM');
    return this.exited;
  }
}

// A browser context on a new empty profile, removed again by close().
export async function browser() {
  const profile = mkdtempSync(join(tmpdir(), 'rw-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1500, height: 1000 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  const close = context.close.bind(context);
  context.close = async () => { await close(); rmSync(profile, { recursive: true, force: true }); };
  return context;
}

// The mean colour of a box of the screen as the page shows it.
export async function screenBox(page, x, y, w, h) {
  return page.evaluate(([x, y, w, h]) => {
    const img = document.getElementById('screen');
    const c = document.createElement('canvas');
    c.width = 720; c.height = 576;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0, 720, 576);
    const d = g.getImageData(x, y, w, h).data;
    const sum = [0, 0, 0];
    for (let i = 0; i < d.length; i += 4) { sum[0] += d[i]; sum[1] += d[i + 1]; sum[2] += d[i + 2]; }
    return sum.map(v => Math.round(v / (d.length / 4)));
  }, [x, y, w, h]);
}

// Benchmark: from a router line sent through the page's router console to
// the changed pixels of the status bar readable from the page's screen, in
// Debian's headless Chromium; the CPU used while the page is open and
// nothing happens; and how long the page takes to its first frame. Prints
// the figures that bench/README.md keeps.
//   node latency_bench.mjs [--site] [LINES] [IDLE_SECONDS]
// Without --site it measures live mode (the simulator is its own process);
// with it the browser build's static site, where the simulator runs in the
// page's renderer process.
import { readdirSync, readFileSync } from 'node:fs';
import { Simulator, browser } from './simulator.mjs';
import { serveSite } from './staticSite.mjs';

const args = process.argv.slice(2);
const onSite = args[0] === '--site';
if (onSite) args.shift();
const lines = Number(args[0] || 300);
const idleSeconds = Number(args[1] || 20);

function cpuTicks(pid) {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return Number(fields[11]) + Number(fields[12]); // utime + stime, in clock ticks (100 a second)
}
// Chromium's renderer processes: where the site's simulator runs.
function renderers() {
  const out = [];
  for (const pid of readdirSync('/proc').filter(p => /^\d+$/.test(p))) {
    try {
      const cmd = readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (cmd.includes('chromium') && cmd.includes('--type=renderer')) out.push(pid);
    } catch { /* gone meanwhile */ }
  }
  return out;
}
function summary(samples) {
  const s = [...samples].sort((a, b) => a - b);
  const at = q => s[Math.min(s.length, Math.max(1, Math.ceil(q * s.length))) - 1];
  const median = s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
  return { count: s.length, median, p99: at(0.99), max: s[s.length - 1], mean: s.reduce((a, b) => a + b, 0) / s.length };
}

const target = onSite ? await serveSite() : await new Simulator().start();
const context = await browser();
const page = await context.newPage();
try {
  await page.goto(target.url);
  await page.waitForFunction(() => window.rw.frame >= 0, null, { timeout: 30000 });
  // Time from the start of navigation to the first frame on the screen.
  const firstFrame = await page.evaluate(() => window.rw.shownAt);
  await page.waitForFunction(() => window.rw.status.connected, null, { timeout: 30000 });
  await page.waitForTimeout(1000);

  // Page open, nothing happening: the demo stands aside once the console
  // was used.
  await page.evaluate(() => window.rwTransport.post('/router', { command: 'status' }));
  await page.waitForTimeout(500);
  const pids = onSite ? renderers() : [target.process.pid];
  const ticks = () => pids.reduce((sum, pid) => sum + cpuTicks(pid), 0);
  const before = ticks();
  await page.waitForTimeout(idleSeconds * 1000);
  const idleCpu = (ticks() - before) / idleSeconds; // percent of one core

  const samples = await page.evaluate(async lines => {
    const img = document.getElementById('screen');
    const canvas = document.createElement('canvas');
    canvas.width = 720; canvas.height = 576;
    const g = canvas.getContext('2d', { willReadFrequently: true });
    const bar = () => { g.drawImage(img, 0, 0); return g.getImageData(30, 56, 660, 110).data; };
    let last = bar();
    const differs = (a, b) => { for (let i = 0; i < a.length; i += 16) if (a[i] !== b[i] || a[i + 1] !== b[i + 1]) return true; return false; };
    const out = [];
    for (let i = 0; i < lines; i++) {
      const id = Math.floor(i / 2) % 8;
      const command = i % 2 === 0 ? `ring ${id} 0301234567 5550001` : `disconnect ${id} ${i % 3 ? 60 : 0}`;
      const shown = new Promise((done, fail) => {
        const timer = setTimeout(() => fail(new Error('no changed frame for ' + command)), 3000);
        window.rw.onShown = () => {
          const now = bar();
          if (!differs(now, last)) return; // a frame that changed nothing here
          last = now;
          clearTimeout(timer);
          done(performance.now());
        };
      });
      const sent = performance.now();
      window.rwTransport.post('/router', { command });
      out.push((await shown) - sent);
      await new Promise(r => setTimeout(r, 20 + Math.random() * 10)); // spread over the idle cycle
    }
    window.rw.onShown = null;
    return out;
  }, lines);

  const s = summary(samples);
  const what = onSite ? 'site' : 'live page';
  console.log(`${what}: first frame ${firstFrame.toFixed(0)} ms after the start of navigation`);
  console.log(`${what}: router line to changed pixels, ${s.count} lines: median ${s.median.toFixed(1)} ms, ` +
              `99th percentile ${s.p99.toFixed(1)} ms, mean ${s.mean.toFixed(1)} ms, max ${s.max.toFixed(1)} ms`);
  console.log(`${what}: ${onSite ? 'renderer' : 'simulator'} CPU with the page open and nothing happening: ` +
              `${idleCpu.toFixed(2)} % of a core over ${idleSeconds} s`);
} finally {
  await context.close();
  await (onSite ? target.close() : target.stop());
}

// Benchmark: from a router line sent through the page's router console to
// the changed pixels of the status bar readable from the page's screen, in
// Debian's headless Chromium; and the simulator's CPU use while the page is
// open and nothing happens. Prints the figures that bench/README.md keeps.
//   node latency_bench.mjs [LINES] [IDLE_SECONDS]
import { readFileSync } from 'node:fs';
import { Simulator, browser } from './simulator.mjs';

const lines = Number(process.argv[2] || 300);
const idleSeconds = Number(process.argv[3] || 20);

function cpuTicks(pid) {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return Number(fields[11]) + Number(fields[12]); // utime + stime, in clock ticks (100 a second)
}
function summary(samples) {
  const s = [...samples].sort((a, b) => a - b);
  const at = q => s[Math.min(s.length, Math.max(1, Math.ceil(q * s.length))) - 1];
  const median = s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
  return { count: s.length, median, p99: at(0.99), max: s[s.length - 1], mean: s.reduce((a, b) => a + b, 0) / s.length };
}

const sim = await new Simulator().start();
const context = await browser();
const page = await context.newPage();
try {
  await page.goto(sim.url);
  await page.waitForFunction(() => window.rw.status.connected, null, { timeout: 30000 });
  await page.waitForTimeout(1000);

  // Page open, nothing happening.
  const before = cpuTicks(sim.process.pid);
  await page.waitForTimeout(idleSeconds * 1000);
  const idleCpu = (cpuTicks(sim.process.pid) - before) / idleSeconds; // percent of one core
  const framesBefore = await page.evaluate(() => window.rw.frame);

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
      fetch('/router', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ command }) });
      out.push((await shown) - sent);
      await new Promise(r => setTimeout(r, 20 + Math.random() * 10)); // spread over the idle cycle
    }
    window.rw.onShown = null;
    return out;
  }, lines);

  const s = summary(samples);
  console.log(`browser latency, router line to changed pixels, ${s.count} lines: median ${s.median.toFixed(1)} ms, ` +
              `99th percentile ${s.p99.toFixed(1)} ms, mean ${s.mean.toFixed(1)} ms, max ${s.max.toFixed(1)} ms`);
  console.log(`simulator CPU with the page open and nothing happening: ${idleCpu.toFixed(2)} % of a core ` +
              `over ${idleSeconds} s (frames pushed meanwhile: ${framesBefore >= 0 ? 'none after start-up' : 'none'})`);
} finally {
  await context.close();
  await sim.stop();
}

// The page as a caller display for one's own router: the simulator talks to
// ringwatcher-fakerouter over loopback as it would to a FritzBox, the page
// hides what only the built-in fake router can do, a ring shows the caller,
// and a router whose call monitor is off ends the program with a reason and
// the way to fix it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { join } from 'node:path';
import { Simulator, browser, build } from './simulator.mjs';

let router, routerPort, sim, context, page;
const until = (fn, arg, timeout = 20000) => page.waitForFunction(fn, arg, { timeout });

// ringwatcher-fakerouter on a free port; commands go to its standard input.
function startRouter() {
  return new Promise((done, fail) => {
    const p = spawn(join(build, 'tools/fakerouter/ringwatcher-fakerouter'), ['--port', '0'], { stdio: ['pipe', 'pipe', 'pipe'] });
    let output = '';
    const timer = setTimeout(() => fail(new Error('no router within 10 s:\n' + output)), 10000);
    p.stdout.on('data', d => {
      output += d;
      const m = /listening on 127\.0\.0\.1:(\d+)/.exec(output);
      if (m) { clearTimeout(timer); done([p, Number(m[1])]); }
    });
    p.on('exit', code => { clearTimeout(timer); fail(new Error(`router ended (${code}):\n${output}`)); });
  });
}
const command = line => router.stdin.write(line + '\n');

before(async () => {
  [router, routerPort] = await startRouter();
  sim = await new Simulator(['--router', `127.0.0.1:${routerPort}`]).start();
  context = await browser();
  page = await context.newPage();
  await page.goto(sim.url);
});
after(async () => {
  await context?.close();
  await sim?.stop();
  router?.kill('SIGTERM');
});

test('connects to the router, hides the fake router\'s controls and shows a ring', async () => {
  await until(() => window.rw.status.connected);
  assert.equal(await page.isVisible('#calls'), false);
  assert.equal(await page.isVisible('#router'), false);
  command('ring 0 0301234567 5550001');
  await until(() => (window.rw.status.screenText || []).includes('Anna Müller'));
});

test('a router that refuses every connection ends the program, and the page says how to fix it', async () => {
  command('refuse');
  command('close');
  // Between refused attempts the page counts down to the next one.
  await until(() => /waiting to connect \(last: refused\), next attempt in \d+ s/.test(document.getElementById('sRouter').textContent));
  await until(() => !window.rw.status.running, null, 60000);
  assert.equal(await page.evaluate(() => window.rw.status.ended), 'no connection to the router');
  assert.match(await page.textContent('body'), /#96\*5\*/);
});

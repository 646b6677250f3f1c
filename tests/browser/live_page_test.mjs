// The live page in a real browser: start-up, a ring from the call panel
// (page state, screen pixels, the TV's text for screen readers), the book's
// two pages, dismiss, numbers as people write them, stop, restart, the end
// of the program by its three-attempt rule, reconnection after the
// simulator restarts, taking over from the looping demo; and the server's
// refusals of other origins, foreign Host names and malformed requests.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import net from 'node:net';
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { Simulator, browser, screenBox, build, root } from './simulator.mjs';

const sim = new Simulator();
let context, page;
const failedLoads = [];
const until = (fn, arg, timeout = 15000) => page.waitForFunction(fn, arg, { timeout });
const screenHas = text => until(t => (window.rw.status.screenText || []).includes(t), text);

before(async () => {
  await sim.start();
  context = await browser();
  page = await context.newPage();
  page.on('response', r => { if (r.status() >= 400) failedLoads.push(r.url() + ' ' + r.status()); });
});
after(async () => {
  await context?.close();
  await sim.stop();
});

test('opens and shows the start-up', async () => {
  await page.goto(sim.url);
  await until(() => window.rw.online && window.rw.frame >= 0);
  await until(() => document.getElementById('prints').textContent.includes('Starting Ringwatcher 1.2'));
  // The demo settings connect after five seconds.
  await until(() => window.rw.status.connected, null, 20000);
  assert.equal(await page.textContent('#sRouter'), 'connected');
  assert.equal(await page.textContent('#sAttempts'), '1');
  assert.deepEqual(failedLoads, []);
});

test('a ring from the call panel shows the caller by name', async () => {
  const bar = [40, 62, 300, 40]; // where the status window's bar goes
  const before = await screenBox(page, ...bar);
  await page.selectOption('#caller', '0301234567');
  await page.click('#ring');
  await screenHas('Anna Müller');
  await until(() => window.rw.status.lines[0] === 'ring');
  await page.waitForTimeout(100);
  const shown = await screenBox(page, ...bar);
  const change = shown.reduce((sum, v, i) => sum + Math.abs(v - before[i]), 0);
  assert.ok(change > 30, `the bar's pixels barely changed: ${before} -> ${shown}`);
  // A screen reader hears the caller from the TV, and not every frame from the bar.
  assert.match(await page.getAttribute('#screen', 'aria-label'), /Anna Müller/);
  assert.match(await page.textContent('#screenSays'), /Anna Müller\. Eingehender Anruf für/);
  assert.equal(await page.$('#bar[aria-live], #bar[role="status"]'), null);
  mkdirSync(join(build, 'screenshots'), { recursive: true });
  await page.screenshot({ path: process.env.RW_PAGE_SCREENSHOT || join(build, 'screenshots/live-page.png') });
});

test('the finished call is on the call list; the book switches pages and is dismissed', async () => {
  await page.fill('#duration', '42');
  await page.click('#hangup');
  await until(() => window.rw.status.lines[0] === 'idle');
  await page.click('#remote [data-key="action"]');
  await screenHas('Anrufliste');
  await until(() => !window.rw.status.normalViewing);
  assert.ok((await page.evaluate(() => window.rw.status.screenText)).includes('Anna Müller'));
  await page.click('#remote [data-key="switch"]');
  await screenHas('Pizzeria Bella'); // listed in the phone book, never called
  await page.click('#remote [data-key="dismiss"]'); // first the status window
  await page.click('#remote [data-key="dismiss"]');
  await until(() => window.rw.status.normalViewing && window.rw.status.screenText.length === 0);
  assert.match(await page.textContent('#keylog'), /Exit[\s\S]*switch[\s\S]*Book/);
});

test('a bad key code is reported where it was typed and stays', async () => {
  await page.fill('#code', 'red');
  await page.press('#code', 'Enter');
  await until(() => document.getElementById('keyError').textContent.includes('red'));
  await page.waitForTimeout(600); // pushed updates do not wipe it
  assert.match(await page.textContent('#keyError'), /unknown key code/);
});

test('stop ends the program, restart loads it anew', async () => {
  await page.click('#stop');
  await until(() => !window.rw.status.running);
  assert.match(await page.textContent('#sProgram'), /ended: .*stop event/);
  assert.match(await page.textContent('#prints'), /TAP STOPPED!!/);
  await page.click('#restart');
  await until(() => window.rw.status.running && window.rw.status.attempts === 0);
  await until(() => window.rw.status.connected, null, 20000);
});

test('every call button calls the chosen caller; numbers are read as people write them', async () => {
  const sent = async button => {
    await page.evaluate(() => { document.getElementById('routerOut').textContent = ''; });
    await page.click(button);
    await until(() => document.getElementById('routerOut').textContent || document.getElementById('callError').textContent);
    return [await page.textContent('#routerOut'), await page.textContent('#callError')];
  };
  await page.selectOption('#caller', '0302223344'); // Pizzeria Bella
  assert.match((await sent('#outgoing'))[0], /;CALL;0;4;5550001;0302223344;SIP0;/);
  assert.match((await sent('#connect'))[0], /;CONNECT;0;4;0302223344;/);
  await page.selectOption('#caller', '?');
  for (const [typed, own, expected] of [
    ['+49 30 / 765-4321', '555 0001', /;RING;0;0307654321;5550001;/],
    ['0049 (0)89 12 34', '(030) 555-0001', /;RING;0;0891234;0305550001;/],
    ['+43 1 234567', '5550001', /;RING;0;00431234567;5550001;/],
    ['030 123;5', '5550001', /Number: "030 123;5" is not a number; write digits/],
    ['0301234567', '555 0001 x', /Own number: "555 0001 x" is not a number/],
  ]) {
    await page.fill('#otherNumber', typed);
    await page.fill('#own', own);
    const [out, error] = await sent('#ring');
    assert.match(error || out, expected, typed);
    if (error) assert.equal(out, '', 'a refused number reached the router');
  }
  await page.fill('#own', '5550001');
  await page.fill('#duration', '0');
  await sent('#hangup');
});

test('the warning before the third attempt, then the end over the TV and a restart from there', async () => {
  await until(() => window.rw.status.connected, null, 20000);
  for (const misbehaviour of ['close', 'reset']) {
    assert.equal(await page.textContent('#notice'), '');
    const used = await page.evaluate(() => window.rw.status.attempts);
    await page.click(`[data-router="${misbehaviour}"]`);
    await until(n => window.rw.status.connected && window.rw.status.attempts > n, used, 20000);
  }
  assert.equal(await page.textContent('#notice'), 'Attempts 3 of 3: the next loss ends the program');
  await page.click('[data-router="close"]');
  await until(() => !window.rw.status.running, null, 20000);
  assert.ok(await page.isVisible('#ended'));
  assert.equal(await page.textContent('#endReason'), 'ended: no connection to the router');
  assert.equal(await page.textContent('#sProgram'), 'ended: no connection to the router');
  assert.match(await page.textContent('#endShown'), /keine Verbindung zu Fritz Box/);
  assert.equal(await page.textContent('#endFix'), ''); // the fake router's call monitor is always on
  await page.click('#endRestart');
  await until(() => window.rw.status.running && window.rw.status.attempts === 0);
  assert.ok(!(await page.isVisible('#ended')));
  await until(() => window.rw.status.connected, null, 20000);
});

test('the page reconnects by itself after the simulator restarts', async () => {
  await sim.stop();
  await until(() => !window.rw.online);
  assert.match(await page.textContent('#sSim'), /reconnecting/);
  await sim.start();
  await until(() => window.rw.online && window.rw.status.running, null, 20000);
  assert.equal(await page.textContent('#sSim'), 'live');
});

test('the user takes over from the looping demo, fills and clears the call list, and gives it back', async () => {
  const demo = await new Simulator(['--fakerouter', join(root, 'tools/fakerouter/demo.calls'), '--loop']).start();
  const mine = await context.newPage();
  const on = (fn, arg, timeout = 20000) => mine.waitForFunction(fn, arg, { timeout });
  try {
    await mine.goto(demo.url);
    await on(() => window.rw.status.lines && window.rw.status.lines[0] === 'ring'); // the demo's first call
    await mine.selectOption('#caller', '0302223344');
    await mine.click('#ring');
    await on(() => (window.rw.status.screenText || []).includes('Pizzeria Bella'));
    assert.ok(await mine.evaluate(() => window.rw.status.demoPaused));
    assert.match(await mine.textContent('#notice'), /Demo paused while you use the call panel/);
    // Nobody but the chosen caller comes on the screen meanwhile.
    const others = (await mine.evaluate(() => window.rw.setup.callers.map(c => c.name))).filter(n => n !== 'Pizzeria Bella');
    const seen = new Set();
    for (let i = 0; i < 20; i++) {
      (await mine.evaluate(() => window.rw.status.screenText)).forEach(t => seen.add(t));
      await mine.waitForTimeout(500);
    }
    assert.deepEqual(others.filter(n => seen.has(n)), []);
    await mine.click('#hangup');
    await mine.click('#notice button:has-text("Resume demo")');
    await on(() => !window.rw.status.demoPaused && document.getElementById('notice').textContent === '');
    await on(() => (window.rw.status.screenText || []).includes('Anna Müller')); // the demo from its start

    await mine.click('#fill');
    await on(() => window.rw.status.demoPaused);
    await mine.waitForTimeout(12000); // 36 calls, 0.3 s each
    await on(() => window.rw.status.lines.every(l => l === 'idle'));
    await mine.click('#remote [data-key="action"]');
    await on(() => window.rw.status.screenText.includes('Anrufliste'));
    const filled = await mine.evaluate(() => window.rw.status.screenText);
    assert.ok(['Mama', 'Jörg Köhler', 'Büro Schmidt'].every(n => filled.includes(n)), filled.join(' | '));
    await mine.click('#clearCalls');
    await on(() => window.rw.status.running && window.rw.status.attempts === 0);
    await on(() => window.rw.status.connected);
    await mine.click('#remote [data-key="action"]');
    await on(() => window.rw.status.screenText.includes('Anrufliste'));
    const listed = await mine.evaluate(() => window.rw.status.screenText);
    assert.deepEqual(['Mama', 'Jörg Köhler', 'Anna Müller'].filter(n => listed.includes(n)), [], listed.join(' | '));
  } finally {
    await mine.close();
    await demo.stop();
  }
});

test('a page on another origin cannot smuggle a request past a refused one', async () => {
  const target = sim.url;
  const port = sim.port;
  // A whole request of the page's own making, hidden in the body of one
  // that the server refuses: it must never be read as a request.
  const own = (path, body) => `POST ${path} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nContent-Type: application/json\r\n` +
    `Content-Length: ${body.length}\r\n\r\n${body}`;
  const smuggled = own('/router', '{"command":"ring 0 0301234567 5550001"}') + own('/control', '{"do":"stop"}');
  const formTail = '","x":"'; // the form's "=" lands inside a JSON string
  const formBody = own('/control', '{"do":"stop"' + formTail + '="}');
  const formName = formBody.slice(0, formBody.length - 3);
  const evilPage = `<form id="f" method="POST" action="${target}control" enctype="text/plain">
    <input type="hidden" name='${formName}' value='"}'></form><script>
    const smuggled = ${JSON.stringify(smuggled)};
    fetch('${target}control', { method: 'POST', mode: 'no-cors', body: smuggled }).catch(() => {});
    navigator.sendBeacon('${target}key', smuggled);
    setTimeout(() => document.getElementById('f').submit(), 300);</script>`;
  const evil = http.createServer((req, res) => { res.setHeader('Content-Type', 'text/html'); res.end(evilPage); });
  await new Promise(done => evil.listen(0, '127.0.0.1', done));
  const localFile = join(build, 'screenshots', 'evil-local.html'); // a file:// page sends Origin: null
  mkdirSync(join(build, 'screenshots'), { recursive: true });
  writeFileSync(localFile, `<script>fetch('${target}router', { method: 'POST', mode: 'no-cors', body: ${JSON.stringify(smuggled)} });</script>`);
  const other = await context.newPage();
  const answers = [];
  other.on('response', r => { if (r.url().startsWith(target)) answers.push(r.status()); });
  await other.goto(`http://localhost:${evil.address().port}/`);
  await other.waitForTimeout(1500);
  await other.goto('file://' + localFile);
  await other.waitForTimeout(1000);
  await other.close();
  evil.close();
  assert.ok(answers.length >= 3 && answers.every(s => s === 403), `answers: ${answers}`);
  const status = await page.evaluate(() => window.rw.status);
  assert.equal(status.running, true, 'the program was stopped');
  assert.deepEqual(status.lines.slice(0, 3), ['idle', 'idle', 'idle']);
  // And the page still loads at once.
  const fresh = await context.newPage();
  const started = Date.now();
  await fresh.goto(sim.url);
  await fresh.waitForFunction(() => window.rw.online && window.rw.frame >= 0, null, { timeout: 5000 });
  assert.ok(Date.now() - started < 2000, `the page took ${Date.now() - started} ms`);
  await fresh.close();
});

// One raw request; the status line of the answer.
function raw(bytes, { wait = 3000 } = {}) {
  return new Promise(done => {
    const s = net.connect(sim.port, '127.0.0.1', () => s.write(bytes));
    let got = '';
    s.on('data', d => {
      got += d;
      if (got.includes('\r\n')) s.destroy();
    });
    s.on('error', () => {});
    s.on('close', () => done(got.split('\r\n')[0]));
    setTimeout(() => { s.destroy(); done(got.split('\r\n')[0] || 'no answer'); }, wait);
  });
}

// Header lines without end, 20 MB of them unless the server stops reading;
// resolves with the first line of its answer.
function headerFlood(host) {
  return new Promise(done => {
    const s = net.connect(sim.port, '127.0.0.1');
    const lines = ('X-Filler: ' + 'a'.repeat(1000) + '\r\n').repeat(100);
    let sent = 0, got = '';
    const more = () => {
      while (sent < 20e6 && s.write(lines)) sent += lines.length;
      if (sent < 20e6) s.once('drain', more);
    };
    s.on('connect', () => { s.write('GET / HTTP/1.1\r\n' + host); more(); });
    s.on('data', d => { got += d; });
    s.on('error', () => {});
    s.on('close', () => done(got.split('\r\n')[0] || 'no answer'));
    setTimeout(() => s.destroy(), 10000);
  });
}

test('the server refuses foreign hosts and malformed requests and keeps serving', async () => {
  const host = `Host: 127.0.0.1:${sim.port}\r\n`;
  const json = 'Content-Type: application/json\r\n';
  const rssBefore = sim.rss();
  const cases = [
    ['GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n', 403],
    [`GET / HTTP/1.1\r\nHost: evil.example:${sim.port}\r\n\r\n`, 403],
    [`POST / HTTP/1.1\r\n${host}${json}Content-Length: 2\r\n\r\n{}`, 405],
    [`GET /key HTTP/1.1\r\n${host}\r\n`, 405],
    [`POST /key HTTP/1.1\r\n${host}${json}Content-Length: 16\r\nContent-Length: 16\r\n\r\n{"key":"action"}`, 400],
    [`POST /key HTTP/1.1\r\n${host}${json}Content-Length: -1\r\n\r\n{"key":"action"}`, 400],
    [`POST /key HTTP/1.1\r\n${host}${json}Content-Length: 18446744073709551617\r\n\r\n`, 400],
    [`POST /key HTTP/1.1\r\n${host}Content-Type: text/plain\r\nContent-Length: 16\r\n\r\n{"key":"action"}`, 403],
    [`GET / HTTP/1.1\r\n${host}Content-Length: 100000000\r\n\r\n` + 'x'.repeat(100000), 413],
  ];
  for (const [request, status] of cases)
    assert.match(await raw(request), new RegExp(`^HTTP/1.1 ${status} `), request.split('\r\n')[0]);
  // Four 100 MB bodies and two floods of header lines at once, and eight
  // clients that never finish their request; twice, so that the second round
  // finds the server's threads warm.
  const abuse = async () => {
    const big = Array.from({ length: 4 }, () => raw(`POST /router HTTP/1.1\r\n${host}${json}Content-Length: 104857600\r\n\r\n` + 'x'.repeat(1 << 20)));
    const floods = Array.from({ length: 2 }, () => headerFlood(host));
    const slow = Array.from({ length: 8 }, () => net.connect(sim.port, '127.0.0.1', function () { this.write('GET / HT'); }));
    slow.forEach(s => s.on('error', () => {}));
    await page.waitForTimeout(300); // all of them are in, none is done
    const started = Date.now();
    assert.match(await raw(`GET /favicon.ico HTTP/1.1\r\n${host}\r\n`), /^HTTP\/1.1 200 /);
    assert.ok(Date.now() - started < 1000, `slow clients held up another one for ${Date.now() - started} ms`);
    await Promise.all(big);
    for (const answer of await Promise.all(floods)) assert.match(answer, /^HTTP\/1.1 431 /);
    slow.forEach(s => s.destroy());
    await page.waitForTimeout(300);
  };
  await abuse();
  const warm = sim.rss();
  await abuse();
  assert.ok(sim.rss() - warm < 4096, `memory grew from ${warm} kB to ${sim.rss()} kB`);
  assert.ok(warm - rssBefore < 16000, `the first round took ${warm - rssBefore} kB`);
  assert.ok(await page.evaluate(() => window.rw.online));
});

// The browser build as a static site in Debian's Chromium: the program
// starts and connects in the tab, a ring from the call panel shows the
// caller by name, the book opens, stop and restart work, and a disk of our
// own dropped on the page restarts the program with its caller.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { browser, screenBox, root } from './simulator.mjs';
import { serveSite } from './staticSite.mjs';

let server, context, page;
const problems = [];
const until = (fn, arg, timeout = 20000) => page.waitForFunction(fn, arg, { timeout });
const screenHas = text => until(t => (window.rw.status.screenText || []).includes(t), text);

before(async () => {
  server = await serveSite();
  context = await browser();
  page = await context.newPage();
  page.on('pageerror', e => problems.push(e.message));
  page.on('response', r => { if (r.status() >= 400) problems.push(r.url() + ' ' + r.status()); });
});
after(async () => {
  await context?.close();
  await server?.close();
});

test('the site starts the program in the tab, and it connects to the router', async () => {
  await page.goto(server.url);
  await until(() => window.rw.online && window.rw.frame >= 0);
  await until(() => document.getElementById('prints').textContent.includes('Starting Ringwatcher 1.2'));
  await until(() => window.rw.status.connected);
  assert.equal(await page.textContent('#sRouter'), 'connected');
  assert.deepEqual(problems, []);
});

test('a ring from the call panel shows the caller by name, and the book opens', async () => {
  const bar = [40, 62, 300, 40];
  await page.selectOption('#caller', '0301234567');
  const before = await screenBox(page, ...bar);
  await page.click('#ring');
  await screenHas('Anna Müller');
  await page.waitForTimeout(100);
  const shown = await screenBox(page, ...bar);
  assert.ok(shown.reduce((sum, v, i) => sum + Math.abs(v - before[i]), 0) > 30, `${before} -> ${shown}`);
  assert.match(await page.textContent('#screenSays'), /Anna Müller\. Eingehender Anruf für/);
  // The same bar as the PC draws it for the same call (the golden picture of
  // the incoming-call scenario): text set by stb_truetype instead of FreeType
  // and pictures decoded by stb_image instead of libjpeg differ a little.
  const golden = readFileSync(join(root, 'tests/golden/ring_bar.png')).toString('base64');
  const d = await page.evaluate(async png => {
    const bytes = Uint8Array.from(atob(png), c => c.charCodeAt(0));
    const pc = await createImageBitmap(new Blob([bytes], { type: 'image/png' }));
    const read = source => {
      const c = document.createElement('canvas');
      c.width = 720; c.height = 576;
      const g = c.getContext('2d');
      g.drawImage(source, 0, 0);
      return g.getImageData(0, 0, 720, 576).data;
    };
    const a = read(pc), b = read(document.getElementById('screen'));
    let differing = 0, sum = 0, outside = 0;
    for (let i = 0; i < a.length; i += 4) {
      const worst = Math.max(Math.abs(a[i] - b[i]), Math.abs(a[i + 1] - b[i + 1]), Math.abs(a[i + 2] - b[i + 2]));
      sum += worst;
      if (worst <= 16) continue;
      differing++;
      const x = (i / 4) % 720, y = Math.floor(i / 4 / 720);
      if (x < 30 || x >= 598 || y < 56 || y >= 140) outside++;
    }
    return { differing, outside, mean: sum / (a.length / 4) };
  }, golden);
  const barPixels = 568 * 84;
  console.log(`site vs PC frame of the same ring: ${d.differing} pixels differ by more than 16 ` +
              `(${(100 * d.differing / barPixels).toFixed(2)} % of the bar), mean difference ${d.mean.toFixed(3)} per pixel`);
  assert.equal(d.outside, 0, 'pixels outside the bar differ');
  assert.ok(d.differing < barPixels * 0.1, `${d.differing} pixels differ`);
  mkdirSync(join(root, 'build/wasm/screenshots'), { recursive: true });
  await page.screenshot({ path: process.env.RW_SITE_SCREENSHOT || join(root, 'build/wasm/screenshots/site.png') });

  await page.click('#hangup');
  await until(() => window.rw.status.lines[0] === 'idle');
  await page.click('#remote [data-key="action"]');
  await screenHas('Anrufliste');
  assert.ok((await page.evaluate(() => window.rw.status.screenText)).includes('Anna Müller'));
  await page.click('#remote [data-key="dismiss"]'); // first the status window
  await page.click('#remote [data-key="dismiss"]');
  await until(() => window.rw.status.normalViewing && window.rw.status.screenText.length === 0);
});

test('stop ends the program; restart starts a fresh one in the tab', async () => {
  await page.click('#stop');
  await until(() => !window.rw.status.running);
  assert.match(await page.textContent('#prints'), /TAP STOPPED!!/);
  await page.click('#restart');
  await until(() => document.getElementById('prints').textContent.includes('the program starts anew'));
  await until(() => window.rw.status.running && window.rw.status.connected);
  assert.equal((await page.textContent('#prints')).split('Starting Ringwatcher 1.2').length, 3);
});

test('a disk of our own restarts the program, which names its caller', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'rw-own-disk-'));
  const book = join(folder, 'addrbook.dat');
  writeFileSync(book, Buffer.from('0305550001 = Zuhause\n0221987654 = Gr\xe4fin Zahl, graefin.jpg, Schlo\xdf\n', 'latin1'));
  const picture = join(folder, 'graefin.jpg');
  writeFileSync(picture, readFileSync(join(root, 'demo/disk/PhotoFiles/Ringwatcher/anna.jpg')));
  const stray = join(folder, 'notes.txt');
  writeFileSync(stray, 'not for the receiver');
  await page.setInputFiles('#ownDisk input[type=file]', [book, picture, stray]);
  await until(() => document.getElementById('prints').textContent.includes('the program starts anew on your own disk'));
  // The new program's setup comes with its first status, not connected yet.
  await until(() => window.rw.setup.callers.some(c => c.number === '0221987654'));
  await until(() => window.rw.status.connected);
  assert.match(await page.textContent('#ownDiskState'), /addrbook\.dat, graefin\.jpg \(not used: notes\.txt\)/);
  await page.selectOption('#caller', '0221987654');
  await page.click('#ring');
  await screenHas('Gräfin Zahl');
  // The firmware journal, made in the tab on request, shows the picture drawn.
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('text=Download firmware journal')]);
  const journal = readFileSync(await download.path(), 'latin1');
  assert.match(journal, /TAP_Osd_DrawJpeg\([^)]*"\/PhotoFiles\/Ringwatcher\/graefin\.jpg",0\) = 0/);
  assert.match(journal, /"Gr\\344fin Zahl"/);
  assert.deepEqual(problems, []);
});

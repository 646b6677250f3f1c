// The live page: the TV screen pushed as server-sent events, a remote
// control, a call panel, the router console and misbehaviours, the program's
// status and its debug output. Plain HTML, CSS and script, no build step.
#include "livePage.h"

namespace sim
{

const char *const livePageIcon =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><rect x="2" y="5" width="28" height="19" rx="3" )"
    R"(fill="#234" stroke="#9bd" stroke-width="2"/><rect x="6" y="15" width="20" height="5" fill="#2f6f3e"/>)"
    R"(<rect x="11" y="26" width="10" height="2" fill="#9bd"/></svg>)";

const char *const livePageHtml = R"PAGE(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Ringwatcher - simulated receiver</title>
<link rel="icon" href="/favicon.ico" type="image/svg+xml">
<style>
  * { box-sizing: border-box; }
  body { background: #1d1f22; color: #ddd; font: 14px sans-serif; margin: 0; }
  #bar { position: sticky; top: 0; z-index: 2; display: flex; flex-wrap: wrap; gap: 6px 14px; padding: 8px 16px; background: #111; border-bottom: 1px solid #333; }
  #bar span b { color: #fff; font-weight: 600; }
  .good { color: #7c7 !important; } .bad { color: #e77 !important; } .warn { color: #ec6 !important; }
  main { display: flex; gap: 20px; flex-wrap: wrap; padding: 16px; align-items: flex-start; }
  #tv { flex: 0 1 auto; max-width: 100%; }
  #frameBox { position: relative; overflow: auto; background: #000; border: 10px solid #0b0b0b; border-radius: 8px; }
  #screen { display: block; image-rendering: pixelated; width: 720px; height: 576px; }
  #frameBox.fit #screen { width: min(720px * 2, calc(100vw - 480px)); height: auto; min-width: 360px; }
  #frameBox.x2 #screen { width: 1440px; height: 1152px; }
  #gone { display: none; position: absolute; inset: 0; background: rgba(0,0,0,.7); color: #fff; font-size: 20px; align-items: center; justify-content: center; text-align: center; padding: 20px; }
  #frameBox.offline #gone { display: flex; }
  .tools { display: flex; gap: 6px; margin-top: 8px; flex-wrap: wrap; align-items: center; }
  .tools button[aria-pressed="true"] { background: #2f5f8f; }
  #side { display: flex; flex-direction: column; gap: 14px; min-width: 330px; max-width: 640px; flex: 1; }
  section { background: #25282c; border-radius: 8px; padding: 10px 12px; }
  h2 { font-size: 14px; margin: 0 0 8px 0; color: #bbb; }
  button { background: #3a3e45; color: #eee; border: 1px solid #555; border-radius: 6px; padding: 5px 10px; cursor: pointer; font-size: 13px; }
  button:hover { background: #474c55; } button:focus-visible, input:focus-visible, select:focus-visible { outline: 2px solid #6af; }
  input, select { background: #15171a; color: #eee; border: 1px solid #555; border-radius: 4px; padding: 4px; }
  .row { display: flex; gap: 6px; flex-wrap: wrap; align-items: center; margin: 4px 0; }
  .error { color: #f88; white-space: pre-wrap; min-height: 0; margin-top: 4px; }
  .error:empty { display: none; }
  .remote { display: grid; grid-template-columns: repeat(3, 104px); gap: 8px; background: linear-gradient(#34383e, #26292d); padding: 18px 14px 22px; border-radius: 40px 40px 28px 28px; width: max-content; box-shadow: 0 4px 14px #000a; }
  .remote button { height: 46px; border-radius: 12px; font-size: 12px; line-height: 1.15; }
  .remote .round { border-radius: 23px; }
  .remote .action { background: #2f6f3e; } .remote .dismiss { background: #7a3030; }
  .remote button.lit { background: #d8b23a !important; color: #111; }
  #keylog { font: 12px monospace; color: #aaa; max-height: 60px; overflow: auto; }
  pre { background: #111; padding: 8px; margin: 0; overflow: auto; white-space: pre-wrap; font-size: 12px; }
  #prints { height: 240px; } #routerOut { max-height: 90px; }
  .hint { color: #888; font-size: 12px; margin: 4px 0 0 0; }
  .lines b { display: inline-block; min-width: 0; }
</style>
</head>
<body>
<div id="bar" role="status" aria-live="polite">
  <span>Simulator: <b id="sSim" class="warn">connecting</b></span>
  <span>Program: <b id="sProgram">?</b></span>
  <span>Router: <b id="sRouter">?</b></span>
  <span>Attempts: <b id="sAttempts">?</b> of 3</span>
  <span class="lines">Lines: <b id="sLines">?</b></span>
  <span>Heap: <b id="sHeap">?</b></span>
  <span>Receiver: <b id="sReceiver">?</b></span>
  <span>Frame: <b id="sFrame">?</b></span>
</div>
<main>
<div id="tv">
  <div id="frameBox" class="x1"><canvas id="screen" width="720" height="576" role="img" aria-label="TV screen of the simulated receiver"></canvas><div id="gone"></div></div>
  <div class="tools">
    <span>Scale:</span>
    <button data-scale="x1" aria-pressed="true">1x</button><button data-scale="x2">2x</button><button data-scale="fit">Fit</button>
    <button id="save">Save frame as PNG</button>
    <span style="flex:1"></span>
    <button id="restart" title="load the program anew on the same disk">Restart program</button>
    <button id="stop" title="send the program the stop event">Stop program</button>
    <button id="replay" title="play the demo's calls again from the start">Replay demo</button>
  </div>
  <div class="error" id="controlError"></div>
</div>
<div id="side">
  <section>
    <h2>Remote control</h2>
    <div style="display:flex; gap:16px; flex-wrap:wrap">
      <div class="remote" id="remote">
        <button class="action round" data-key="action" id="actionKey">Book<br>open / close</button>
        <span></span>
        <button class="dismiss round" data-key="dismiss">Exit<br>dismiss / close</button>
        <button data-key="pageup">Page &#9650;<br>12 rows up</button>
        <button data-key="up">&#9650;<br>row up</button>
        <button data-key="switch">Switch<br>call list / book</button>
        <button data-key="pagedown">Page &#9660;<br>12 rows down</button>
        <button data-key="down">&#9660;<br>row down</button>
        <button data-key="switch2">Switch (2nd key)<br>call list / book</button>
      </div>
      <div style="flex:1; min-width:160px">
        <p class="hint">Keyboard (outside input fields): B opens/closes the book, Esc dismisses, arrows move, Page Up/Down scroll, S switches the page. Tab moves between controls as usual.</p>
        <form class="row" id="codeForm"><input id="code" aria-label="key code" placeholder="key code, e.g. 0x10049" size="14"><button>Send key</button></form>
        <div class="error" id="keyError"></div>
        <div>Key log:</div><div id="keylog" aria-live="off"></div>
      </div>
    </div>
  </section>
  <section id="calls">
    <h2>Calls</h2>
    <div class="row">
      <label>Caller <select id="caller"></select></label>
      <input id="otherNumber" aria-label="other number" placeholder="number" size="12" value="0891234567">
      <label>Own number <input id="own" size="9" value="5550001"></label>
    </div>
    <div class="row">
      <label>Line <select id="line"><option>0</option><option>1</option><option>2</option><option>3</option><option>4</option><option>5</option><option>6</option><option>7</option></select></label>
      <label>Extension <input id="ext" size="3" value="4"></label>
      <label>Duration <input id="duration" size="4" value="65"> s</label>
      <label>after <input id="after" size="3" value="0"> s</label>
    </div>
    <div class="row">
      <button id="ring">Ring</button>
      <button id="outgoing">Outgoing call</button>
      <button id="connect">Connect</button>
      <button id="hangup">Hang up</button>
      <button id="missed">Missed call</button>
      <button id="twoLines">Two lines at once</button>
    </div>
    <div class="error" id="callError"></div>
  </section>
  <section id="router">
    <h2>Router</h2>
    <div class="row">
      <button data-router="close" title="orderly close (FIN), like a router restart">Close</button>
      <button data-router="reset" title="abortive close (RST)">Reset</button>
      <button data-router="refuse 10s" title="connects are refused for 10 s">Refuse 10 s</button>
      <button data-router="stall ring 0 0301234567 5550001" title="half a line, the rest on resume">Stall</button>
      <button data-router="resume">Resume</button>
      <button data-router="garbage 64" title="64 bytes of anything">Garbage</button>
      <button data-router="status">Status</button>
    </div>
    <form class="row" id="routerForm"><input id="command" aria-label="router command" style="flex:1" placeholder="ring 0 0301234567 5550001"><button>Send</button></form>
    <div class="error" id="routerError"></div>
    <pre id="routerOut"></pre>
    <p class="hint">ring ID CALLER OWN, call ID EXT OWN CALLED, connect ID EXT NUMBER, disconnect ID SECONDS, a number "-" is suppressed; close, reset, refuse, stall, garbage N, help</p>
  </section>
  <section>
    <h2>Debug output</h2>
    <div class="row">
      <input id="filter" aria-label="filter" placeholder="filter" size="16">
      <label><input type="checkbox" id="pause"> pause</label>
      <button id="clear">Clear</button>
      <a href="/journal.txt" download style="color:#8bf">Download firmware journal</a>
    </div>
    <pre id="prints"></pre>
  </section>
</div>
</main>
<script>
'use strict';
const $ = id => document.getElementById(id);
const rw = window.rw = { frame: -1, status: {}, setup: { callers: [] }, online: false, shownAt: 0 };
const printLines = [];
let held = [];

function hex(n) { return '0x' + n.toString(16).toUpperCase(); }

async function post(path, body, errorBox) {
  if (errorBox) errorBox.textContent = '';
  let r;
  try {
    r = await fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
  } catch (e) {
    if (errorBox) errorBox.textContent = 'the simulator does not answer';
    return null;
  }
  const text = r.status === 204 ? '' : await r.text();
  if (!r.ok && errorBox) errorBox.textContent = text.trim() || ('error ' + r.status);
  return { ok: r.ok, text };
}

// Remote control.
const keyNames = { action: 'Book (0x10049)', dismiss: 'Exit', up: 'row up', down: 'row down', pageup: 'page up',
                   pagedown: 'page down', switch: 'switch', switch2: 'switch (2nd)' };
function light(name) {
  const b = document.querySelector('[data-key="' + name + '"]');
  if (!b) return;
  b.classList.add('lit');
  setTimeout(() => b.classList.remove('lit'), 250);
}
async function key(name) {
  light(name);
  const r = await post('/key', { key: name }, $('keyError'));
  const log = $('keylog');
  const entry = document.createElement('div');
  entry.textContent = new Date().toLocaleTimeString() + '  ' + (keyNames[name] || name) + (r && r.ok ? '' : '  (refused)');
  log.prepend(entry);
  while (log.childElementCount > 30) log.lastChild.remove();
}
document.querySelectorAll('[data-key]').forEach(b => b.addEventListener('click', () => key(b.dataset.key)));
$('codeForm').addEventListener('submit', e => { e.preventDefault(); key($('code').value.trim()); });
const shortcuts = { b: 'action', B: 'action', Escape: 'dismiss', ArrowUp: 'up', ArrowDown: 'down',
                    PageUp: 'pageup', PageDown: 'pagedown', s: 'switch', S: 'switch' };
document.addEventListener('keydown', e => {
  const t = e.target;
  if (e.ctrlKey || e.altKey || e.metaKey || e.key === 'Tab') return;
  if (t.isContentEditable || ['INPUT', 'SELECT', 'TEXTAREA'].includes(t.tagName)) return;
  const name = shortcuts[e.key] === 'action' ? $('actionKey').dataset.key : shortcuts[e.key];
  if (name) { e.preventDefault(); key(name); }
});

// Calls.
function field(id) { return $(id).value.trim(); }
function callerNumber() { const v = $('caller').value; return v === '?' ? (field('otherNumber') || '-') : v; }
async function router(commands, errorBox) {
  errorBox.textContent = '';
  const out = [];
  for (const [command, after] of commands) {
    const r = await post('/router', { command, after: after || 0 }, errorBox);
    if (!r) return;
    out.push(r.text.trim());
    if (!r.ok) break;
  }
  $('routerOut').textContent = out.join('\n');
}
const line = () => field('line');
const after = () => Number(field('after')) || 0;
const own = () => field('own') || '5550001';
$('ring').onclick = () => router([['ring ' + line() + ' ' + callerNumber() + ' ' + own(), after()]], $('callError'));
$('outgoing').onclick = () => router([['call ' + line() + ' ' + (field('ext') || '4') + ' ' + own() + ' ' + (field('otherNumber') || '-'), after()]], $('callError'));
$('connect').onclick = () => router([['connect ' + line() + ' ' + (field('ext') || '4') + ' ' + callerNumber(), after()]], $('callError'));
$('hangup').onclick = () => router([['disconnect ' + line() + ' ' + (field('duration') || '0'), after()]], $('callError'));
$('missed').onclick = () => router([['ring ' + line() + ' ' + callerNumber() + ' ' + own(), after()],
                                    ['disconnect ' + line() + ' 0', after() + 4]], $('callError'));
$('twoLines').onclick = () => {
  const callers = rw.setup.callers.map(c => c.number);
  const first = callers[0] || '0301234567', second = callers[1] || '0891234567';
  router([['ring 0 ' + first + ' ' + own(), after()], ['ring 1 ' + second + ' ' + own(), after() + 1.5]], $('callError'));
};
document.querySelectorAll('[data-router]').forEach(b => b.addEventListener('click', () => router([[b.dataset.router, 0]], $('routerError'))));
$('routerForm').addEventListener('submit', e => {
  e.preventDefault();
  router([[$('command').value, 0]], $('routerError'));
  $('command').value = '';
});

// The program.
$('restart').onclick = () => post('/control', { do: 'restart' }, $('controlError'));
$('stop').onclick = () => post('/control', { do: 'stop' }, $('controlError'));
$('replay').onclick = () => post('/control', { do: 'replay' }, $('controlError'));

// Screen.
document.querySelectorAll('[data-scale]').forEach(b => b.addEventListener('click', () => {
  $('frameBox').className = b.dataset.scale + ($('frameBox').classList.contains('offline') ? ' offline' : '');
  document.querySelectorAll('[data-scale]').forEach(o => o.setAttribute('aria-pressed', String(o === b)));
}));
$('save').onclick = () => {
  if (rw.frame < 0) return;
  const n = rw.frame;
  $('screen').toBlob(png => {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(png);
    a.download = 'ringwatcher-frame-' + n + '.png';
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }, 'image/png');
};

// Debug output.
function showPrints() {
  const f = $('filter').value.toLowerCase();
  const box = $('prints');
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  box.textContent = printLines.filter(l => !f || l.toLowerCase().includes(f)).join('');
  if (atEnd) box.scrollTop = box.scrollHeight;
}
function addPrints(lines) {
  const stamp = new Date().toLocaleTimeString([], { hour12: false }) + '.' + String(Date.now() % 1000).padStart(3, '0');
  for (const l of lines) printLines.push(stamp + '  ' + l + (l.endsWith('\n') ? '' : '\n'));
  if (printLines.length > 2000) printLines.splice(0, printLines.length - 2000);
  if (!$('pause').checked) showPrints();
}
$('filter').addEventListener('input', showPrints);
$('pause').addEventListener('change', () => { if (!$('pause').checked) showPrints(); });
$('clear').onclick = () => { printLines.length = 0; showPrints(); };

// Status.
function set(id, text, cls) { const e = $(id); e.textContent = text; e.className = cls || ''; }
function showStatus(s) {
  rw.status = s;
  set('sProgram', s.running ? 'running' : 'ended: ' + s.ended, s.running ? 'good' : 'bad');
  set('sRouter', s.connected ? 'connected' : 'not connected', s.connected ? 'good' : 'warn');
  set('sAttempts', String(s.attempts), s.attempts >= 3 && !s.connected ? 'bad' : '');
  set('sLines', s.lines ? s.lines.map((l, i) => l === 'idle' ? null : i + ':' + l).filter(Boolean).join(' ') || 'all idle' : 'external router');
  set('sHeap', s.heapUsed + ' bytes in ' + s.heapBlocks + ' blocks');
  set('sReceiver', s.normalViewing ? 'normal viewing' : 'menu / book (' + s.receiverState + ')');
  set('sFrame', String(s.frame));
}
function showSetup(s) {
  rw.setup = s;
  const pick = $('caller');
  pick.textContent = '';
  for (const c of s.callers) pick.add(new Option((c.name || '(no name)') + (c.number ? ' - ' + c.number : ' - suppressed number'), c.number || '-'));
  pick.add(new Option('unknown number (type it)', '?'));
  if (!s.callers.some(c => !c.number)) pick.add(new Option('suppressed number', '-'));
  const code = hex(s.actionKey);
  $('actionKey').innerHTML = 'Book ' + code + '<br>open / close';
  $('actionKey').title = 'action key ' + code + (s.actionKey === 0x10049 ? '' : ' (from ActionKey)');
  $('actionKey').dataset.key = s.actionKey === 0x10049 ? 'action' : String(s.actionKey);
  $('router').style.display = s.router ? '' : 'none';
  $('calls').style.display = s.router ? '' : 'none';
}
function offline(text) {
  rw.online = false;
  set('sSim', text, 'bad');
  $('gone').textContent = text;
  $('frameBox').classList.add('offline');
}

let source = null;
const screen = $('screen').getContext('2d');
let painted = Promise.resolve();
function connect() {
  source = new EventSource('/events');
  source.onopen = () => {
    rw.online = true;
    set('sSim', 'live', 'good');
    $('frameBox').classList.remove('offline');
    $('controlError').textContent = '';
  };
  source.onerror = () => {
    offline('the simulator stopped; reconnecting as soon as it is back...');
    if (source.readyState === EventSource.CLOSED) { source.close(); setTimeout(connect, 1000); }
  };
  source.addEventListener('setup', e => showSetup(JSON.parse(e.data)));
  source.addEventListener('status', e => showStatus(JSON.parse(e.data)));
  source.addEventListener('prints', e => addPrints(JSON.parse(e.data)));
  // A frame is the PNG of the box that changed since the one before (the
  // whole screen for a new viewer); they are drawn in the order they came.
  source.addEventListener('frame', e => {
    const [n, x, y, w, h, png] = e.data.split(' ');
    const text = atob(png), bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    const picture = createImageBitmap(new Blob([bytes], { type: 'image/png' }));
    painted = painted.then(() => picture).then(bitmap => {
      screen.clearRect(+x, +y, +w, +h);
      screen.drawImage(bitmap, +x, +y);
      bitmap.close();
      rw.frame = Number(n);
      rw.shownAt = performance.now();
      if (rw.onShown) rw.onShown(rw.frame);
    }).catch(() => {});
  });
}
connect();
</script>
</body>
</html>
)PAGE";

} // namespace sim

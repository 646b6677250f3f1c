'use strict';
const $ = id => document.getElementById(id);
const rw = window.rw = { frame: -1, status: {}, setup: { callers: [] }, online: false, shownAt: 0 };
const printLines = [];
let held = [];

function hex(n) { return '0x' + n.toString(16).toUpperCase(); }

async function post(path, body, errorBox) {
  if (errorBox) errorBox.textContent = '';
  const r = await window.rwTransport.post(path, body);
  if (!r) {
    if (errorBox) errorBox.textContent = 'the simulator does not answer';
    return null;
  }
  if (!r.ok && errorBox) errorBox.textContent = r.text.trim() || ('error ' + r.status);
  return r;
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
function stampOf(ms) {
  const d = new Date(ms);
  return d.toLocaleTimeString([], { hour12: false }) + '.' + String(d.getMilliseconds()).padStart(3, '0');
}
function addPrints(lines) {
  for (const { t, l } of lines) printLines.push(stampOf(t) + '  ' + l + (l.endsWith('\n') ? '' : '\n'));
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

const screen = $('screen').getContext('2d');
let painted = Promise.resolve();
// A frame is the PNG of the box that changed since the one before (the
// whole screen for a new viewer); they are drawn in the order they came.
function drawFrame(data) {
  const [n, x, y, w, h, png] = data.split(' ');
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
}
const handlers = {
  setup: data => showSetup(JSON.parse(data)),
  status: data => showStatus(JSON.parse(data)),
  prints: data => addPrints(JSON.parse(data)),
  frame: drawFrame,
};
window.rwTransport.subscribe({
  open() {
    rw.online = true;
    set('sSim', 'live', 'good');
    $('frameBox').classList.remove('offline');
    $('controlError').textContent = '';
  },
  event(name, data) { if (handlers[name]) handlers[name](data); },
  closed(why) {
    offline(why === 'full' ? 'This page is open in too many tabs or places already; close one of them and this one connects by itself.'
                           : 'the simulator stopped; reconnecting as soon as it is back...');
  },
});

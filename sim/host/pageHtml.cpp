// The live page: the TV screen, a remote control, the router console and the
// program's debug output. It polls /state and reloads /frame.png when the
// frame number changes.
#include "livePage.h"

namespace sim
{

const char *const livePageHtml = R"PAGE(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ringwatcher - simulated receiver</title>
<style>
  body { background: #1d1f22; color: #ddd; font: 14px sans-serif; margin: 16px; display: flex; gap: 24px; flex-wrap: wrap; }
  #screen { width: 720px; height: 576px; display: block; background: #000; border: 10px solid #0b0b0b; border-radius: 8px; }
  #status { margin-top: 6px; color: #999; }
  #side { display: flex; flex-direction: column; gap: 16px; min-width: 320px; max-width: 560px; flex: 1; }
  .remote { display: grid; grid-template-columns: repeat(3, 96px); gap: 8px; background: #2b2e33; padding: 14px; border-radius: 18px; width: max-content; }
  .remote button { height: 44px; border-radius: 10px; border: 1px solid #444; background: #3a3e45; color: #eee; font-size: 14px; cursor: pointer; }
  .remote button:active { background: #59606b; }
  .remote .action { background: #2f6f3e; }
  .remote .dismiss { background: #7a3030; }
  .code { display: flex; gap: 6px; }
  .code input { width: 170px; }
  h2 { font-size: 15px; margin: 0 0 6px 0; color: #bbb; }
  pre { background: #111; padding: 8px; margin: 0; height: 220px; overflow: auto; white-space: pre-wrap; font-size: 12px; }
  #router form { display: flex; gap: 6px; }
  #router input { flex: 1; }
  .hint { color: #888; font-size: 12px; }
</style>
</head>
<body>
<div>
  <img id="screen" src="/frame.png" width="720" height="576" alt="TV screen">
  <div id="status">connecting...</div>
</div>
<div id="side">
  <div>
    <h2>Remote control</h2>
    <div class="remote">
      <button class="action" data-key="action" title="Enter">Book</button>
      <span></span>
      <button class="dismiss" data-key="dismiss" title="Escape">Exit</button>
      <button data-key="pageup" title="Page Up">Page &#9650;</button>
      <button data-key="up" title="Arrow up">&#9650;</button>
      <button data-key="switch" title="Tab">Switch page</button>
      <button data-key="pagedown" title="Page Down">Page &#9660;</button>
      <button data-key="down" title="Arrow down">&#9660;</button>
      <span></span>
    </div>
    <p class="hint">Keyboard: Enter opens and closes the book, arrows move, Page Up/Down scroll, Tab switches the page, Escape dismisses.</p>
    <form class="code" id="codeForm"><input id="code" placeholder="key code, e.g. 0x10049"><button>Send key</button></form>
  </div>
  <div id="router">
    <h2>Fake router</h2>
    <form id="routerForm"><input id="command" placeholder="ring 0 0301234567 5550001"><button>Send</button></form>
    <pre id="routerOut" style="height: 80px"></pre>
    <p class="hint">ring ID CALLER OWN, call ID EXT OWN CALLED, connect ID EXT NUMBER, disconnect ID SECONDS, close, reset, help</p>
  </div>
  <div>
    <h2>Debug output</h2>
    <pre id="prints"></pre>
  </div>
</div>
<script>
let frame = -1, since = 0;
const screen = document.getElementById('screen');
const status = document.getElementById('status');
const prints = document.getElementById('prints');

function key(name) {
  fetch('/key', { method: 'POST', body: name }).then(r => {
    if (!r.ok) r.text().then(t => { status.textContent = t; });
  });
}
document.querySelectorAll('[data-key]').forEach(b => b.addEventListener('click', () => key(b.dataset.key)));
document.getElementById('codeForm').addEventListener('submit', e => {
  e.preventDefault();
  key(document.getElementById('code').value);
});
const keyboard = { Enter: 'action', Escape: 'dismiss', ArrowUp: 'up', ArrowDown: 'down',
                   PageUp: 'pageup', PageDown: 'pagedown', Tab: 'switch' };
document.addEventListener('keydown', e => {
  if (e.target.tagName === 'INPUT') return;
  const name = keyboard[e.key];
  if (name) { e.preventDefault(); key(name); }
});
document.getElementById('routerForm').addEventListener('submit', e => {
  e.preventDefault();
  const input = document.getElementById('command');
  fetch('/router', { method: 'POST', body: input.value }).then(r => r.text()).then(t => {
    document.getElementById('routerOut').textContent = t;
  });
  input.value = '';
});

async function poll() {
  try {
    const state = await (await fetch('/state?since=' + since)).json();
    if (state.frame !== frame) {
      frame = state.frame;
      screen.src = '/frame.png?n=' + frame;
    }
    if (state.prints.length) {
      const atEnd = prints.scrollTop + prints.clientHeight >= prints.scrollHeight - 4;
      prints.textContent += state.prints.join('');
      if (prints.textContent.length > 200000) prints.textContent = prints.textContent.slice(-100000);
      if (atEnd) prints.scrollTop = prints.scrollHeight;
    }
    since = state.next;
    document.getElementById('router').style.display = state.router ? '' : 'none';
    status.textContent = state.ended ? state.ended : 'frame ' + frame;
    if (state.ended) return;
  } catch (e) {
    status.textContent = 'the simulator does not answer';
  }
  setTimeout(poll, 100);
}
poll();
</script>
</body>
</html>
)PAGE";

} // namespace sim

// The page's view of the simulator: the status bar, the notices above the
// TV, the TV screen (its pixels, its size, its texts for screen readers) and
// the debug output. The controls are in panel.js.
"use strict";
const $ = (id) => document.getElementById(id);
const rw = (window.rw = {
  frame: -1,
  status: {},
  setup: { callers: [], router: true },
  online: false,
  shownAt: 0,
  statusListeners: [],
});
const printLines = [];

async function post(path, body, errorBox) {
  if (errorBox) errorBox.textContent = "";
  const r = await window.rwTransport.post(path, body);
  if (!r) {
    if (errorBox) errorBox.textContent = "the simulator does not answer";
    return null;
  }
  if (!r.ok && errorBox) errorBox.textContent = r.text.trim() || "error " + r.status;
  return r;
}
rw.post = post;

// Writes only what changed, so that nothing flickers and no reader hears a
// text again that it heard already.
function put(element, text) {
  if (element.textContent !== text) element.textContent = text;
}
function set(id, text, cls) {
  const e = $(id);
  put(e, text);
  if (e.className !== (cls || "")) e.className = cls || "";
}

// Notices above the TV: each is a text of its kind with buttons that post a
// control. They are built anew only when one of them changes.
let noticesShown = "";
function showNotices(list) {
  const key = JSON.stringify(list);
  if (key === noticesShown) return;
  noticesShown = key;
  const box = $("notice");
  box.textContent = "";
  for (const { cls, text, buttons } of list) {
    const item = document.createElement("div");
    item.className = cls || "";
    const words = document.createElement("span");
    words.textContent = text;
    item.append(words);
    for (const [label, control] of buttons || []) {
      const b = document.createElement("button");
      b.textContent = label;
      b.onclick = () => post("/control", { do: control }, $("controlError"));
      item.append(b);
    }
    box.append(item);
  }
  fitScreen();
}

function notices(s) {
  const list = [];
  if (!rw.online) return list;
  if (s.fakeRouter && s.demoPaused)
    list.push({
      text: "Demo paused while you use the call panel",
      buttons: [["Resume demo", "replay"]],
    });
  if (s.running && s.attempts >= 3) list.push({ cls: "warn", text: "Attempts 3 of 3: the next loss ends the program" });
  return list;
}

function routerText(s) {
  const name = rw.setup.router ? "" : (rw.setup.routerName || "your router") + ": ";
  if (!s.running) return [name + "not connected", ""];
  if (s.connected) return [name + "connected", "good"];
  const last = s.lastEnd ? " (last: " + s.lastEnd + ")" : "";
  const left = s.nextAttemptAt ? Math.ceil((s.nextAttemptAt - Date.now()) / 1000) : null;
  const next = left === null ? "" : left > 0 ? ", next attempt in " + left + " s" : ", trying now";
  return [name + "waiting to connect" + last + next, "warn"];
}
// The countdown to the program's next attempt moves on by itself.
setInterval(() => {
  const s = rw.status;
  if (rw.online && s && s.running && !s.connected && s.nextAttemptAt) set("sRouter", ...routerText(s));
}, 1000);

// The end of the program over the TV: why, how to mend it where the page
// knows how, what the program showed last, and a way to start it again.
function showEnd(s) {
  $("frameBox").classList.toggle("ended", !s.running);
  if (s.running) return;
  put($("endReason"), "ended: " + s.ended);
  const noRouter = s.ended === "no connection to the router";
  put(
    $("endFix"),
    noRouter && !s.fakeRouter
      ? "Switch the router's call monitor on: dial #96*5* on a telephone attached to the FritzBox, then Restart."
      : "",
  );
  put($("endShown"), s.lastShown && s.lastShown.length ? "last shown: " + s.lastShown.join(" / ") : "");
}

// What a screen reader hears of the TV: the texts on it, once per change.
function showScreenText(texts) {
  const said = texts.length ? texts.join(". ") : "nothing shown";
  const canvas = $("screen");
  const label = "TV screen: " + said;
  if (canvas.getAttribute("aria-label") !== label) canvas.setAttribute("aria-label", label);
  put($("screenSays"), texts.length ? said : "");
}

function showStatus(s) {
  rw.status = s;
  set("sProgram", s.running ? "running" : "ended: " + s.ended, s.running ? "good" : "bad");
  set("sRouter", ...routerText(s));
  set("sAttempts", String(s.attempts), s.attempts >= 3 ? (s.running ? "warn" : "bad") : "");
  set(
    "sLines",
    s.lines
      ? s.lines
          .map((l, i) => (l === "idle" ? null : i + ":" + l))
          .filter(Boolean)
          .join(" ") || "all idle"
      : "own router",
  );
  set("sHeap", s.heapUsed + " bytes in " + s.heapBlocks + " blocks");
  set("sReceiver", s.normalViewing ? "normal viewing" : "menu / book (" + s.receiverState + ")");
  set("sFrame", String(s.frame));
  showNotices(notices(s));
  showEnd(s);
  showScreenText(s.screenText || []);
  for (const listener of rw.statusListeners) listener(s);
}

function showSetup(s) {
  rw.setup = s;
  document.body.classList.toggle("ownRouter", !s.router);
  document.body.classList.toggle("noDemo", !s.demo);
  if (rw.onSetup) rw.onSetup(s);
}

// Nothing is known of the program while the simulator is away.
function offline(text) {
  rw.online = false;
  set("sSim", text, "bad");
  set("sProgram", "unknown", "");
  set("sRouter", "unknown", "");
  put($("gone"), text);
  $("frameBox").classList.add("offline");
  showNotices([]);
}

// Screen size. Fit fills the room the window has for the TV both ways;
// the screen's pixels stay sharp at a whole number of device pixels each
// when that loses little of the room, and are smoothed otherwise.
let scale = "x1";
function fitScreen() {
  const canvas = $("screen");
  canvas.classList.remove("smooth");
  if (scale !== "fit") {
    canvas.style.width = canvas.style.height = "";
    return;
  }
  const box = $("frameBox");
  const border = box.offsetWidth - box.clientWidth;
  const bar = $("bar").offsetHeight;
  let width, height;
  if (window.innerWidth <= 700) {
    // A phone: the remote's keys go right under the TV.
    width = window.innerWidth - 12 - border;
    height = window.innerHeight - bar - 12 - border - 230;
  } else {
    const beside = window.innerWidth >= 720 + 400 + 60;
    const below = $("tv").offsetHeight - $("notice").offsetHeight - box.offsetHeight;
    width = window.innerWidth - 32 - border - (beside ? 370 : 0);
    height = window.innerHeight - bar - 32 - $("notice").offsetHeight - below - border;
  }
  const dpr = window.devicePixelRatio || 1;
  const exact = Math.max(0.25, Math.min(width / 720, height / 576));
  const whole = Math.floor(exact * dpr);
  const crisp = whole >= 1 && whole / (exact * dpr) >= 0.85;
  const used = crisp ? whole / dpr : exact;
  canvas.classList.toggle("smooth", !crisp);
  canvas.style.width = Math.floor(720 * used) + "px";
  canvas.style.height = Math.floor(576 * used) + "px";
}
function setScale(name) {
  scale = name;
  const box = $("frameBox");
  box.classList.remove("x1", "x2", "fit");
  box.classList.add(name);
  document
    .querySelectorAll("[data-scale]")
    .forEach((o) => o.setAttribute("aria-pressed", String(o.dataset.scale === name)));
  fitScreen();
}
document.querySelectorAll("[data-scale]").forEach((b) => b.addEventListener("click", () => setScale(b.dataset.scale)));
window.addEventListener("resize", fitScreen);
setScale(window.innerWidth < 720 + 60 || window.innerHeight < 576 + 160 ? "fit" : "x1");

$("save").onclick = () => {
  if (rw.frame < 0) return;
  const n = rw.frame;
  $("screen").toBlob((png) => {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(png);
    a.download = "ringwatcher-frame-" + n + ".png";
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }, "image/png");
};

// Debug output, each line with the time the program printed it.
function showPrints() {
  const f = $("filter").value.toLowerCase();
  const box = $("prints");
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  box.textContent = printLines.filter((l) => !f || l.toLowerCase().includes(f)).join("");
  if (atEnd) box.scrollTop = box.scrollHeight;
}
function stampOf(ms) {
  const d = new Date(ms);
  return d.toLocaleTimeString([], { hour12: false }) + "." + String(d.getMilliseconds()).padStart(3, "0");
}
function addPrints(lines) {
  for (const { t, l } of lines) printLines.push(stampOf(t) + "  " + l + (l.endsWith("\n") ? "" : "\n"));
  if (printLines.length > 2000) printLines.splice(0, printLines.length - 2000);
  if (!$("pause").checked) showPrints();
}
$("filter").addEventListener("input", showPrints);
$("pause").addEventListener("change", () => {
  if (!$("pause").checked) showPrints();
});
$("clear").onclick = () => {
  printLines.length = 0;
  showPrints();
};

const screen = $("screen").getContext("2d");
let painted = Promise.resolve();
// A frame is the PNG of the box that changed since the one before (the
// whole screen for a new viewer); they are drawn in the order they came.
function drawFrame(data) {
  const [n, x, y, w, h, png] = data.split(" ");
  const text = atob(png),
    bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
  const picture = createImageBitmap(new Blob([bytes], { type: "image/png" }));
  painted = painted
    .then(() => picture)
    .then((bitmap) => {
      screen.clearRect(+x, +y, +w, +h);
      screen.drawImage(bitmap, +x, +y);
      bitmap.close();
      rw.frame = Number(n);
      rw.shownAt = performance.now();
      if (rw.onShown) rw.onShown(rw.frame);
    })
    .catch(() => {});
}
const handlers = {
  setup: (data) => showSetup(JSON.parse(data)),
  status: (data) => showStatus(JSON.parse(data)),
  prints: (data) => addPrints(JSON.parse(data)),
  frame: drawFrame,
};
window.rwTransport.subscribe({
  open() {
    rw.online = true;
    set("sSim", "live", "good");
    $("frameBox").classList.remove("offline");
    $("controlError").textContent = "";
  },
  event(name, data) {
    if (handlers[name]) handlers[name](data);
  },
  closed(why) {
    offline(
      why === "full"
        ? "This page is open in too many tabs or places already; close one of them and this one connects by itself."
        : "the simulator stopped; reconnecting as soon as it is back...",
    );
  },
});

// The page's controls: the remote control, the call panel and the router's
// console (both only with the fake router), the program's controls and the
// notification of rings.
"use strict";

// Remote control.
const keyNames = {
  action: "Book (0x10049)",
  dismiss: "Exit",
  up: "row up",
  down: "row down",
  pageup: "page up",
  pagedown: "page down",
  switch: "switch",
  switch2: "switch (2nd)",
};
function light(name) {
  const b = document.querySelector('[data-key="' + name + '"]');
  if (!b) return;
  b.classList.add("lit");
  setTimeout(() => b.classList.remove("lit"), 250);
}
async function key(name) {
  light(name);
  const r = await rw.post("/key", { key: name }, $("keyError"));
  const log = $("keylog");
  const entry = document.createElement("div");
  entry.textContent =
    new Date().toLocaleTimeString() + "  " + (keyNames[name] || name) + (r && r.ok ? "" : "  (refused)");
  log.prepend(entry);
  while (log.childElementCount > 30) log.lastChild.remove();
}
document.querySelectorAll("[data-key]").forEach((b) => b.addEventListener("click", () => key(b.dataset.key)));
$("codeForm").addEventListener("submit", (e) => {
  e.preventDefault();
  key($("code").value.trim());
});
const shortcuts = {
  b: "action",
  B: "action",
  Escape: "dismiss",
  ArrowUp: "up",
  ArrowDown: "down",
  PageUp: "pageup",
  PageDown: "pagedown",
  s: "switch",
  S: "switch",
};
document.addEventListener("keydown", (e) => {
  const t = e.target;
  if (e.ctrlKey || e.altKey || e.metaKey || e.key === "Tab") return;
  if (t.isContentEditable || ["INPUT", "SELECT", "TEXTAREA"].includes(t.tagName)) return;
  const name = shortcuts[e.key] === "action" ? $("actionKey").dataset.key : shortcuts[e.key];
  if (name) {
    e.preventDefault();
    key(name);
  }
});

// A number as people write it, as the router sends it: blanks, dashes,
// slashes, dots and parentheses go; +49 or 0049 (with or without the "(0)"
// of the area code) becomes 0, another country's + becomes 00. "-" is a
// suppressed number. Whatever else is refused with what to write instead,
// so that no blank or ';' ever reaches a field of the router's line.
const writeNumber =
  'write digits, with blanks, dashes, slashes or parentheses if you like and +49 or 0049 in front, e.g. "030 1234567" or "+49 30 1234567"';
function routerNumber(text, what) {
  const typed = text.trim();
  if (typed === "-") return "-";
  let n = typed.replace(/^(\+|00)\s*49\s*\(0\)/, "+49").replace(/[\s\-/().]/g, "");
  if (n.startsWith("+49")) n = "0" + n.slice(3);
  else if (n.startsWith("0049")) n = "0" + n.slice(4);
  else if (n.startsWith("+")) n = "00" + n.slice(1);
  if (!/^[0-9*#]{1,31}$/.test(n))
    throw new Error(what + ": " + (typed ? '"' + typed + '" is not a number; ' : "missing; ") + writeNumber);
  return n;
}
rw.routerNumber = routerNumber;
function whole(id, what, most) {
  const typed = $(id).value.trim();
  if (!/^\d+$/.test(typed) || Number(typed) > most)
    throw new Error(what + ': "' + typed + '" is not a whole number from 0 to ' + most);
  return typed;
}
function seconds() {
  const typed = $("after").value.trim() || "0";
  const n = Number(typed);
  if (!/^\d+(\.\d+)?$/.test(typed) || n > 3600) throw new Error('after: "' + typed + '" is not 0 to 3600 seconds');
  return n;
}
// Every call button calls the one chosen as Caller; the typed number only
// when "unknown number" is chosen.
function caller() {
  const v = $("caller").value;
  return routerNumber(v === "?" ? $("otherNumber").value : v, v === "?" ? "Number" : "Caller");
}
const own = () => routerNumber($("own").value, "Own number");
const line = () => $("line").value;
const ext = () => whole("ext", "Extension", 999);

// Sends commands to the fake router in turn; the router's answers are
// plain output, a refused command is shown in red where it was given.
async function router(commands, errorBox) {
  errorBox.textContent = "";
  const out = [];
  for (const [command, after] of commands) {
    const r = await rw.post("/router", { command, after: after || 0 }, errorBox);
    if (!r) return;
    if (!r.ok) break;
    out.push(r.text.trim());
  }
  $("routerOut").textContent = out.join("\n");
}
// The commands come from the fields when they all read right.
function calls(make) {
  return () => {
    let commands;
    try {
      commands = make();
    } catch (e) {
      $("callError").textContent = e.message;
      return;
    }
    router(commands, $("callError"));
  };
}
$("ring").onclick = calls(() => [["ring " + line() + " " + caller() + " " + own(), seconds()]]);
$("outgoing").onclick = calls(() => [["call " + line() + " " + ext() + " " + own() + " " + caller(), seconds()]]);
$("connect").onclick = calls(() => [["connect " + line() + " " + ext() + " " + caller(), seconds()]]);
$("hangup").onclick = calls(() => [["disconnect " + line() + " " + whole("duration", "Duration", 999999), seconds()]]);
$("missed").onclick = calls(() => {
  const after = seconds();
  return [
    ["ring " + line() + " " + caller() + " " + own(), after],
    ["disconnect " + line() + " 0", after + 4],
  ];
});
$("twoLines").onclick = calls(() => {
  const numbers = rw.setup.callers.map((c) => c.number).filter(Boolean);
  const after = seconds();
  return [
    ["ring 0 " + (numbers[0] || "0301234567") + " " + own(), after],
    ["ring 1 " + (numbers[1] || "0891234567") + " " + own(), after + 1.5],
  ];
});
document
  .querySelectorAll("[data-router]")
  .forEach((b) => b.addEventListener("click", () => router([[b.dataset.router, 0]], $("routerError"))));
$("routerForm").addEventListener("submit", (e) => {
  e.preventDefault();
  router([[$("command").value, 0]], $("routerError"));
  $("command").value = "";
});

function showCallers(s) {
  const pick = $("caller");
  const chosen = pick.value;
  pick.textContent = "";
  for (const c of s.callers)
    pick.add(
      new Option((c.name || "(no name)") + (c.number ? " - " + c.number : " - suppressed number"), c.number || "-"),
    );
  if (!s.callers.some((c) => !c.number)) pick.add(new Option("suppressed number", "-"));
  pick.add(new Option("unknown number (type it)", "?"));
  if ([...pick.options].some((o) => o.value === chosen)) pick.value = chosen;
  $("otherNumber").hidden = pick.value !== "?";
}
$("caller").addEventListener("change", () => {
  $("otherNumber").hidden = $("caller").value !== "?";
  if (!$("otherNumber").hidden) $("otherNumber").focus();
});
rw.onSetup = (s) => {
  showCallers(s);
  const code = "0x" + s.actionKey.toString(16).toUpperCase();
  $("actionKey").innerHTML = "Book " + code + "<br>open / close";
  $("actionKey").title = "action key " + code + (s.actionKey === 0x10049 ? "" : " (from ActionKey)");
  $("actionKey").dataset.key = s.actionKey === 0x10049 ? "action" : String(s.actionKey);
};

// The program.
for (const [id, control] of [
  ["restart", "restart"],
  ["endRestart", "restart"],
  ["stop", "stop"],
  ["replay", "replay"],
  ["fill", "fill"],
  ["clearCalls", "clear"],
])
  $(id).onclick = () => rw.post("/control", { do: control }, $("controlError"));

// A notification for each new ring, when asked for: the bar's texts say who
// calls (the name, or the number when the address book has no name for
// it), the address book gives a named caller's number, and the TV's
// picture shows the caller's picture if the book has one.
const ringWords = "Eingehender Anruf";
let ringShown = "";
$("notify").addEventListener("change", async () => {
  if (!$("notify").checked) return;
  const allowed = "Notification" in window && (await Notification.requestPermission()) === "granted";
  if (!allowed) {
    $("notify").checked = false;
    $("controlError").textContent = "This browser does not allow notifications for this page.";
  }
});
rw.statusListeners.push((s) => {
  const texts = s.screenText || [];
  const ringing = texts.some((t) => t.startsWith(ringWords)) ? texts.join("\n") : "";
  const fresh = ringing && ringing !== ringShown;
  ringShown = ringing;
  if (!fresh || !$("notify").checked || !("Notification" in window)) return;
  const ring = texts.find((t) => t.startsWith(ringWords));
  const name = texts.filter((t) => t !== ring && !/^\d$/.test(t))[0] || "unknown caller";
  const known = rw.setup.callers.find((c) => c.name === name);
  const number = known ? known.number || "number suppressed" : "";
  setTimeout(() => {
    new Notification("Call: " + name, {
      body: [number, ring].filter(Boolean).join("\n"),
      icon: "/favicon.ico",
      image: $("screen").toDataURL("image/png"),
      tag: "ringwatcher-ring",
    });
  }, 300);
});

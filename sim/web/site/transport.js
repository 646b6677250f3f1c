// How the page talks to the simulator when both run in this tab: the
// simulator is a WebAssembly module (ringwatcher.js), the page's requests
// are calls into it, and its events are the same server-sent events live
// mode's server streams, read after each turn of its event loop. The page's
// timer turns the loop about a hundred times a second. A fresh program
// takes a fresh module: the program's state lives in the module's memory.
"use strict";
(() => {
  // Live mode turns the loop every 10 ms. A page's timer that often costs
  // more than the loop itself, so the page wakes every 50 ms and turns it
  // as often as live mode would have meanwhile, at most five times (a tab
  // in the background is woken once a second: its lost turns are lost, as
  // live mode does not make up a late turn either).
  const turnPeriod = 10;
  const wakePeriod = 50;
  const script = "/demo/demo.calls";
  let listener = null;
  let api = null; // the running module's calls
  let timer = 0;
  let turnedUpTo = 0; // performance.now() of the last turn's due time
  let ready = null; // resolves once a module runs
  let ownFiles = []; // [{folder, name, bytes}] laid over the demo disk
  let compiled = null; // the module's code, compiled once for every restart
  let dataPackage = null;

  // Server-sent events as live mode writes them: "event:" and "data:"
  // lines, a blank line after each.
  function deliver() {
    const text = api.events();
    if (!text) return;
    for (const block of text.split("\n\n")) {
      let name = "",
        data = "";
      for (const line of block.split("\n")) {
        if (line.startsWith("event: ")) name = line.slice(7);
        else if (line.startsWith("data: ")) data = line.slice(6);
      }
      if (name) listener.event(name, data);
    }
  }

  function say(line) {
    listener.event("prints", JSON.stringify([{ t: Date.now(), l: "[simulator] " + line + "\n" }]));
  }

  function turn() {
    if (!api) return;
    const flags = api.turn();
    if (flags & 4) deliver();
    if (flags & 2) restart("the program starts anew");
  }

  function wake() {
    const now = performance.now();
    const due = Math.min(5, Math.floor((now - turnedUpTo) / turnPeriod));
    turnedUpTo = due === 5 ? now : turnedUpTo + due * turnPeriod;
    for (let i = 0; i < due && api; i++) turn();
  }

  // The code compiles while it downloads where the server names its type
  // (application/wasm); elsewhere once it is all there.
  async function compile() {
    try {
      return await WebAssembly.compileStreaming(fetch("ringwatcher.wasm"));
    } catch (e) {
      const wasm = await fetch("ringwatcher.wasm");
      if (!wasm.ok) throw new Error("the site lacks ringwatcher.wasm");
      return WebAssembly.compile(await wasm.arrayBuffer());
    }
  }

  // The files the user brought, written over the demo disk's.
  function layDisk(fs) {
    for (const { folder, name, bytes } of ownFiles) {
      fs.mkdirTree("/disk" + folder);
      fs.writeFile("/disk" + folder + "/" + name, bytes);
    }
  }

  async function boot() {
    if (!compiled) {
      const data = fetch("ringwatcher.data").then((r) => {
        if (!r.ok) throw new Error("the site lacks ringwatcher.data");
        return r.arrayBuffer();
      });
      [compiled, dataPackage] = await Promise.all([compile(), data]);
    }
    const module = await window.createRingwatcher({
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled));
        return {};
      },
      getPreloadedPackage: () => dataPackage.slice(0),
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
    });
    layDisk(module.FS);
    const calls = {
      start: module.cwrap("rwStart", "number", ["string", "string"]),
      turn: module.cwrap("rwTurn", "number", []),
      events: module.cwrap("rwEvents", "string", []),
      post: module.cwrap("rwPost", "string", ["string", "string"]),
      journal: () => {
        const at = module._rwJournal();
        return module.HEAPU8.slice(at, at + module._rwJournalSize());
      },
    };
    if (calls.start("/disk", script) !== 0) throw new Error("the simulator cannot start the program");
    api = calls;
    listener.open();
    deliver();
    turnedUpTo = performance.now();
    timer = setInterval(wake, wakePeriod);
  }

  function start() {
    ready = boot().catch((e) => {
      console.error(e);
      listener.closed("gone");
    });
    return ready;
  }

  function restart(why) {
    clearInterval(timer);
    api = null;
    say(why);
    return start();
  }

  window.rwTransport = {
    // Resolves to { ok, status, text } as live mode's server answers.
    async post(path, body) {
      await ready;
      if (!api) return null;
      const answer = api.post(path, JSON.stringify(body));
      const space = answer.indexOf(" ");
      const status = Number(answer.slice(0, space));
      // Keys and calls take effect at once rather than at the next turn.
      turn();
      return { ok: status < 300, status, text: answer.slice(space + 1) };
    },
    subscribe(on) {
      listener = on;
      start();
    },
    journalUrl: "journal.txt",
    // The user's own files over the demo disk ([] for the demo disk alone);
    // the program starts anew with them.
    useDisk(files) {
      ownFiles = files;
      return restart(
        files.length ? "the program starts anew on your own disk" : "the program starts anew on the demo disk",
      );
    },
  };

  // The firmware journal as a download, made when asked for.
  document.addEventListener("click", (e) => {
    const link = e.target.closest && e.target.closest('a[href="journal.txt"]');
    if (!link || !api) return;
    e.preventDefault();
    const a = document.createElement("a");
    a.href = URL.createObjectURL(new Blob([api.journal()], { type: "text/plain; charset=iso-8859-1" }));
    a.download = "ringwatcher-journal.txt";
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  });
})();

// Your own receiver disk in this tab: drop an address book (addrbook.dat),
// settings (ringwatcher.ini) and pictures, or a folder holding them, on the
// page, or pick them; the program starts anew with them laid over the demo
// disk. Nothing leaves the tab.
"use strict";
(() => {
  const settingsFolder = "/ProgramFiles/Settings/Ringwatcher";
  const photoFolder = "/PhotoFiles/Ringwatcher";
  const maxBytes = 16 << 20; // all files together

  // Where a file goes on the receiver's disk, under which name; null: not
  // one the program reads. Pictures keep their names, which the address
  // book gives.
  function placeOf(name) {
    const lower = name.toLowerCase();
    if (lower === "addrbook.dat" || lower === "ringwatcher.ini") return { folder: settingsFolder, name: lower };
    if (lower.endsWith(".jpg") || lower.endsWith(".jpeg")) return { folder: photoFolder, name };
    return null;
  }

  // Every file of a dropped folder, however deep.
  async function filesOf(entry) {
    if (entry.isFile) return [await new Promise((ok, fail) => entry.file(ok, fail))];
    if (!entry.isDirectory) return [];
    const reader = entry.createReader();
    const out = [];
    for (;;) {
      const batch = await new Promise((ok, fail) => reader.readEntries(ok, fail));
      if (!batch.length) return out;
      for (const child of batch) out.push(...(await filesOf(child)));
    }
  }

  const box = document.createElement("section");
  box.id = "ownDisk";
  box.innerHTML =
    "<h2>Your own disk</h2>" +
    '<p>Drop your <code>addrbook.dat</code>, <code>ringwatcher.ini</code> and pictures (or a folder) anywhere on this page, or <label class="pick">pick them<input type="file" multiple hidden accept=".dat,.ini,.jpg,.jpeg" /></label>. They stay in this tab.</p>' +
    '<p><span id="ownDiskState" role="status">The demo disk is in the receiver.</span> <button id="demoDisk" hidden>Back to the demo disk</button></p>';
  const side = document.getElementById("side");
  side.insertBefore(box, side.lastElementChild); // above the debug output
  const state = box.querySelector("#ownDiskState");
  const back = box.querySelector("#demoDisk");

  async function use(files) {
    const chosen = [];
    const skipped = [];
    let bytes = 0;
    for (const file of files) {
      const place = placeOf(file.name);
      if (!place) {
        skipped.push(file.name);
        continue;
      }
      bytes += file.size;
      if (bytes > maxBytes) {
        state.textContent =
          "Those files are larger than 16 MB together; a receiver's address book and pictures are far smaller.";
        return;
      }
      chosen.push({ ...place, bytes: new Uint8Array(await file.arrayBuffer()) });
    }
    if (!chosen.length) {
      state.textContent = "None of those is an addrbook.dat, a ringwatcher.ini or a JPEG picture: nothing changed.";
      return;
    }
    state.textContent =
      "Your disk: " +
      chosen.map((f) => f.name).join(", ") +
      (skipped.length ? " (not used: " + skipped.join(", ") + ")" : "") +
      ", over the demo disk.";
    back.hidden = false;
    await window.rwTransport.useDisk(chosen);
  }

  box.querySelector("input[type=file]").addEventListener("change", (e) => use([...e.target.files]));
  back.addEventListener("click", async () => {
    back.hidden = true;
    state.textContent = "The demo disk is in the receiver.";
    await window.rwTransport.useDisk([]);
  });
  window.addEventListener("dragover", (e) => {
    e.preventDefault();
    document.body.classList.add("dropping");
  });
  window.addEventListener("dragleave", () => document.body.classList.remove("dropping"));
  window.addEventListener("drop", async (e) => {
    e.preventDefault();
    document.body.classList.remove("dropping");
    const entries = [...e.dataTransfer.items].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
    const files = entries.length ? (await Promise.all(entries.map(filesOf))).flat() : [...e.dataTransfer.files];
    use(files);
  });
})();

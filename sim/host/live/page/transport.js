// How the page talks to the simulator: requests to its server and a stream
// of server-sent events. The page itself knows only these two calls, so the
// same page can run on another transport.
"use strict";
window.rwTransport = {
  // Sends one request; resolves to { ok, status, text }, or null when the
  // simulator does not answer.
  async post(path, body) {
    try {
      const r = await fetch(path, {
        method: "POST",
        headers: { "Content-Type": "application/json" },
        body: JSON.stringify(body),
      });
      return { ok: r.ok, status: r.status, text: r.status === 204 ? "" : await r.text() };
    } catch (e) {
      return null;
    }
  },
  // Calls on.open(), on.event(name, data) for each event, and
  // on.closed(why) when the stream ends (it is opened again by itself).
  subscribe(on) {
    let source = null;
    const open = () => {
      source = new EventSource("/events");
      source.onopen = () => on.open();
      source.onerror = async () => {
        if (source.readyState !== EventSource.CLOSED) {
          on.closed("gone");
          return;
        }
        source.close();
        // A refused stream and a stopped simulator look alike to an
        // EventSource: ask which it was.
        let why = "gone";
        try {
          const r = await fetch("/health", { cache: "no-store" });
          const h = await r.json();
          if (h.viewers >= h.maxViewers) why = "full";
        } catch (e) {
          /* the simulator does not answer */
        }
        on.closed(why);
        setTimeout(open, why === "full" ? 5000 : 1000);
      };
      for (const name of ["setup", "status", "prints", "frame", "texts"])
        source.addEventListener(name, (e) => on.event(name, e.data));
    };
    open();
  },
  journalUrl: "/journal.txt",
};

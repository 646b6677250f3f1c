// The browser build's site served as any static file server would serve
// it: its files as they are, with their types, from a free loopback port.
import http from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { root } from './simulator.mjs';

export const site = process.env.RW_SITE || join(root, 'build/wasm/site');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.svg': 'image/svg+xml',
  '.wasm': 'application/wasm', '.data': 'application/octet-stream',
};

export async function serveSite() {
  const server = http.createServer(async (req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).replace(/^(\.\.[/\\])+/, '');
    try {
      const body = await readFile(join(site, path.endsWith('/') ? path + 'index.html' : path));
      res.writeHead(200, { 'Content-Type': types[extname(path)] || (path.endsWith('/') ? types['.html'] : 'application/octet-stream') });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  await new Promise(done => server.listen(0, '127.0.0.1', done));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => new Promise(done => server.close(done)) };
}

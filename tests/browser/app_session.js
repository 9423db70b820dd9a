// What the browser tests of verdal share: the device simulator behind the line spy, the catalogue
// service and verdal itself, started for one session and stopped again.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { mainFrame } = require('./harness');

const BIN = process.env.VERDAL_BIN || path.resolve(__dirname, '../../build/bin');
const BOUND = 60000;

// Starts a program and collects its output lines; waitFor(re) answers the first line matching.
function run(program, args) {
  const child = spawn(path.join(BIN, program), args, { stdio: ['ignore', 'pipe', 'inherit'] });
  const lines = [];
  const waiters = [];
  let text = '';
  child.stdout.on('data', (chunk) => {
    text += chunk;
    let end;
    while ((end = text.indexOf('\n')) >= 0) {
      const line = text.slice(0, end).trim();
      text = text.slice(end + 1);
      lines.push(line);
      for (const w of waiters.splice(0)) if (!w(line)) waiters.push(w);
    }
  });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const waitFor = (re) => new Promise((resolve, reject) => {
    const found = lines.find((l) => re.test(l));
    if (found) return resolve(found);
    const timer = setTimeout(() => reject(new Error(`${program}: no line ${re} in ${BOUND} ms`)), BOUND);
    waiters.push((line) => {
      if (!re.test(line)) return false;
      clearTimeout(timer);
      resolve(line);
      return true;
    });
    exited.then(() => { clearTimeout(timer); reject(new Error(`${program} ended before ${re}`)); });
  });
  const stop = async () => {
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
    return exited;
  };
  return { child, lines, waitFor, exited, stop };
}

// The simulator with three courses behind the spy (paced to the wire's speed when pace is set), the catalogue service (unless server is
// given) and verdal with --no-browser; answers the session once the page shows.
async function open(browser, { device = true, server, capacity = 20, faults = [], pace = false } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-app-'));
  const store = path.join(dir, 'store');
  const courses = ['Heron Lakes Golf', 'Pebble Creek GC', '\u5bcc\u58eb\u898b\u30ab\u30f3\u30c8\u30ea\u30fc'];
  const children = [];
  const port = path.join(dir, 'ttyUSB0');
  let spy;
  if (device) {
    const sim = run('verdal-devsim', ['--link', path.join(dir, 'sim'), '--capacity', String(capacity),
                                      '--serial', 'VD2012-000417', '--store', store,
                                      ...courses.flatMap((name) => ['--course', name]),
                                      ...(pace ? ['--pace'] : []),
                                      ...faults.flatMap((f) => ['--fault', f])]);
    children.push(sim);
    await sim.waitFor(/^READY /);
    spy = run('line_spy', ['--link', port, '--target', path.join(dir, 'sim')]);
    children.push(spy);
    await spy.waitFor(/^READY /);
  }
  if (!server) {
    const service = run('verdal-catalogue-service', ['--listen', '127.0.0.1:0', '--courses', '40']);
    children.push(service);
    server = `http://127.0.0.1:${(await service.waitFor(/^LISTENING /)).split(' ')[1]}/`;
  }
  const verdal = run('verdal', ['--data-dir', path.join(dir, 'data'), '--port', port,
                                '--server', server, '--listen', '127.0.0.1:0', '--no-browser']);
  const url = await verdal.waitFor(/^http:/);
  const context = await browser.newContext({ viewport: { width: 1010, height: 600 } });
  const page = await context.newPage();
  await page.goto(url);
  const main = mainFrame(page);
  await main.locator('#message').waitFor({ state: 'attached' });
  return { dir, store, children, spy, verdal, context, page, main, server };
}

async function close(s) {
  await s.context.close().catch(() => {});
  await s.verdal.stop();
  for (const child of s.children.reverse()) await child.stop();
  fs.rmSync(s.dir, { recursive: true, force: true });
}

// Starts recording every text the status line shows; answers a function that gives them so far.
async function watchStatusLine(s) {
  const frame = await (await s.page.locator('.verdal-window iframe').elementHandle()).contentFrame();
  await frame.evaluate(() => {
    window.seenTexts = [];
    const cell = document.getElementById('message');
    new MutationObserver(() => window.seenTexts.push(cell.textContent))
      .observe(cell, { childList: true, characterData: true, subtree: true });
  });
  return () => frame.evaluate(() => window.seenTexts);
}

const status = (s, text) => s.main.locator('#message', { hasText: text }).waitFor({ timeout: BOUND });
const devices = (s) => s.main.getByRole('grid').first();


module.exports = { BIN, BOUND, run, open, close, status, devices, watchStatusLine };

// verdal itself in a real browser, on the device simulator (behind a line spy that reports what
// the device is told) and the catalogue service: connecting, the catalogue update, disconnecting
// and connecting again, a reload, closing the page, and the failures the status line reports.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromiumPresent, launch, mainFrame, dialogFrame } = require('./harness');

const BIN = process.env.VERDAL_BIN || path.resolve(__dirname, '../../build/bin');
const skip = chromiumPresent() ? false : 'Chromium is not installed at /usr/bin/chromium';
const BOUND = 60000;
let browser;

test.before(async () => { if (!skip) browser = await launch(); });
test.after(async () => { if (browser) await browser.close(); });

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

// A course map whose name the device reads: ISO-8859-1 names in bytes 0 to 19; others with byte
// 0 zero and their first 8 UTF-16LE units in bytes 4 to 19.
function courseMap(name) {
  const map = Buffer.alloc(7296);
  if ([...name].every((c) => c.charCodeAt(0) <= 0xff)) map.write(name.slice(0, 20), 0, 'latin1');
  else map.write(name.slice(0, 8), 4, 'utf16le');
  for (let i = 20; i < 7264; ++i) map[i] = (i * 31) & 0xff;
  return map;
}

// The simulator with three courses behind the spy, the catalogue service (unless server is
// given) and verdal with --no-browser; answers the session once the page shows.
async function open({ device = true, server } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-app-'));
  const store = path.join(dir, 'store');
  fs.mkdirSync(store);
  ['Heron Lakes Golf', 'Pebble Creek GC', '\u5bcc\u58eb\u898b\u30ab\u30f3\u30c8\u30ea\u30fc'].forEach(
    (name, i) => fs.writeFileSync(path.join(store, `c${i}.gof`), courseMap(name)));
  const children = [];
  const port = path.join(dir, 'ttyUSB0');
  let spy;
  if (device) {
    const sim = run('verdal-devsim', ['--link', path.join(dir, 'sim'), '--capacity', '20',
                                      '--serial', 'VD2012-000417', '--store', store]);
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
  return { dir, children, spy, verdal, context, page, main };
}

async function close(s) {
  await s.context.close().catch(() => {});
  await s.verdal.stop();
  for (const child of s.children.reverse()) await child.stop();
  fs.rmSync(s.dir, { recursive: true, force: true });
}

const status = (s, text) => s.main.locator('#message', { hasText: text }).waitFor({ timeout: BOUND });
const devices = (s) => s.main.getByRole('grid').first();

test('start-up connects; the update, disconnecting, connecting again and a reload work', { skip, timeout: 300000 }, async () => {
  const s = await open();
  try {
    // A reload while the device is still being connected loses nothing.
    await s.page.reload();
    await status(s, 'DEVICE CONNECTED');
    assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: 3/20');
    assert.equal(await s.main.locator('#snnumber').textContent(), 'S/N: VD2012-000417');
    await devices(s).getByRole('row', { name: 'Heron Lakes Golf' }).waitFor();
    await devices(s).getByRole('row', { name: '\u5bcc\u58eb\u898b\u30ab\u30f3\u30c8\u30ea\u30fc' }).waitFor();
    assert.equal(await s.main.locator('#reconnect').isVisible(), false);
    assert.equal(await s.main.locator('#disconnect').isVisible(), true);

    // Every text the status line shows during the update.
    const frame = await (await s.page.locator('.verdal-window iframe').elementHandle()).contentFrame();
    await frame.evaluate(() => {
      window.seenTexts = [];
      const cell = document.getElementById('message');
      new MutationObserver(() => window.seenTexts.push(cell.textContent))
        .observe(cell, { childList: true, characterData: true, subtree: true });
    });
    await s.main.locator('#updategof').click();
    await status(s, 'UPDATE GOF FILE COMPLETED');
    const seen = await frame.evaluate(() => window.seenTexts);
    const fixed = new Set(['UPDATE GOF FILE COMPLETED', 'UPDATE GOF FILE ERROR', 'DEVICE CONNECTED', '']);
    assert.ok(seen.some((t) => !fixed.has(t)), `course names on the status line: ${seen.join(' | ')}`);
    await s.page.locator('.verdal-dialog').waitFor({ state: 'detached', timeout: BOUND });

    // A reload keeps everything.
    await s.page.reload();
    await status(s, 'UPDATE GOF FILE COMPLETED');
    assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: 3/20');
    await devices(s).getByRole('row', { name: 'Pebble Creek GC' }).waitFor();

    await s.main.locator('#disconnect').click();
    await status(s, 'DEVICE NOT CONNECTED');
    await s.spy.waitFor(/^SEEN \$EXIT$/);
    assert.equal(await devices(s).getByRole('row', { name: 'Pebble Creek GC' }).count(), 0);
    assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: x/xx');
    assert.equal(await s.main.locator('#updategof').isDisabled(), true);

    await s.main.locator('#reconnect').click();
    await status(s, 'DEVICE CONNECTED');
    await devices(s).getByRole('row', { name: 'Pebble Creek GC' }).waitFor();
    const exits = s.spy.lines.filter((l) => l === 'SEEN $EXIT').length;

    // Closing the page: the device is told to exit and the program ends with 0.
    await s.context.close();
    assert.deepEqual(await s.verdal.exited, { code: 0, signal: null });
    assert.equal(s.spy.lines.filter((l) => l === 'SEEN $EXIT').length, exits + 1);
  } finally {
    await close(s);
  }
});

test('the catalogue service down: SERVER NOT CONNECTED and the device list not shown', { skip, timeout: 120000 }, async () => {
  // Nothing listens on the discard port of the loopback address.
  const s = await open({ server: 'http://127.0.0.1:9/' });
  try {
    await status(s, 'SERVER NOT CONNECTED');
    assert.equal(await devices(s).getByRole('row', { name: 'Heron Lakes Golf' }).count(), 0);
    assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: x/xx');
    assert.equal(await s.main.locator('#reconnect').isEnabled(), true);
    assert.equal(await s.main.locator('#search').isDisabled(), true);
  } finally {
    await close(s);
  }
});

test('no device: DEVICE NOT CONNECTED and Connect offered', { skip, timeout: 120000 }, async () => {
  const s = await open({ device: false });
  try {
    await status(s, 'DEVICE NOT CONNECTED');
    assert.equal(await s.main.locator('#reconnect').isEnabled(), true);
    assert.equal(await s.main.locator('#comport').isEnabled(), true);
  } finally {
    await close(s);
  }
});

// verdal in headless Chromium on a catalogue of 40,000 courses: a search that shows the 15,000
// courses of "USA", from the click to the first rows shown and to the progress dialog closed,
// with verdal's resident memory before and after; then a course sent to the paced device
// simulator, from the menu click to the device list refreshed.
//
//   node bench/app/search_bench.js [--rows 40000]     (VERDAL_BIN: the build's bin folder)
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { launch, mainFrame } = require('../../tests/browser/harness');
const { BIN, run, courseMap } = require('../../tests/browser/app_session');

const rowsArg = process.argv.indexOf('--rows');
const ROWS = rowsArg > 0 ? Number(process.argv[rowsArg + 1]) : 40000;

function rssKb(pid) {
  const line = fs.readFileSync(`/proc/${pid}/status`, 'utf8').split('\n').find((l) => l.startsWith('VmRSS:'));
  return Number(line.split(/\s+/)[1]);
}

async function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-bench-search-'));
  const children = [];
  let browser;
  try {
    console.log(`making golf.db with ${ROWS} courses ...`);
    const maker = run('verdal-bench-store', ['--rows', String(ROWS), '--mode', 'tuned', '--keep', path.join(dir, 'data')]);
    await maker.exited;
    const store = path.join(dir, 'store');
    fs.mkdirSync(store);
    fs.writeFileSync(path.join(store, 'c0.gof'), courseMap('Heron Lakes Golf'));
    const sim = run('verdal-devsim', ['--link', path.join(dir, 'sim'), '--capacity', '20', '--serial',
                                      'VD2012-000417', '--store', store, '--pace']);
    children.push(sim);
    await sim.waitFor(/^READY /);
    const service = run('verdal-catalogue-service', ['--listen', '127.0.0.1:0', '--courses', '10']);
    children.push(service);
    const server = `http://127.0.0.1:${(await service.waitFor(/^LISTENING /)).split(' ')[1]}/`;
    const verdal = run('verdal', ['--data-dir', path.join(dir, 'data'), '--port', path.join(dir, 'sim'),
                                  '--server', server, '--listen', '127.0.0.1:0', '--no-browser']);
    children.push(verdal);
    const url = await verdal.waitFor(/^http:/);
    browser = await launch();
    const page = await (await browser.newContext({ viewport: { width: 1010, height: 600 } })).newPage();
    await page.goto(url);
    const frame = mainFrame(page);
    await frame.locator('#message', { hasText: /DEVICE CONNECTED|SERVER/ }).waitFor({ timeout: 120000 });
    await frame.locator('#search:enabled').waitFor({ timeout: 120000 });

    const before = rssKb(verdal.child.pid);
    const catalogue = frame.getByRole('grid').nth(1);
    const firstRow = catalogue.locator('[role=row]:has([role=gridcell])').first();
    const start = Date.now();
    await frame.locator('#search').click();
    await firstRow.waitFor({ timeout: 120000 });
    const firstShown = Date.now() - start;
    await page.locator('.verdal-dialog').waitFor({ state: 'detached', timeout: 120000 });
    const closed = Date.now() - start;
    const after = rssKb(verdal.child.pid);
    console.log(`search of the USA courses: first rows shown ${firstShown} ms, dialog closed ${closed} ms`);
    console.log(`verdal resident memory: ${(before / 1024).toFixed(1)} MiB before, ` +
                `${(after / 1024).toFixed(1)} MiB after (+${((after - before) / 1024).toFixed(1)} MiB)`);

    const devices = frame.getByRole('grid').first();
    await firstRow.click();
    await firstRow.click({ button: 'right' });
    const add = page.getByRole('menu', { name: 'GOLF' }).getByRole('menuitem', { name: 'Add to Device' });
    await add.waitFor();
    const upload = Date.now();
    await add.click();
    await frame.locator('#cfnumber', { hasText: 'DEVICE CAPACITY: 2/20' }).waitFor({ timeout: 120000 });
    await devices.locator('[role=row]:has([role=gridcell])').nth(1).waitFor();
    console.log(`7296-byte upload with pacing: menu click to device list refreshed ${Date.now() - upload} ms`);
  } finally {
    if (browser) await browser.close();
    for (const child of children.reverse()) await child.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((error) => { console.error(error); process.exit(1); });

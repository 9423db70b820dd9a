// verdal in headless Chromium on a catalogue of 40,000 courses: the search of the 15,000 courses
// of "USA", timed in the page from the click on "Search" to the first catalogue rows drawn and
// to the progress dialog gone (the median of several searches); the sqlite3 program running the
// program's statement for that search on the same golf.db, timed as a whole process, and the
// ratio of the two; verdal's resident memory before and after the searches; then a course sent
// to the paced device simulator, from the menu click to the device list refreshed.
//
//   node bench/app/search_bench.js [--rows 40000] [--runs 5]   (VERDAL_BIN: the build's bin folder)
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {launch, mainFrame, run} from '../../tests/browser/harness.js';

const rowsArg = process.argv.indexOf('--rows');
const ROWS = rowsArg > 0 ? Number(process.argv[rowsArg + 1]) : 40000;

const runsArg = process.argv.indexOf('--runs');
const RUNS = runsArg > 0 ? Number(process.argv[runsArg + 1]) : 5;
// The program's search statement for the country "USA" with no region and no keyword.
const STATEMENT = 'select * from GOLF where country=\'USA\' order by name;';

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

// The sqlite3 program running the statement on the file, timed as a whole process, its rows
// written to /dev/null: the median of RUNS runs after one that warms the file's pages.
function sqliteSeconds(file) {
    const times = [];
    for (let run = 0; run <= RUNS; run++) {
        const start = process.hrtime.bigint();
        const result =
            spawnSync('sqlite3', [file, STATEMENT], { stdio: ['ignore', 'ignore', 'inherit'] });
        if (result.status !== 0) throw new Error(`sqlite3 ended with ${result.status}`);
        if (run > 0) times.push(Number(process.hrtime.bigint() - start) / 1e9);
    }
    return median(times);
}

// One click on "Search", timed in the page itself: from the click event to the first catalogue
// row drawn, to the progress dialog gone, and to the list holding all the expected rows (the
// last batches may reach the list just after the dialog has closed).
async function timedSearch(page, frame, expectedRows) {
    await page.evaluate((expected) => {
        const now = () => performance.timeOrigin + performance.now();
        const doc = document.querySelector('.verdal-window iframe').contentDocument;
        const grid = doc.querySelectorAll('[role=grid]')[1];
        const hasRows = () => grid.querySelector('[role=row] [role=gridcell]') !== null;
        const listed = () => grid.getAttribute('aria-rowcount') === String(expected + 1);
        window.searchTiming = new Promise((resolve) => {
            let clicked = 0, emptied = false, firstRows = 0, opened = false, closed = 0,
                allRows = 0;
            let rows = null, dialogs = null;
            const done = () => {
                if (!closed || !allRows) return;
                rows.disconnect();
                dialogs.disconnect();
                resolve({
                    firstRows: (firstRows || allRows) - clicked,
                    closed: closed - clicked,
                    allRows: allRows - clicked
                });
            };
            doc.getElementById('search').addEventListener('click', () => {
                clicked = now();
                emptied = !hasRows();
            }, { capture: true, once: true });
            rows = new MutationObserver((records) => {
                if (!clicked) return;
                // The rows of an earlier search go first, possibly in the same change as the new
                // ones.
                for (const record of records) {
                    for (const node of record.removedNodes) {
                        if (node.getAttribute && node.getAttribute('role') === 'row')
                            emptied = true;
                    }
                }
                if (!hasRows())
                    emptied = true;
                else if (emptied && !firstRows)
                    firstRows = now();
                if (emptied && !allRows && listed()) {
                    allRows = now();
                    done();
                }
            });
            rows.observe(grid, {
                childList: true,
                subtree: true,
                attributes: true,
                attributeFilter: ['aria-rowcount']
            });
            dialogs = new MutationObserver(() => {
                const open = document.querySelector('.verdal-dialog') !== null;
                if (open)
                    opened = true;
                else if (opened && clicked && !closed) {
                    closed = now();
                    done();
                }
            });
            dialogs.observe(document.body, { childList: true, subtree: true });
        });
    }, expectedRows);
    await frame.locator('#search').click();
    return page.evaluate(() => window.searchTiming);
}

function rssKb(pid) {
    const line = fs.readFileSync(`/proc/${pid}/status`, 'utf8')
                     .split('\n')
                     .find((l) => l.startsWith('VmRSS:'));
    return Number(line.split(/\s+/)[1]);
}

async function main() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-bench-search-'));
    const children = [];
    let browser;
    try {
        console.log(`making golf.db with ${ROWS} courses ...`);
        const maker =
            run('verdal-bench-store',
                ['--rows', String(ROWS), '--mode', 'tuned', '--keep', path.join(dir, 'data')]);
        await maker.exited;
        const sim = run('verdal-devsim', [
            '--link', path.join(dir, 'sim'), '--capacity', '20', '--serial', 'VD2012-000417',
            '--course', 'Heron Lakes Golf', '--pace'
        ]);
        children.push(sim);
        await sim.waitFor(/^READY /);
        const service =
            run('verdal-catalogue-service', ['--listen', '127.0.0.1:0', '--courses', '10']);
        children.push(service);
        const server = `http://127.0.0.1:${(await service.waitFor(/^LISTENING /)).split(' ')[1]}/`;
        const verdal = run('verdal', [
            '--data-dir', path.join(dir, 'data'), '--port', path.join(dir, 'sim'), '--server',
            server, '--listen', '127.0.0.1:0', '--no-browser'
        ]);
        children.push(verdal);
        const url = await verdal.waitFor(/^http:/);
        browser = await launch();
        const page =
            await (await browser.newContext({ viewport: { width: 1010, height: 600 } })).newPage();
        await page.goto(url);
        const frame = mainFrame(page);
        await frame.locator('#message', { hasText: /DEVICE CONNECTED|SERVER/}).waitFor({
            timeout: 120000
        });
        await frame.locator('#search:enabled').waitFor({ timeout: 120000 });

        const sqlite = sqliteSeconds(path.join(dir, 'data', 'golf.db'));
        const expectedRows = Number(spawnSync('sqlite3',
                                              [
                                                  path.join(dir, 'data', 'golf.db'),
                                                  'select count(*) from GOLF where country=\'USA\';'
                                              ],
                                              { encoding: 'utf8' })
                                        .stdout.trim());
        const before = rssKb(verdal.child.pid);
        const catalogue = frame.getByRole('grid').nth(1);
        const firstRow = catalogue.locator('[role=row]:has([role=gridcell])').first();
        const runs = [];
        for (let run = 0; run < RUNS; run++)
            runs.push(await timedSearch(page, frame, expectedRows));
        const after = rssKb(verdal.child.pid);
        const firstShown = median(runs.map((r) => r.firstRows));
        const closed = median(runs.map((r) => r.closed));
        const allRows = median(runs.map((r) => r.allRows));
        console.log(
            `search of the ${expectedRows} USA courses, median of ${RUNS}: first rows shown ` +
            `${firstShown.toFixed(0)} ms, dialog closed ${closed.toFixed(0)} ms ` +
            `(each: ${runs.map((r) => r.closed.toFixed(0)).join(', ')} ms), ` +
            `all rows listed ${allRows.toFixed(0)} ms`);
        console.log(`sqlite3 alone, the same statement on the same file: ${
                        (sqlite * 1000).toFixed(0)} ms ` +
                    `(median of ${RUNS} runs of "${STATEMENT}")`);
        console.log(`dialog closed / sqlite3: ${(closed / (sqlite * 1000)).toFixed(2)} ` +
                    `(all rows listed / sqlite3: ${(allRows / (sqlite * 1000)).toFixed(2)})`);
        console.log(`verdal resident memory: ${(before / 1024).toFixed(1)} MiB before, ` +
                    `${(after / 1024).toFixed(1)} MiB after (+${
                        ((after - before) / 1024).toFixed(1)} MiB)`);

        const devices = frame.getByRole('grid').first();
        await firstRow.click();
        await firstRow.click({ button: 'right' });
        const add = page.getByRole('menu', { name: 'GOLF' }).getByRole('menuitem', {
            name: 'Add to Device'
        });
        await add.waitFor();
        const upload = Date.now();
        await add.click();
        await frame.locator('#cfnumber', { hasText: 'DEVICE CAPACITY: 2/20' }).waitFor({
            timeout: 120000
        });
        await devices.locator('[role=row]:has([role=gridcell])').nth(1).waitFor();
        console.log(`7296-byte upload with pacing: menu click to device list refreshed ${
            Date.now() - upload} ms`);
    } finally {
        if (browser) await browser.close();
        for (const child of children.reverse()) await child.stop();
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});

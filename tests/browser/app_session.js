// What the browser tests of verdal share: the device simulator, which reports what it is told, the
// catalogue service and verdal itself, started for one session and stopped again.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import {BOUND, cellTexts, dialogFrame, eventually, mainFrame, query, run} from './harness.js';

// The simulator with three courses on a link in dir (paced to the wire's speed when pace is set),
// and the catalogue service with 40 courses and the service arguments; answers the link, the
// simulator's store, its run as spy (it prints each command it is sent), the service's address and
// both runs as children.
export async function services(
    dir, {device = true, service = [], capacity = 20, faults = [], pace = false} = {}) {
    const link = path.join(dir, 'ttyUSB0');
    const store = path.join(dir, 'store');
    const courses =
        ['Heron Lakes Golf', 'Pebble Creek GC', '\u5bcc\u58eb\u898b\u30ab\u30f3\u30c8\u30ea\u30fc'];
    const children = [];
    let spy;
    if (device) {
        spy = run('verdal-devsim', [
            '--link', link, '--capacity', String(capacity), '--trace', '--serial', 'VD2012-000417',
            '--store', store, ...courses.flatMap((name) => ['--course', name]),
            ...(pace ? ['--pace'] : []), ...faults.flatMap((f) => ['--fault', f])
        ]);
        children.push(spy);
        await spy.waitFor(/^READY /);
    }
    const catalogueService =
        run('verdal-catalogue-service', ['--listen', '127.0.0.1:0', '--courses', '40', ...service]);
    children.push(catalogueService);
    const server =
        `http://127.0.0.1:${(await catalogueService.waitFor(/^LISTENING /)).split(' ')[1]}/`;
    return { link, store, spy, server, children };
}

// The services (see services) and verdal with --no-browser, in the environment options.env when
// given; answers the session once the page shows.
export async function open(browser, options = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'verdal-app-'));
    const data = path.join(dir, 'data');
    const { link, store, spy, server, children } = await services(dir, options);
    const verdal = run('verdal',
                       [
                           '--data-dir', data, '--port', link, '--server', server, '--listen',
                           '127.0.0.1:0', '--no-browser'
                       ],
                       options.env);
    const url = await verdal.waitFor(/^http:/);
    const context = await browser.newContext({ viewport: { width: 1010, height: 600 } });
    const page = await context.newPage();
    await page.goto(url);
    const main = mainFrame(page);
    await main.locator('#message').waitFor({ state: 'attached' });
    return { dir, data, store, children, spy, verdal, context, page, main };
}

async function close(s) {
    await s.context.close().catch(() => {});
    await s.verdal.stop();
    for (const child of s.children.reverse()) await child.stop();
    fs.rmSync(s.dir, { recursive: true, force: true });
}

// Runs body on the session that opening gives, and closes it however body ends.
export async function using(opening, body) {
    const s = await opening;
    try {
        await body(s);
    } finally { await close(s); }
}

export const status = (s, text) =>
    s.main.locator('#message', {hasText: text}).waitFor({timeout: BOUND});
export const devices = (s) => s.main.getByRole('grid').first();
export const deviceRow = (s, name) => devices(s).getByRole('row', {name});
const catalogue = (s) => s.main.getByRole('grid').nth(1);
export const courseRows = (list) => list.locator('[role=row]:has([role=gridcell])');
export const rows = (s) => courseRows(catalogue(s));
export const noDialog = (s) =>
    s.page.locator('.verdal-dialog').waitFor({state: 'detached', timeout: BOUND});

// Waits until the device's capacity shows the text and the page is free again.
export async function capacity(s, text) {
    await s.main.locator('#cfnumber', { hasText: text }).waitFor({ timeout: BOUND });
    await noDialog(s);
}

// Updates the catalogue and waits until the page is free again; answers every text the status
// line showed during the update.
export async function update(s) {
    const cell = s.main.locator('#message');
    await cell.evaluate((message) => {
        window.seenTexts = [];
        new MutationObserver(() => window.seenTexts.push(message.textContent))
            .observe(message, { childList: true, characterData: true, subtree: true });
    });
    await s.main.locator('#updategof').click();
    await status(s, 'UPDATE GOF FILE COMPLETED');
    const seen = await cell.evaluate(() => window.seenTexts);
    await noDialog(s);
    return seen;
}

// Connects, updates the catalogue and waits until the page is free again.
export async function updated(browser, options) {
    const s = await open(browser, options);
    await status(s, 'DEVICE CONNECTED');
    await update(s);
    return s;
}

// The cells of every row of a list (see cellTexts).
export const shown = (list) => list.evaluate(cellTexts);

// Runs a search (by the Search button unless start is given) and answers the rows once they all
// satisfy wanted (and there is one at least).
export async function search(s, wanted = () => true,
                             start = () => s.main.locator('#search').click()) {
    await start();
    let all = [];
    return eventually(async () => {
        await noDialog(s);
        all = await shown(catalogue(s));
        return all.length > 0 && all.every(wanted) ? all : undefined;
    }, () => `a search result as wanted (last: ${JSON.stringify(all)})`, { interval: 100 });
}

// Chooses the country, checks that the regions offered then are that country's in golf.db, chooses
// the region and answers the rows a search finds.
export async function searchRegion(s, country, region) {
    await s.main.locator('#country').selectOption(country);
    await s.main.locator('#regions', { hasText: 'REGIONS:' }).waitFor();
    const regions = query(s.data, `select distinct city from GOLF where country='${
                                      country.replace(/'/g, '\'\'')}' order by city;`);
    assert.deepEqual(await s.main.locator('#city option').allTextContents(),
                     ['All Regions', ...regions]);
    await s.main.locator('#city').selectOption(region);
    return search(s);
}

// Opens the popup menu of a row and answers its entry.
export async function menu(s, row, popup, entry) {
    await row.click({ button: 'right' });
    const m = s.page.getByRole('menu', { name: popup });
    await m.waitFor();
    return m.getByRole('menuitem', { name: entry });
}

// Selects a row, opens its course information and answers the dialog's frame once its title
// shows the name (when given).
export async function courseInformation(s, row, name) {
    await row.click();
    await (await menu(s, row, 'GOLF', 'Course Information')).click();
    const info = dialogFrame(s.page);
    await info.locator('#titletext', { hasText: name }).waitFor({ timeout: BOUND });
    return info;
}

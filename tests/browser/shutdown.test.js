// verdal told to end (SIGTERM) in each state a worker can be in: idle, connecting to a silent
// device, in the middle of a catalogue update whose course maps stall, and in the middle of a
// paced course transfer. It always ends with 0, golf.db stays sound, and a transfer under way
// ends whole before the device is told "$EXIT". The time from the signal to the exit is printed.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { eventually, sharedBrowser } = require('./harness');
const { BOUND, open, close, status, rows, updated, query, search, menu } = require('./app_session');
const chromium = sharedBrowser();
const { skip } = chromium;

const dialog = (s) => s.page.locator('.verdal-dialog');

// Sends SIGTERM and answers how the program ended and how long it took.
async function terminate(s, state) {
    const start = Date.now();
    s.verdal.child.kill('SIGTERM');
    const end = await s.verdal.exited;
    const ms = Date.now() - start;
    console.log(`# SIGTERM to exit, ${state}: ${ms} ms`);
    return { end, ms };
}

const integrity = (s) => query(s, 'pragma integrity_check;').join('\n');

test('SIGTERM while idle and while connecting ends at once with 0', { skip, timeout: 120000 },
     async () => {
         let s = await open(chromium.browser);
         try {
             await status(s, 'DEVICE CONNECTED');
             const { end } = await terminate(s, 'connected, idle');
             assert.deepEqual(end, { code: 0, signal: null });
             await s.spy.waitFor(/^SEEN \$EXIT$/);
         } finally { await close(s); }
         // The device never answers the handshake: the connect worker is stopped in its wait. The
         // first attempt at start-up has failed by the time the page is up; the second, started by
         // "Connect", is caught in its wait for the answer.
         s = await open(chromium.browser, { faults: ['silent:FCON'] });
         try {
             await status(s, 'DEVICE NOT CONNECTED');
             const handshakes = () => s.spy.lines.filter((l) => l === 'SEEN $FCON').length;
             const before = handshakes();
             await s.main.locator('#reconnect').click();
             await eventually(() => (handshakes() > before ? true : undefined),
                              'the second handshake', { interval: 5 });
             const { end } = await terminate(s, 'connecting');
             assert.deepEqual(end, { code: 0, signal: null });
         } finally { await close(s); }
     });

test('SIGTERM during an update whose course maps stall abandons it and keeps golf.db sound',
     { skip, timeout: 120000 }, async () => {
         const s = await open(chromium.browser, { service: ['--fault', 'stall:map'] });
         try {
             await status(s, 'DEVICE CONNECTED');
             await s.main.locator('#updategof').click();
             await dialog(s).waitFor({ timeout: BOUND });
             // The catalogue file is there: the merge waits on its first course map.
             const file = path.join(s.dir, 'data', 'update.xml');
             await eventually(() => (fs.existsSync(file) ? true : undefined), 'update.xml');
             const { end } = await terminate(s, 'update waiting on a course map');
             assert.deepEqual(end, { code: 0, signal: null });
             assert.equal(integrity(s), 'ok');
         } finally { await close(s); }
     });

test('SIGTERM during a course transfer lets it end whole before the device is told to exit',
     { skip, timeout: 180000 }, async () => {
         const s = await updated(chromium.browser, { pace: true });
         try {
             await search(s, () => s.main.locator('#search').click());
             const first = rows(s).first();
             await first.click();
             await (await menu(s, first, 'GOLF', 'Add to Device')).click();
             await s.spy.waitFor(/^SEEN \$STRT$/);
             const { end } = await terminate(s, 'course transfer under way');
             assert.deepEqual(end, { code: 0, signal: null });
             assert.equal(integrity(s), 'ok');
             // Every course on the device is whole: the transfer was not cut by "$EXIT".
             const files = fs.readdirSync(s.store);
             assert.equal(files.length, 4);
             for (const f of files) assert.equal(fs.statSync(path.join(s.store, f)).size, 7296, f);
             await s.spy.waitFor(/^SEEN \$EXIT$/);
             const seen = s.spy.lines.filter((l) => l.startsWith('SEEN $'));
             assert.deepEqual(seen.slice(seen.indexOf('SEEN $STRT')), ['SEEN $STRT', 'SEEN $EXIT']);
         } finally { await close(s); }
     });

// verdal told to end (SIGTERM) in each state a worker can be in: idle, connecting to a silent
// device, in the middle of a catalogue update whose course maps stall, and in the middle of a
// paced course transfer. It always ends with 0, golf.db stays sound, and a transfer under way
// ends whole before the device is told "$EXIT". The time from the signal to the exit is printed.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import {BOUND, eventually, integrity, sharedBrowser} from './harness.js';

import {open, using, status, rows, updated, search, menu} from './app_session.js';
const { skip, browser } = sharedBrowser();

// Sends SIGTERM, checks that the program ends with 0 and prints how long it took.
async function terminate(s, state) {
    const start = Date.now();
    s.verdal.child.kill('SIGTERM');
    const end = await s.verdal.exited;
    console.log(`# SIGTERM to exit, ${state}: ${Date.now() - start} ms`);
    assert.deepEqual(end, { code: 0, signal: null }, state);
}

test('SIGTERM while idle and while connecting ends at once with 0', { skip, timeout: 120000 },
     async () => {
         await using(open(browser()), async (s) => {
             await status(s, 'DEVICE CONNECTED');
             await terminate(s, 'connected, idle');
             await s.spy.waitFor(/^SEEN \$EXIT$/);
         });
         // The device never answers the handshake: the connect worker is stopped in its wait. The
         // first attempt at start-up has failed by the time the page is up; the second, started by
         // "Connect", is caught in its wait for the answer.
         await using(open(browser(), { faults: ['silent:FCON'] }), async (s) => {
             await status(s, 'DEVICE NOT CONNECTED');
             const handshakes = () => s.spy.lines.filter((l) => l === 'SEEN $FCON').length;
             const before = handshakes();
             await s.main.locator('#reconnect').click();
             await eventually(() => handshakes() > before, 'the second handshake', { interval: 5 });
             await terminate(s, 'connecting');
         });
     });

test('SIGTERM during an update whose course maps stall abandons it and keeps golf.db sound',
     { skip, timeout: 120000 },
     () => using(open(browser(), { service: ['--fault', 'stall:map'] }), async (s) => {
         await status(s, 'DEVICE CONNECTED');
         await s.main.locator('#updategof').click();
         await s.page.locator('.verdal-dialog').waitFor({ timeout: BOUND });
         // The catalogue file is there: the merge waits on its first course map.
         await eventually(() => fs.existsSync(path.join(s.data, 'update.xml')), 'update.xml');
         await terminate(s, 'update waiting on a course map');
         assert.equal(integrity(s.data), 'ok');
     }));

test('SIGTERM during a course transfer lets it end whole before the device is told to exit',
     { skip, timeout: 180000 },
     () => using(updated(browser(), { pace: true }), async (s) => {
         await search(s);
         const first = rows(s).first();
         await first.click();
         await (await menu(s, first, 'GOLF', 'Add to Device')).click();
         await s.spy.waitFor(/^SEEN \$STRT$/);
         await terminate(s, 'course transfer under way');
         assert.equal(integrity(s.data), 'ok');
         // Every course on the device is whole: the transfer was not cut by "$EXIT".
         const files = fs.readdirSync(s.store);
         assert.equal(files.length, 4);
         for (const f of files) assert.equal(fs.statSync(path.join(s.store, f)).size, 7296, f);
         await s.spy.waitFor(/^SEEN \$EXIT$/);
         const seen = s.spy.lines.filter((l) => l.startsWith('SEEN $'));
         assert.deepEqual(seen.slice(seen.indexOf('SEEN $STRT')), ['SEEN $STRT', 'SEEN $EXIT']);
     }));

// verdal itself in a real browser, on the device simulator (which reports what it is told) and
// the catalogue service: connecting, the catalogue update, disconnecting and connecting again, a
// reload and closing the page.
import assert from 'node:assert/strict';
import test from 'node:test';

import {sharedBrowser} from './harness.js';

import {open, using, status, deviceRow, update} from './app_session.js';
const { skip, browser } = sharedBrowser();

test('start-up connects; the update, disconnecting, connecting again and a reload work',
     { skip, timeout: 300000 },
     () => using(open(browser()), async (s) => {
         // A reload while the device is still being connected loses nothing.
         await s.page.reload();
         await status(s, 'DEVICE CONNECTED');
         assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: 3/20');
         assert.equal(await s.main.locator('#snnumber').textContent(), 'S/N: VD2012-000417');
         await deviceRow(s, 'Heron Lakes Golf').waitFor();
         await deviceRow(s, '\u5bcc\u58eb\u898b\u30ab\u30f3\u30c8\u30ea\u30fc').waitFor();
         assert.equal(await s.main.locator('#reconnect').isVisible(), false);
         assert.equal(await s.main.locator('#disconnect').isVisible(), true);

         // Every text the status line shows during the update.
         const seen = await update(s);
         const fixed = new Set(
             ['UPDATE GOF FILE COMPLETED', 'UPDATE GOF FILE ERROR', 'DEVICE CONNECTED', '']);
         assert.ok(seen.some((t) => !fixed.has(t)),
                   `course names on the status line: ${seen.join(' | ')}`);

         // A reload keeps everything.
         await s.page.reload();
         await status(s, 'UPDATE GOF FILE COMPLETED');
         assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: 3/20');
         await deviceRow(s, 'Pebble Creek GC').waitFor();

         await s.main.locator('#disconnect').click();
         await status(s, 'DEVICE NOT CONNECTED');
         await s.spy.waitFor(/^SEEN \$EXIT$/);
         assert.equal(await deviceRow(s, 'Pebble Creek GC').count(), 0);
         assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: x/xx');
         assert.equal(await s.main.locator('#updategof').isDisabled(), true);

         await s.main.locator('#reconnect').click();
         await status(s, 'DEVICE CONNECTED');
         await deviceRow(s, 'Pebble Creek GC').waitFor();
         const exits = s.spy.lines.filter((l) => l === 'SEEN $EXIT').length;

         // Closing the page: the device is told to exit and the program ends with 0.
         await s.context.close();
         assert.deepEqual(await s.verdal.exited, { code: 0, signal: null });
         assert.equal(s.spy.lines.filter((l) => l === 'SEEN $EXIT').length, exits + 1);
     }));

// verdal in a real browser after a catalogue update: a search that finds nothing, the course
// information, and the device operations of the lists' menus on the device simulator,
// including a device that is unplugged or stalls.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import {dialogFrame, sharedBrowser} from './harness.js';

import {
    using,
    status,
    devices,
    deviceRow,
    courseRows,
    rows,
    noDialog,
    capacity,
    updated,
    search,
    menu,
    courseInformation
} from './app_session.js';

const { skip, browser } = sharedBrowser();

test('a search that finds nothing, course information and the device operations',
     { skip, timeout: 400000 },
     () => using(updated(browser()), async (s) => {
         // A search that finds nothing says so and leaves the list empty.
         await s.main.locator('#keyword').fill('no course is named so');
         await s.main.locator('#search').click();
         await dialogFrame(s.page)
             .locator('#MsgText1', { hasText: 'Unable to find your course,please try' })
             .waitFor();
         assert.equal(await dialogFrame(s.page).locator('#MsgText2').textContent(), 'again');
         await dialogFrame(s.page).locator('#MsgBtn').click();
         await noDialog(s);
         assert.equal(await rows(s).count(), 0);

         // Course information of a course, then the course onto the device.
         await s.main.locator('#keyword').fill('');
         const byCountry = await search(s, (c) => c[1] === 'USA');
         const first = rows(s).first();
         // A double-click picks a row; it selects none of its text.
         await first.dblclick();
         assert.equal(await s.main.locator('html').evaluate(() => getSelection().toString()), '');
         const info = await courseInformation(s, first, byCountry[0][0]);
         for (const id of ['#address', '#telephone', '#email', '#par01'])
             assert.notEqual((await info.locator(id).textContent()).trim(), '', id);
         await info.locator('#MsgExit').click();
         await noDialog(s);

         const before = new Set(fs.readdirSync(s.store));
         await (await menu(s, first, 'GOLF', 'Add to Device')).click();
         await capacity(s, 'DEVICE CAPACITY: 4/20');
         const added = fs.readdirSync(s.store).filter((f) => !before.has(f));
         assert.equal(added.length, 1);
         const stored = fs.readFileSync(path.join(s.store, added[0]));
         assert.equal(stored.length, 7296);
         assert.equal(await courseRows(devices(s)).count(), 4);

         // Two device courses removed, then all of them.
         await deviceRow(s, 'Heron Lakes Golf').click();
         await deviceRow(s, 'Pebble Creek GC').click({ modifiers: ['Control'] });
         await (await menu(s, deviceRow(s, 'Pebble Creek GC'), 'Device', 'Remove Course')).click();
         await capacity(s, 'DEVICE CAPACITY: 2/20');
         assert.equal(await deviceRow(s, 'Heron Lakes Golf').count(), 0);
         assert.equal(fs.readdirSync(s.store).length, 2);
         await (await menu(s, courseRows(devices(s)).first(), 'Device', 'Remove All Course'))
             .click();
         await capacity(s, 'DEVICE CAPACITY: 0/20');
         assert.equal(fs.readdirSync(s.store).length, 0);

         // The device unplugged: no dialog, and the status line says so.
         await s.spy.stop(); // the simulator
         await (await menu(s, first, 'GOLF', 'Add to Device')).click();
         await status(s, 'DEVICE NOT CONNECTED');
         assert.equal(await s.page.locator('.verdal-dialog').count(), 0);
     }));

test('a full device offers no upload; a stalled upload leaves the list as the device holds it',
     { skip, timeout: 300000 },
     () => using(updated(browser(), { capacity: 3, faults: ['stall:10'] }), async (s) => {
         await search(s, (c) => c[1] === 'USA');
         const first = rows(s).first();
         await first.click();
         const add = await menu(s, first, 'GOLF', 'Add to Device');
         assert.equal(await add.getAttribute('aria-disabled'), 'true');
         await s.page.keyboard.press('Escape');

         await deviceRow(s, 'Heron Lakes Golf').click();
         await (await menu(s, deviceRow(s, 'Heron Lakes Golf'), 'Device', 'Remove Course')).click();
         await capacity(s, 'DEVICE CAPACITY: 2/3');

         await (await menu(s, first, 'GOLF', 'Add to Device')).click();
         await s.page.locator('.verdal-dialog').waitFor();
         await noDialog(s);
         assert.equal(await s.main.locator('#cfnumber').textContent(), 'DEVICE CAPACITY: 2/3');
         assert.equal(await courseRows(devices(s)).count(), 2);
         assert.equal(fs.readdirSync(s.store).length, 2);
     }));

// verdal's pages as an accessibility audit and a keyboard meet them, in Chromium: axe-core's
// WCAG 2.1 A and AA rules find nothing on the main page (no device, connected with an empty
// catalogue list, with rows) or on the course information, message and progress dialogs; every
// control is reached with Tab in reading order, shows its focus, and a list reached by Tab takes
// the arrow keys.
import assert from 'node:assert/strict';
import test from 'node:test';

import {BOUND, dialogFrame, sharedBrowser} from './harness.js';

import {
    open,
    using,
    status,
    rows,
    noDialog,
    updated,
    search,
    courseInformation
} from './app_session.js';
import {auditPage} from './audit.js';

const { skip, browser } = sharedBrowser();

const clean = async (s, state) => assert.deepEqual(await auditPage(s.page), [], state);

test('axe finds nothing on the main page without a device', { skip, timeout: 120000 },
     () => using(open(browser(), { device: false }), async (s) => {
         await status(s, 'DEVICE NOT CONNECTED');
         await clean(s, 'no device');
     }));

test('axe finds nothing on the main page and its dialogs', { skip, timeout: 300000 },
     () => using(updated(browser()), async (s) => {
         await clean(s, 'connected, an empty catalogue list');
         await search(s);
         await clean(s, 'connected, rows in both lists');

         const info = await courseInformation(s, rows(s).first());
         await info.locator('#MsgExit').waitFor();
         await clean(s, 'the course information dialog');
         await info.locator('#MsgExit').click();
         await noDialog(s);

         await s.main.locator('#keyword').fill('no course is named so');
         await s.main.locator('#search').click();
         await dialogFrame(s.page).locator('#MsgBtn').waitFor();
         await clean(s, 'the message dialog');
         await dialogFrame(s.page).locator('#MsgBtn').click();
         await noDialog(s);
     }));

test('axe finds nothing on a progress dialog', { skip, timeout: 120000 },
     () => using(open(browser(), { service: ['--fault', 'stall:map'] }), async (s) => {
         await status(s, 'DEVICE CONNECTED');
         await s.main.locator('#updategof').click();
         await dialogFrame(s.page).locator('#progress').waitFor();
         await clean(s, 'the update\'s progress dialog');
     }));

// The update's Stop: a named button that Tab reaches and Escape presses, which ends the update at
// once with the courses stored so far kept; the device operations' dialogs have none.
test('the update dialog\'s Stop is reached by Tab and ends the update, as Escape does',
     { skip, timeout: 120000 },
     () => using(open(browser(), { service: ['--fault', 'stall:map:40'] }), async (s) => {
         await status(s, 'DEVICE CONNECTED');
         for (const press of ['Escape', 'click']) {
             await s.main.locator('#updategof').click();
             const stop = dialogFrame(s.page).getByRole('button', { name: 'Stop' });
             await stop.waitFor();
             if (press === 'Escape') {
                 // Tab goes round the page and the dialog to Stop, wherever the focus stands.
                 const focused = () => stop.evaluate((button) => document.activeElement === button);
                 let reached = false;
                 for (let i = 0; i < 6 && !reached; i++) {
                     await s.page.keyboard.press('Tab');
                     reached = await focused();
                 }
                 assert.equal(reached, true, 'Tab reaches Stop');
                 await s.page.keyboard.press('Escape');
             } else {
                 await stop.click();
             }
             await status(s, 'UPDATE GOF FILE ERROR - stopped');
             await noDialog(s);
         }
     }));

test('Tab reaches every control in reading order, shows its focus, and a list takes the arrows',
     { skip, timeout: 300000 },
     () => using(updated(browser()), async (s) => {
         await search(s);
         // What has the focus: its id, or the list it scrolls in; and whether it draws a focus
         // mark.
         const focused = () => s.main.locator('html').evaluate(() => {
             const element = document.activeElement;
             const grid = element.closest('[role=grid]');
             const style = getComputedStyle(element);
             const marked = style.outlineStyle !== 'none' || style.boxShadow !== 'none';
             return { name: grid ? `grid:${grid.getAttribute('aria-label')}` : element.id, marked };
         });
         // Round the page twice with Tab; the stops outside the page (the shell around it) are
         // passed.
         const seen = [];
         for (let i = 0; i < 24; i++) {
             await s.page.keyboard.press('Tab');
             const f = await focused();
             if (f.name) seen.push(f);
         }
         const start = seen.findIndex((f) => f.name === 'updategof');
         const round = seen.slice(start, start + 9);
         assert.deepEqual(round.map((f) => f.name), [
             'updategof', 'grid:6000', 'country', 'city', 'keyword', 'search', 'grid:6001',
             'disconnect', 'updategof'
         ]);
         for (const f of round) assert.ok(f.marked, `${f.name} shows no focus`);

         // Tab onto the catalogue list, then the arrows move its selection as they do after a
         // click.
         while ((await focused()).name !== 'grid:6001') await s.page.keyboard.press('Tab');
         for (const n of [0, 1]) {
             await s.page.keyboard.press('ArrowDown');
             const selected = rows(s).nth(n).and(s.main.locator('[aria-selected=true]'));
             await selected.waitFor({ timeout: BOUND });
         }
         assert.equal(await s.main.locator('[role=grid] [aria-selected=true]').count(), 1);
     }));

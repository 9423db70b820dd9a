// The engine in a real browser: events reach the program's handlers, their changes reach the
// page, dialogs are modal, list views and menus work by mouse and keyboard, and a reload or a
// closed browser behave as the program expects.
import assert from 'node:assert/strict';
import test from 'node:test';

import {dialogFrame, mainFrame, sharedBrowser, startHost} from './harness.js';

const { skip, browser } = sharedBrowser();

// Waits until the view's page has loaded and its events are wired, a moment after its elements
// exist: the engine marks the page with its media type then.
const loaded = (frame) => frame.locator('html[data-media]').waitFor({ state: 'attached' });

// Runs body on a fresh host (started with args) and browser tab, and ends both however it went.
async function withPage(body, args) {
    const host = await startHost(args);
    const context = await browser().newContext({ viewport: { width: 1010, height: 600 } });
    try {
        const page = await context.newPage();
        await page.goto(host.url);
        await loaded(mainFrame(page));
        await body({ host, context, page, main: mainFrame(page), dialog: dialogFrame(page) });
    } finally {
        await context.close();
        await host.stop();
    }
}

const catalogue = (main) => main.getByRole('grid').nth(1);

test('a modal dialog blocks the page beneath and returns its result', { skip },
     () => withPage(async (s) => {
         await s.main.locator('#open').click();
         const dialog = s.page.getByRole('dialog', { name: 'Test Message' });
         await dialog.waitFor();
         assert.equal(await dialog.getAttribute('aria-modal'), 'true');
         await s.dialog.locator('#MsgText1', { hasText: 'Hello from the dialog' }).waitFor();
         await s.page.waitForFunction(() => document.body.dataset.beeps === '1');
         assert.equal(await s.page.locator('.verdal-window').evaluate((e) => e.inert), true);
         // The dialog sits inside the window, centred.
         const box = await dialog.boundingBox();
         const off = [box.x + box.width / 2 - 505, box.y + box.height / 2 - 300];
         assert.ok(off.every((d) => Math.abs(d) <= 1), `centred: ${JSON.stringify(box)}`);
         // A click on the inert page does nothing.
         await s.main.locator('#go').click({ force: true, timeout: 2000 }).catch(() => {});
         // The dialog holds the focus: Enter presses its button.
         await s.page.keyboard.press('Enter');
         await s.main.locator('#out', { hasText: 'dialog=7' }).waitFor();
         await dialog.waitFor({ state: 'detached' });
         assert.equal(await s.page.locator('.verdal-window').evaluate((e) => e.inert), false);
         assert.equal(await s.main.locator('#out').textContent(), 'dialog=7');
     }));

test('a page loaded while the browser asks for more contrast gets the contrast media type',
     { skip },
     () => withPage(async (s) => {
         assert.equal(await s.main.locator('html').getAttribute('data-media'), 'screen');
         await s.page.emulateMedia({ forcedColors: 'active' });
         await s.page.reload();
         await loaded(s.main);
         await s.main.locator('#open').click();
         await loaded(s.dialog);
         assert.equal(await s.dialog.locator('html').getAttribute('data-media'), 'contrast-screen');
         // The page shown before keeps the type it was loaded with.
         assert.equal(await s.main.locator('html').getAttribute('data-media'), 'screen');
         await s.dialog.getByRole('button', { name: 'OK' }).click();
     }));

test('a dialog with a band is dragged by it', { skip },
     () => withPage(async (s) => {
         await s.main.locator('#drag').click();
         const dialog = s.page.getByRole('dialog');
         await s.dialog.locator('#titletext').waitFor();
         // The page's iframe shows the nested view its host loaded.
         await s.dialog.frameLocator('iframe').locator('#MsgText1', { hasText: 'line' }).waitFor();
         await s.page.waitForTimeout(0);
         const before = await dialog.boundingBox();
         await s.page.mouse.move(before.x + 50, before.y + 10);
         await s.page.mouse.down();
         await s.page.mouse.move(before.x + 10, before.y + 5, { steps: 4 });
         await s.page.mouse.up();
         const after = await dialog.boundingBox();
         assert.deepEqual([before.x - after.x, before.y - after.y].map(Math.round), [40, 5]);
         await s.dialog.locator('#MsgExit').click();
         await s.main.locator('#out', { hasText: 'dialog=0' }).waitFor();
     }));

test(
    'list views select rows and a right-click opens a menu with a disabled entry', { skip },
    () => withPage(async (s) => {
        const list = catalogue(s.main);
        assert.equal(await list.getAttribute('aria-multiselectable'), 'false');
        await list.getByRole('row', { name: /Course 3 /}).click();
        await list.getByRole('row', { name: /Course 1 /}).click();
        assert.equal(await list.locator('[role=row][aria-selected=true]').count(), 1);
        await list.getByRole('row', { name: /Course 3 /}).click({ button: 'right' });
        const menu = s.page.getByRole('menu', { name: 'TEST' });
        await menu.waitFor();
        const entry = (name) => menu.getByRole('menuitem', { name });
        assert.equal(await entry('Disabled Two').getAttribute('aria-disabled'), 'true');
        assert.equal(await entry('Enabled One').getAttribute('aria-disabled'), 'false');
        assert.equal(await menu.getByRole('separator').count(), 1);
        await entry('Disabled Two').click({ force: true });
        assert.equal(await menu.count(), 1, 'a disabled entry does not close the menu');
        await entry('Enabled One').click();
        await s.main.locator('#out', { hasText: 'command 500 row 3' }).waitFor();
        await menu.waitFor({ state: 'detached' });

        // The device list takes several rows; the keyboard moves the selection.
        const devices = s.main.getByRole('grid').first();
        assert.equal(await devices.getAttribute('aria-multiselectable'), 'true');
        await devices.getByRole('row', { name: 'Alpha Links' }).click();
        await devices.getByRole('row', { name: 'Charlie Green' }).click({ modifiers: ['Control'] });
        assert.equal(await devices.locator('[role=row][aria-selected=true]').count(), 2);
        await list.getByRole('row', { name: /Course 0 /}).click();
        await list.press('ArrowDown');
        await list.press('ArrowDown');
        await list.press('Shift+F10');
        await menu.waitFor();
        await s.page.keyboard.press('Enter');
        await s.main.locator('#out', { hasText: 'command 500 row 2' }).waitFor();
    }));

test(
    'clicks, a select change, Enter and a check box reach the handlers; a reload and a second tab show the same state',
    { skip },
    () => withPage(async (s) => {
        await s.main.locator('#go').click();
        await s.main.locator('#out', { hasText: 'clicked 1' }).waitFor();
        // A disabled button sends nothing.
        await s.main.locator('#off').click({ force: true });
        await s.main.locator('#go').click();
        await s.main.locator('#out', { hasText: 'clicked 2' }).waitFor();
        await s.main.locator('#keyword').fill('Pebble \u00e9t\u00e9');
        await s.main.locator('#keyword').press('Enter');
        await s.main.locator('#event', { hasText: 'enter:Pebble \u00e9t\u00e9' }).waitFor();
        await s.main.locator('#opt').check();
        await s.main.locator('#event', { hasText: 'opt=true' }).waitFor();
        await catalogue(s.main).getByRole('row', { name: /Course 2 /}).click();
        await s.main.locator('#keyword').fill('kept');
        await s.main.locator('#country').selectOption('1');
        await s.main.locator('#event', { hasText: 'country=1' }).waitFor();
        await s.page.reload();
        await s.main.locator('#out', { hasText: 'clicked 2' }).waitFor();
        assert.equal(await s.main.locator('#keyword').inputValue(), 'kept');
        assert.equal(await s.main.locator('#country').inputValue(), '1');
        const selected = catalogue(s.main).locator('[role=row][aria-selected=true]');
        await selected.waitFor();
        assert.match(await selected.textContent(), /Course 2/);

        const second = await s.context.newPage();
        await second.goto(s.host.url);
        await mainFrame(second).locator('#out', { hasText: 'clicked 2' }).waitFor();
        await mainFrame(second).locator('#go').click();
        // Both tabs see the change.
        await s.main.locator('#out', { hasText: 'clicked 3' }).waitFor();
        await mainFrame(second).locator('#out', { hasText: 'clicked 3' }).waitFor();
    }));

test('the program ends when the browser is gone for the grace period, and on SIGTERM', { skip },
     async () => {
         await withPage(async (s) => {
             await s.context.close();
             assert.deepEqual(await s.host.exited, { code: 0, signal: null });
         }, ['--grace', '300']);
         assert.deepEqual(await (await startHost()).stop(), { code: 0, signal: null });
     });

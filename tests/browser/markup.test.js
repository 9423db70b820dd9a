// Catalogue texts that hold HTML markup (an image whose onerror handler would set
// window.verdalMarkup) are shown as text wherever the user sees them: the status line during the
// update, the region select, the course list, the course information and, once the course is on
// the device, the device's list. No image is made and no handler runs, in any frame of the page.
import assert from 'node:assert/strict';
import test from 'node:test';

import {query, sharedBrowser} from './harness.js';

import {
    open,
    using,
    status,
    devices,
    rows,
    noDialog,
    capacity,
    update,
    shown,
    searchRegion,
    menu,
    courseInformation
} from './app_session.js';
const { skip, browser } = sharedBrowser();

const COURSES = 10;

// Neither an element made from the texts nor a run of its handler, in any frame.
async function assertNothingRan(s) {
    for (const frame of s.page.frames()) {
        const found = await frame.evaluate(
            () => ({
                images: document.querySelectorAll('img[src="x"], img[onerror]').length,
                ran: window.verdalMarkup === undefined ? null : window.verdalMarkup,
            }));
        assert.deepEqual(found, { images: 0, ran: null }, `in frame ${frame.url()}`);
    }
}

test('catalogue texts with markup are shown as text everywhere', { skip, timeout: 300000 }, () => {
    const marked = Array.from({ length: COURSES }, (_, i) => ['--fault', `markup:${i + 1}`]).flat();
    const service = ['--courses', String(COURSES), ...marked];
    return using(open(browser(), { service }), async (s) => {
        await status(s, 'DEVICE CONNECTED');
        const seen = await update(s);

        const stored = query(s.data, 'select name, country, city, address from GOLF order by name;')
                           .map((line) => line.split('\t'));
        assert.equal(stored.length, COURSES);
        assert.ok(stored.every(([name, , city, address]) => name.startsWith('<img ') &&
                                                            city.startsWith('<img ') &&
                                                            address.includes('<img ')),
                  JSON.stringify(stored));
        const names = stored.map(([name]) => name);
        assert.ok(seen.some((t) => names.includes(t)),
                  `a stored name on the status line: ${JSON.stringify(seen)}`);

        // The regions of the first course's country, and the courses of its region in the list.
        const [name, country, region, address] = stored[0];
        const listed = await searchRegion(s, country, region);
        const expected =
            stored.filter(([, c, r]) => c === country && r === region).map((c) => c.slice(0, 3));
        assert.deepEqual(listed.sort(), expected.sort());

        // The course information of a listed course.
        const row = rows(s).filter({ hasText: name.slice(-20) }).first();
        const dialog = await courseInformation(s, row, name);
        assert.equal(await dialog.locator('#titletext').textContent(), name);
        assert.equal(await dialog.locator('#address').textContent(), address);

        // The images would have failed to load by now: every text above went through the page.
        await assertNothingRan(s);
        await dialog.locator('#MsgExit').click();
        await noDialog(s);

        // Sent to the device, the course is listed there under the name its map begins with: the
        // first 20 bytes of the markup.
        await (await menu(s, row, 'GOLF', 'Add to Device')).click();
        await capacity(s, 'DEVICE CAPACITY: 4/20');
        const onDevice = (await shown(devices(s))).flat();
        assert.ok(onDevice.includes(name.slice(0, 20)),
                  `${name.slice(0, 20)} among ${JSON.stringify(onDevice)}`);
        await assertNothingRan(s);
    });
});

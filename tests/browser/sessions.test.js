// Many pages on one verdal at once: 20 browser sessions load the page, click a list row and
// close, five rounds over. verdal keeps serving, its resident memory comes back to within 3 MiB
// of where it started, and it holds no descriptor more than before. The figures are printed.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { eventually, mainFrame, sharedBrowser } = require('./harness');
const { open, close, status, devices, courseRows } = require('./app_session');

const chromium = sharedBrowser();
const { skip } = chromium;

const SESSIONS = 20;
const ROUNDS = 5;

const residentKiB = (pid) =>
    Number(fs.readFileSync(`/proc/${pid}/status`, 'utf8').match(/^VmRSS:\s+(\d+)/m)[1]);
const descriptors = (pid) => fs.readdirSync(`/proc/${pid}/fd`).length;

// One session: the page loads, shows the device, takes a click on a row, and closes.
async function session(url) {
    const context = await chromium.browser.newContext({ viewport: { width: 1010, height: 600 } });
    try {
        const page = await context.newPage();
        await page.goto(url);
        const row = courseRows(mainFrame(page).getByRole('grid').first()).first();
        await row.click();
    } finally { await context.close(); }
}

test(
    '20 pages at once, five rounds: verdal keeps serving with memory and descriptors back where they were',
    { skip, timeout: 600000 }, async () => {
        // The first page stays open throughout, as a user's window would.
        const s = await open(chromium.browser);
        try {
            await status(s, 'DEVICE CONNECTED');
            await courseRows(devices(s)).first().waitFor();
            const pid = s.verdal.child.pid;
            const url = s.verdal.lines.find((line) => line.startsWith('http'));
            // One round first, so that what a session leaves for good (the pages' resources read
            // once, the server's buffers grown) counts in the start.
            await Promise.all(Array.from({ length: SESSIONS }, () => session(url)));
            const settledFds = descriptors(pid);
            await eventually(() => (descriptors(pid) <= settledFds ? true : undefined),
                             'descriptors settle');
            const start = { rss: residentKiB(pid), fds: descriptors(pid) };
            let peak = start.rss;
            for (let round = 1; round <= ROUNDS; round++) {
                await Promise.all(Array.from({ length: SESSIONS }, () => session(url)));
                peak = Math.max(peak, residentKiB(pid));
                await eventually(() => (descriptors(pid) <= start.fds ? true : undefined),
                                 `round ${round}: descriptors back to ${start.fds}`);
                console.log(`# round ${round}: ${residentKiB(pid)} KiB resident, ${
                    descriptors(pid)} descriptors`);
            }
            const end = { rss: residentKiB(pid), fds: descriptors(pid) };
            console.log(`# ${SESSIONS} sessions x ${ROUNDS} rounds: resident ${start.rss} -> ${
                            end.rss} KiB ` +
                        `(peak ${peak}), descriptors ${start.fds} -> ${end.fds}`);
            assert.ok(end.rss - start.rss <= 3 * 1024,
                      `resident memory grew by ${end.rss - start.rss} KiB`);
            assert.ok(end.fds <= start.fds);
            // Still serving: the page that stayed open takes a click, and a new one loads.
            await courseRows(devices(s)).first().click();
            await session(url);
        } finally { await close(s); }
    });
